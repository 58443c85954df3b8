// "and", "or" and "implies" skip their right operand when the left one
// decides; the right operands here would fail if they were evaluated.
var zero := 0;
var t := True;
var f := False;
PrintLn(f and (1 div zero = 0)); // expect: False
PrintLn(t or (1 div zero = 0)); // expect: True
PrintLn(f implies (1 div zero = 0)); // expect: True
PrintLn(t implies f);           // expect: False
PrintLn(t implies t);           // expect: True
PrintLn(t xor f);               // expect: True
PrintLn(t xor t);               // expect: False
PrintLn(t = f);                 // expect: False
PrintLn(t <> f);                // expect: True
PrintLn(not t);                 // expect: False
var v: Variant := True;
PrintLn(v and t);               // expect: True
PrintLn(f or v);                // expect: True
PrintLn(v = t);                 // expect: True
// xor needs both sides, so the right one is evaluated and fails.
PrintLn(t xor (1 div zero = 0)); // expect runtime error: Division by zero [line: 21, column: 1]
