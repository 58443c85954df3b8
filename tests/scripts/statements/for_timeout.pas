// A counted loop whose body is a block still notices the time-out, at the
// first statement of a round.
// timeout: 200
var i, x: Integer;
for i := 1 to 9223372036854775807 do begin
  x := x xor i;
  x := (x + i) mod 1000;
end;
// expect runtime error: Script was stopped. [line: 6, column: 5]
