// Literals and constants keep their exact values; small values and the
// empty string are shared nodes, which must not change what they mean.
const Big = 4294967296;
const Neg = -5;
const Greeting = 'hi';
const Half = 0.5;
PrintLn(Big);                   // expect: 4294967296
PrintLn(Big * Big div Big);     // expect: 0
PrintLn(Neg);                   // expect: -5
PrintLn(-1);                    // expect: -1
PrintLn(0);                     // expect: 0
PrintLn(2);                     // expect: 2
PrintLn(9223372036854775807);   // expect: 9223372036854775807
PrintLn(-9223372036854775807 - 1); // expect: -9223372036854775808
PrintLn($FF);                   // expect: 255
PrintLn(0.0);                   // expect: 0
PrintLn(Half * 3);              // expect: 1.5
PrintLn(1.5e3);                 // expect: 1500
PrintLn(Greeting + '!');        // expect: hi!
PrintLn('' + 'x' + '');         // expect: x
PrintLn('it''s');               // expect: it's
PrintLn(#65#66);                // expect: AB
PrintLn(True);                  // expect: True
PrintLn(False);                 // expect: False
PrintLn('' = '');               // expect: True
