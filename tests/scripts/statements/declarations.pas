// Declarations with and without initial values, where they stand.
var a, b: Integer;
PrintLn(a + b);        // expect: 0
var f: Float;
PrintLn(f);            // expect: 0
var ok: Boolean;
PrintLn(ok);           // expect: False
var s: String;
PrintLn('[' + s + ']'); // expect: []
var x := 5;
PrintLn(x);            // expect: 5
var y: Float = 2;
PrintLn(y / 4);        // expect: 0.5
var i: Integer;
for i := 1 to 2 do begin
  var t := i * 10;
  PrintLn(t);
end;
// expect: 10
// expect: 20
