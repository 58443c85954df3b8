// What each special function accepts; every mistake is listed and
// compiling goes on.
var i: Integer;
var f: Float;
var s: String;
PrintLn(Inc(5));         // expect syntax error: Argument 0 (a) cannot be passed as Var-parameter [line: 6, column: 13]
PrintLn(Inc(i, 2.5));    // expect syntax error: Integer expected [line: 7, column: 16]
PrintLn(Dec(f));         // expect syntax error: Integer expected [line: 8, column: 13]
PrintLn(Succ(f));        // expect syntax error: Integer expected [line: 9, column: 14]
PrintLn(Pred(s, 1));     // expect syntax error: Integer expected [line: 10, column: 14]
PrintLn(Ord(f));         // expect syntax error: Invalid Operands [line: 11, column: 13]
PrintLn(Length(i));      // expect syntax error: Invalid Operands [line: 12, column: 16]
PrintLn(Abs('x'));       // expect syntax error: Numerical operand expected [line: 13, column: 13]
PrintLn(Sqr(True));      // expect syntax error: Numerical operand expected [line: 14, column: 13]
PrintLn(High(f));        // expect syntax error: Invalid Operands [line: 15, column: 14]
PrintLn(High(String));   // expect syntax error: Invalid Operands [line: 16, column: 14]
PrintLn(Low(Float));     // expect syntax error: Invalid Operands [line: 17, column: 13]
PrintLn(Assigned(i));    // expect syntax error: Invalid Operands [line: 18, column: 18]
var Length: Integer;     // expect syntax error: Name "Length" is reserved [line: 19, column: 5]
// Defined and Declared need a text, or compiling stops.
PrintLn(Defined(1));     // expect syntax error: String expected [line: 21, column: 17]
PrintLn(Ord(f));
