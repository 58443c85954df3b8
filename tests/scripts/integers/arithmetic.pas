// Integer division truncates toward zero and mod takes the dividend's sign.
var a := 7;
var b := 2;
PrintLn(a div b);      // expect: 3
PrintLn(-a div b);     // expect: -3
PrintLn(a div -b);     // expect: -3
PrintLn(a mod b);      // expect: 1
PrintLn(-a mod b);     // expect: -1
PrintLn(a mod -b);     // expect: 1
PrintLn(a / b);        // expect: 3.5
PrintLn(a - b * 3);    // expect: 1
PrintLn((a - b) * 3);  // expect: 15
// and, or and xor bind like + and -, so this is (a + 1) and 6.
PrintLn(a + 1 and 6);  // expect: 0
PrintLn(a or b);       // expect: 7
PrintLn(a xor b);      // expect: 5
PrintLn(a shl 2);      // expect: 28
PrintLn(a shr 1);      // expect: 3
PrintLn(not a);        // expect: -8
PrintLn(1 + 2 * 3);    // expect: 7
PrintLn(a = 7);        // expect: True
PrintLn(a <> 7);       // expect: False
PrintLn(a < b);        // expect: False
PrintLn(a >= b);       // expect: True
PrintLn(2.5 * b);      // expect: 5
PrintLn('a' + 'b' = 'ab'); // expect: True
PrintLn(True and not False); // expect: True
