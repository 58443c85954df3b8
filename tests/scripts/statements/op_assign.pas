// +=, -=, *= and /= pick their operation by the operand types; an integer
// target of a float operation takes the result rounded half to even.
var i := 7;
i += 3;
PrintLn(i);            // expect: 10
i -= 4;
PrintLn(i);            // expect: 6
i *= 5;
PrintLn(i);            // expect: 30
i /= 4;
PrintLn(i);            // expect: 8
i += 1.5;
PrintLn(i);            // expect: 10
i += 0.5;
PrintLn(i);            // expect: 10
i -= 0.5;
PrintLn(i);            // expect: 10
i *= i + 1;
PrintLn(i);            // expect: 110
i := 9223372036854775807;
i += 1;
PrintLn(i);            // expect: -9223372036854775808
var f := 1.5;
f += 2;
PrintLn(f);            // expect: 3.5
f *= 2;
PrintLn(f);            // expect: 7
f -= 1;
PrintLn(f);            // expect: 6
f /= 4;
PrintLn(f);            // expect: 1.5
var s := 'ab';
s += 'cd';
s += s;
PrintLn(s);            // expect: abcdabcd
var v: Variant;
v := 5;
v += 2;
PrintLn(v);            // expect: 7
v *= 3;
PrintLn(v);            // expect: 21
v -= 1;
PrintLn(v);            // expect: 20
v /= 8;
PrintLn(v);            // expect: 2.5
v := 'x';
v += 'y';
PrintLn(v);            // expect: xy
i := 4;
v := 3;
i += v;
PrintLn(i);            // expect: 7
