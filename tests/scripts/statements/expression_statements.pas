// Statements that are no assignments: character stores, Inc and Dec, empty
// statements and constants.
var s := 'abc';
s[2] := 'X';
PrintLn(s);            // expect: aXc
var i := 1;
Inc(i, 5);
Dec(i);
PrintLn(i);            // expect: 5
begin ; ; end;
begin end;
(1 + 2);               // expect hint: Constant Instruction - has no effect [line: 12, column: 1]
PrintLn('done');       // expect: done
