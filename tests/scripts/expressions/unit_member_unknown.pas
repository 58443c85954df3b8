// A qualified name must exist in that unit; the message names both parts.
PrintLn('never');
PrintLn(Default.Missing);       // expect syntax error: Unknown name "Default.Missing" [line: 3, column: 17]
