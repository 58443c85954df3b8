// Without a type, one name and an initializer are needed.
var p, q := 5;         // expect syntax error: Colon ":" expected [line: 2, column: 10]
