// Loops that nothing can end, and statements after the flow has left.
var x := 0;
if x = 1 then
  repeat x := x + 1 until False;      // expect warning: Infinite loop [line: 4, column: 3]
if x = 1 then
  while True do if x > 3 then break;
if x = 1 then
  repeat if x > 3 then exit until False;
if x = 1 then
  while True do                       // expect warning: Infinite loop [line: 10, column: 3]
    for x := 1 to 2 do break;
begin
  x := x + 1;
  exit;
  x := 2;                             // expect warning: Unreachable code [line: 15, column: 3]
  x := 3;
end;
