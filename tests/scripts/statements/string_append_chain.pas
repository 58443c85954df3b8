// Growing a text with s := s + a + b appends in place; the text is the same
// as the plain concatenation, also when s itself appears on the right.
var s := 'a';
var i: Integer;
for i := 1 to 3 do
  s := s + IntToStr(i) + ';';
PrintLn(s);                  // expect: a1;2;3;
s := s + '|' + s;
PrintLn(s);                  // expect: a1;2;3;|a1;2;3;
var t := 'x';
t := 'y' + t + 'z';
PrintLn(t);                  // expect: yxz
var u := t;
u := u + '1' + '2' + '3';
PrintLn(u + ' ' + t);        // expect: yxz123 yxz
