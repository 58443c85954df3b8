// The index must be an integer, and only strings can be indexed here.
var s := 'abc';
var f := 1.5;
PrintLn(s['a']);   // expect syntax error: Integer expression expected [line: 4, column: 11]
PrintLn(s[f]);     // expect syntax error: Integer expression expected [line: 5, column: 11]
PrintLn(s[1;       // expect syntax error: "]" expected [line: 6, column: 12]
