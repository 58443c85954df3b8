// if, with and without else, nested, and the empty then-part.
var x := 5;
if x > 3 then PrintLn('big');                 // expect: big
if x > 10 then PrintLn('huge') else PrintLn('not huge'); // expect: not huge
if x = 5 then
  if x < 0 then PrintLn('negative')
  else PrintLn('dangling else binds inward');  // expect: dangling else binds inward
if x < 0 then else PrintLn('then-part empty'); // expect: then-part empty
if (x > 0) and (x < 10) then begin
  PrintLn('one');                              // expect: one
  PrintLn('two');                              // expect: two
end;
var b := x > 4;
if b then PrintLn('flag');                     // expect: flag
