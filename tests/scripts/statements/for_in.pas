// for-in over a string visits each character as a one-character string;
// the text is read once when the loop starts.
var c: String;
for c in 'abc' do Print(c + '.');
PrintLn('');           // expect: a.b.c.
var s := 'hello';
for c in s do begin
  if c = 'l' then continue;
  if c = 'o' then break;
  Print(c);
end;
PrintLn('');           // expect: he
PrintLn(c);            // expect: o
for c in s step 2 do Print(c);
PrintLn('');           // expect: hlo
for c in s step 9223372036854775807 do Print(c);
PrintLn('');           // expect: h
c := 'kept';
for c in '' do PrintLn('never');
PrintLn(c);            // expect: kept
var n := 0;
for c in s do begin
  s := 'z';
  n := n + 1;
end;
PrintLn(s);            // expect: z
PrintLn(n);            // expect: 5
for c in 'é€x' do Print(c + '|');
PrintLn('');           // expect: é|€|x|
var v: Variant;
for v in 'xy' do Print(v);
PrintLn('');           // expect: xy
var step := 0;
for c in 'abc' step step do Print(c); // expect runtime error: FOR loop STEP should be strictly positive: 0 [line: 34, column: 1]
