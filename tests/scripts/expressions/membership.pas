// "in" over a list of values and ranges; "not in" is its negation.
var i: Integer;
for i := 0 to 6 do
   PrintLn(IntToStr(i) + ': ' + BoolToStr(i in [1, 3..5]));
// expect: 0: False
// expect: 1: True
// expect: 2: False
// expect: 3: True
// expect: 4: True
// expect: 5: True
// expect: 6: False
var x := 4;
PrintLn(x in []);               // expect: False
PrintLn(x not in [1]);          // expect: True
PrintLn(x not in [4]);          // expect: False
PrintLn(x in [x - 1 .. x + 1]); // expect: True
PrintLn(x in [5..3]);           // expect: False
PrintLn(-x in [-4]);            // expect: True
PrintLn(x + 0.5 in [4.5]);      // expect: True
var s := 'pear';
PrintLn(s in ['apple', 'pear']); // expect: True
PrintLn(s in ['a'..'z']);       // expect: True
PrintLn(s in ['Pear']);         // expect: False
var v: Variant := 3;
PrintLn(v in [1..3]);           // expect: True
PrintLn(not (x in [4]) or (x not in [4])); // expect: False
