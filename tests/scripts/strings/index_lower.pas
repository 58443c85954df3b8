// Index 0 is below the first character.
var s := 'abc';
var i := 0;
PrintLn(s[i]);  // expect runtime error: Lower bound exceeded! Index 0 [line: 4, column: 10]
