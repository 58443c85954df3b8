// A missing ";" stops compiling at the token that should have followed it.
var a := 1
PrintLn(a);            // expect syntax error: ";" expected. [line: 3, column: 1]
