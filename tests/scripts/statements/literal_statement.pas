// A literal cannot start a statement: an empty statement is read before it.
var x := 1;
1 + 2;                 // expect syntax error: ";" expected. [line: 3, column: 1]
