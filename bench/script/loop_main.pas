// The peers' loop benchmark without a routine around it: 10,000,000
// iterations of integer arithmetic at the main program's level.
var i, acc, x: Integer;
acc := 0;
x := 0;
for i := 1 to 10000000 do
begin
  acc := (acc + i * i) mod 1000003;
  x := x xor (i + acc);
end;
PrintLn('loop acc=' + IntToStr(acc) + ' x=' + IntToStr(x));
