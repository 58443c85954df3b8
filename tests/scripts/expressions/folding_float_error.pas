// A constant float overflow is found while compiling, at its operator.
var x := 1.0;
PrintLn(x);
PrintLn(1e300 * 1e300 + x);     // expect syntax error: Floating point overflow [line: 4, column: 15]
