// A special function must be called with its arguments in parentheses.
var s := 'abc';
PrintLn(Length s);  // expect syntax error: "(" expected. [line: 3, column: 16]
PrintLn(Length(s);  // never read: compiling stopped
