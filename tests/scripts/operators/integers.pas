// 64-bit integers wrap instead of overflowing; div truncates toward zero and
// mod takes the sign of the dividend; shift counts are taken modulo 64.
var max := 9223372036854775807;
var min := -max - 1;
var seven := 7;
var two := 2;
PrintLn(max + 1);               // expect: -9223372036854775808
PrintLn(min - 1);               // expect: 9223372036854775807
PrintLn(max * 2);               // expect: -2
PrintLn(min * -1);              // expect: -9223372036854775808
PrintLn(-min);                  // expect: -9223372036854775808
PrintLn(min div -1);            // expect: -9223372036854775808
PrintLn(min mod -1);            // expect: 0
PrintLn(seven div two);         // expect: 3
PrintLn(seven div -two);        // expect: -3
PrintLn(-seven div two);        // expect: -3
PrintLn(-seven div -two);       // expect: 3
PrintLn(seven mod two);         // expect: 1
PrintLn(seven mod -two);        // expect: 1
PrintLn(-seven mod two);        // expect: -1
PrintLn(-seven mod -two);       // expect: -1
var one := 1;
PrintLn(one shl 63);            // expect: -9223372036854775808
PrintLn(one shl 64);            // expect: 1
PrintLn(one shl 65);            // expect: 2
PrintLn(one shl -1);            // expect: -9223372036854775808
PrintLn(-8 shr 1);              // expect: 9223372036854775804
PrintLn(min shr 63);            // expect: 1
PrintLn(256 shr 68);            // expect: 16
PrintLn(-8 sar 1);              // expect: -4
PrintLn(-8 sar 0);              // expect: -8
PrintLn(-1 sar 100);            // expect: -1
PrintLn(-8 sar 64);             // expect: -1
PrintLn(8 sar 64);              // expect: 8
PrintLn(8 sar 65);              // expect: 4
PrintLn(min sar 63);            // expect: -1
PrintLn(12 and 10);             // expect: 8
PrintLn(12 or 10);              // expect: 14
PrintLn(12 xor 10);             // expect: 6
PrintLn(not 0);                 // expect: -1
PrintLn(not min);               // expect: 9223372036854775807
PrintLn(-1 and max);            // expect: 9223372036854775807
PrintLn(seven / two);           // expect: 3.5
PrintLn(6 / 3);                 // expect: 2
PrintLn(seven * seven);         // expect: 49
