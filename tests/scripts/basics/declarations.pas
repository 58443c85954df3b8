// Declarations are statements: they may stand anywhere a statement may.
var i: Integer;
for i := 1 to 3 do begin
  // Without an initializer a variable starts from its default once, when
  // the program starts: it is not reset on every pass.
  var kept: Integer;
  var reset := 0;
  kept := kept + 1;
  reset := reset + 1;
  Print(kept);
  Print(reset);
end;
PrintLn('');            // expect: 112131
begin
  // A block's names hide outer ones only inside it.
  var i := 'inner';
  PrintLn(i);           // expect: inner
end;
PrintLn(i);             // expect: 4
const Greeting: String = 'hi';
const Half: Float = 1;  // an Integer value for a declared Float
PrintLn(Greeting);      // expect: hi
PrintLn(Half / 4);      // expect: 0.25
var v: Variant;
PrintLn(v);             // expect: 
v := 'text';
PrintLn(v);             // expect: text
v := 2;
PrintLn(v * 3);         // expect: 6
