// Each argument is checked against its parameter; the count messages come
// only when no argument gave a message of its own.
Delete('abc', 1, 1);              // expect syntax error: Argument 0 (S) cannot be passed as Var-parameter [line: 3, column: 8]
PrintLn(IntToStr('x'));           // expect syntax error: Argument 0 expects type "Integer" instead of "String" [line: 4, column: 18]
PrintLn(IntToStr());              // expect syntax error: More arguments expected! [line: 5, column: 9]
PrintLn(IntToStr);                // expect syntax error: More arguments expected! [line: 6, column: 9]
PrintLn(IntToStr(1, 2));          // expect syntax error: Too many arguments! [line: 7, column: 9]
PrintLn(StrToIntDef('x', 'y', 3)); // expect syntax error: Argument 1 expects type "Integer" instead of "String" [line: 8, column: 26]
var i: Integer;
Delete(i, 1, 1);                  // expect syntax error: Argument 0 expects type "String" instead of "Integer" [line: 10, column: 8]
Delete(UpperCase('a'), 1, 1);     // expect syntax error: Argument 0 (S) cannot be passed as Var-parameter [line: 11, column: 8]
var f: Float;
PrintLn(IntToStr(f));             // expect syntax error: Argument 0 expects type "Integer" instead of "Float" [line: 13, column: 18]
PrintLn(IntToStr(;                // expect syntax error: Expression expected [line: 14, column: 18]
