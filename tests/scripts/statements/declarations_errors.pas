// An initializer is read only for a single name.
var a, b: Integer = 5; // expect syntax error: ";" expected. [line: 2, column: 19]
