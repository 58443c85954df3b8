// "not" after an operand can only start "not in".
var x := 1;
PrintLn(x not 5);               // expect syntax error: IN expected [line: 3, column: 15]
