// "/" is always a float division; an Integer operand joins a float operation
// as its exact value.
var f := 2.0;
var i := 3;
PrintLn(i / 2);                 // expect: 1.5
PrintLn(1 / 4 * f);             // expect: 0.5
PrintLn(f * f - 0.5);           // expect: 3.5
PrintLn(i + f);                 // expect: 5
PrintLn(f - i);                 // expect: -1
PrintLn(i * 0.5);               // expect: 1.5
PrintLn(-f);                    // expect: -2
PrintLn(f = 2);                 // expect: True
PrintLn(i > f);                 // expect: True
PrintLn(f <> 2.5);              // expect: True
PrintLn(f <= i);                // expect: True
PrintLn(0.1 + 0.2 = 0.3);       // expect: False
PrintLn(9007199254740993 + 0.0); // expect: 9.00719925474099E15
var zero := 0.0;
PrintLn('before');              // expect: before
PrintLn(f / zero);              // expect runtime error: Floating point division by zero [line: 20, column: 1]
