// "%=" is a token but no assignment operator of a statement.
var x := 1;
x %= 2;                // expect syntax error: Invalid Instruction - function or assignment expected [line: 3, column: 1]
