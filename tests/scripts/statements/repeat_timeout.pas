// An endless repeat loop whose body is a block notices the time-out too.
// timeout: 200
var x: Integer;
repeat
  x := x + 1;
  x := x mod 7;
until False;           // expect warning: Infinite loop [line: 4, column: 1]
// expect runtime error: Script was stopped. [line: 5, column: 5]
