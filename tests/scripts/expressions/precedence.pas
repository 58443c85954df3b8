// Four levels, lowest first: comparisons; + - or xor and implies shl shr sar
// in; * / div mod; unary operators. Every level reads left to right.
var x := 3;
var t := True;
var f := False;
PrintLn(1 + 2 * 3);             // expect: 7
PrintLn((1 + 2) * 3);           // expect: 9
PrintLn(10 - 4 - 3);            // expect: 3
PrintLn(24 div 4 div 2);        // expect: 3
PrintLn(17 mod 5 * 2);          // expect: 4
// "and" binds like "or" and "+", not tighter.
PrintLn(t or f and f);          // expect: False
PrintLn(t or (f and f));        // expect: True
PrintLn(f and f or t);          // expect: True
PrintLn(t xor t and f);         // expect: False
PrintLn(f implies f and f);     // expect: False
// Shifts sit with "+": x + 1 shl 2 is (x + 1) shl 2.
PrintLn(x + 1 shl 2);           // expect: 16
PrintLn(1 shl 2 + 1);           // expect: 5
PrintLn(x * 2 shl 1);           // expect: 12
PrintLn(x or 4 + 1);            // expect: 8
// "not" takes the next operand only.
PrintLn(not f = t);             // expect: True
PrintLn(not (f = t));           // expect: True
PrintLn(not x + 1);             // expect: -3
PrintLn(-x * 2);                // expect: -6
PrintLn(- -x);                  // expect: 3
PrintLn(+x - +1);               // expect: 2
// Comparisons are the lowest level and chain from the left.
PrintLn(x + 1 = 4);             // expect: True
PrintLn(x > 2 = t);             // expect: True
PrintLn(1 < 2 = (3 < 4));       // expect: True
PrintLn(x in [3] = t);          // expect: True
PrintLn(2 + 3 in [5]);          // expect: True
