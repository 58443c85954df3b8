// break leaves the innermost loop, continue skips to its next round,
// also from inside a case.
var i: Integer;
for i := 1 to 10 do begin
  if i = 3 then continue;
  if i = 6 then break;
  Print(i);
end;
PrintLn('');           // expect: 1245
PrintLn(i);            // expect: 6
var j := 0;
while True do begin
  j := j + 1;
  case j of
    2: continue;
    4: break;
  end;
  Print(j);
end;
PrintLn('');           // expect: 13
j := 0;
repeat
  j := j + 1;
  if j mod 2 = 0 then continue;
  Print(j);
until j >= 7;
PrintLn('');           // expect: 1357
var k: Integer;
for i := 1 to 3 do
  for k := 1 to 3 do begin
    if k = 2 then break;
    Print(i * 10 + k);
  end;
PrintLn('');           // expect: 112131
