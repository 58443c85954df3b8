// Warnings are listed but the script still runs.
PrintLn('runs');          // expect: runs
if False then
  while True do ;         // expect warning: Infinite loop [line: 4, column: 3]
var k: Integer;
for k := 1 to 3 do
  k := 5;                 // expect warning: Assignment to FOR-Loop variable [line: 7, column: 3]
PrintLn(k);               // expect: 6
exit;
PrintLn('unreachable');   // expect warning: Unreachable code [line: 10, column: 1]
