// An error inside a loop body is reported at its statement.
var i, z: Integer;
for i := 1 to 3 do begin
  PrintLn(i);
  z := i div (i - 2);
end;
// expect: 1
// expect: 2
// expect runtime error: Division by zero [line: 5, column: 5]
