// 0 / 0 has no value, also between integers.
var zero := 0;
PrintLn(zero / zero);           // expect runtime error: Invalid floating point operation [line: 3, column: 1]
