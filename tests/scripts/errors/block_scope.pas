// A variable declared in a block does not exist after it.
begin
  var inner := 1;
  PrintLn(inner);
end;
PrintLn(inner);         // expect syntax error: Unknown name "inner" [line: 6, column: 9]
