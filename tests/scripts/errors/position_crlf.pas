// CR LF line ends must not shift the positions of messages.
var a := 1;

PrintLn(a + x);   // expect syntax error: Unknown name "x" [line: 4, column: 13]
