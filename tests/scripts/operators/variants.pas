// Operators on Variant operands follow the variant rules; a Float or
// String partner picks the float or string operator instead.
var v: Variant := 5;
var w: Variant := 2;
var s: Variant := 'abc';
PrintLn(v + w);                 // expect: 7
PrintLn(v - w);                 // expect: 3
PrintLn(v * w);                 // expect: 10
PrintLn(v / w);                 // expect: 2.5
PrintLn(v div w);               // expect: 2
PrintLn(v mod w);               // expect: 1
PrintLn(v + 1.5);               // expect: 6.5
PrintLn(v * 0.5);               // expect: 2.5
PrintLn(v shl w);               // expect: 20
PrintLn(v and 4);               // expect: 4
PrintLn(v or w);                // expect: 7
PrintLn(v xor w);               // expect: 7
PrintLn(-v);                    // expect: -5
PrintLn(not v);                 // expect: -6
PrintLn(v > w);                 // expect: True
PrintLn(v = 5);                 // expect: True
PrintLn(v <= 4.5);              // expect: False
PrintLn(s + 'd');               // expect: abcd
PrintLn(s < 'abd');             // expect: True
PrintLn(s = 'abc');             // expect: True
PrintLn(s + v);                 // expect runtime error: Could not convert variant of type (String) into type (Double) [line: 26, column: 1]
