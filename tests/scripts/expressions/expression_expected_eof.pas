// The text ends where an operand should follow.
var a := 1;
PrintLn(a +
// expect syntax error: Expression expected [line: 3, column: 11]
