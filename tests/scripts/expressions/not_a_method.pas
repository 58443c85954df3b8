// Only routine values can be called.
var x := 1;
PrintLn(x(2));                  // expect syntax error: Not a method! [line: 3, column: 10]
