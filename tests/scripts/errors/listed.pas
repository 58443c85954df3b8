// Errors that do not stop compiling are all listed, in order; nothing runs.
PrintLn('never printed');
if 1 then PrintLn('x');   // expect syntax error: Boolean expected [line: 3, column: 1]
break;                    // expect syntax error: "Break" outside of loop [line: 4, column: 1]
// The break above ends the flow, so the next statement is also unreachable.
continue;                 // expect warning: Unreachable code [line: 6, column: 1]
// expect syntax error: "Continue" outside of loop [line: 6, column: 1]
var i: Integer;
i := 'text';              // expect syntax error: Incompatible types: Cannot assign "String" to "Integer" [line: 9, column: 3]
while 0 do ;              // expect syntax error: Boolean expected [line: 10, column: 1]
