// Without a list, "in" wants an array or an object that supports it.
var x := 1;
var y := 2;
PrintLn(x in y);                // expect syntax error: "[" or class expected [line: 4, column: 14]
