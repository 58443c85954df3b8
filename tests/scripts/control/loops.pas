// while, repeat and for in each direction, with steps.
var i := 0;
var sum := 0;
while i < 5 do begin
  i := i + 1;
  sum := sum + i;
end;
PrintLn(sum);          // expect: 15
i := 10;
while i < 5 do PrintLn('never');
repeat
  i := i - 3;
until i < 0;
PrintLn(i);            // expect: -2
repeat PrintLn('once') until True; // expect: once
var k: Integer;
for k := 1 to 3 do Print(k);
PrintLn('');           // expect: 123
PrintLn(k);            // expect: 4
for k := 3 downto 1 do Print(k);
PrintLn('');           // expect: 321
PrintLn(k);            // expect: 0
for k := 1 to 0 do PrintLn('never');
PrintLn(k);            // expect: 1
for k := 1 to 10 step 4 do Print(k);
PrintLn('');           // expect: 159
PrintLn(k);            // expect: 13
for k := 10 downto 1 step 3 do Print(k);
PrintLn('');           // expect: 10741
var n := 3;
for k := 1 to n do n := 10; // the bound is read once
PrintLn(k);            // expect: 4
