// A character store takes exactly one character.
var s := 'abc';
s[1] := 'xy';    // expect syntax error: Input data of invalid size: 2 instead of 1 [line: 3, column: 9]
s[1] := '';      // expect syntax error: Input data of invalid size: 0 instead of 1 [line: 4, column: 9]
s[1] := 5;       // expect syntax error: Incompatible types: Cannot assign "Integer" to "String" [line: 5, column: 9]
s['a'] := 'x';   // expect syntax error: Integer expression expected [line: 6, column: 3]
