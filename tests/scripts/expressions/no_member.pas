// Scalars have no members.
var x := 1;
PrintLn(x.Size);                // expect syntax error: No member expected [line: 3, column: 10]
