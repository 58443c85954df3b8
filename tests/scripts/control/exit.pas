// exit at the main level ends the script quietly.
var i: Integer;
for i := 1 to 5 do begin
  if i = 3 then exit;
  PrintLn(i);
end;
PrintLn('not reached');
// expect: 1
// expect: 2
