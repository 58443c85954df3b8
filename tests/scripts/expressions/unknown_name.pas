// An unknown name stops compiling at the name.
var total := 1;
PrintLn(total + totl * 2);      // expect syntax error: Unknown name "totl" [line: 3, column: 17]
