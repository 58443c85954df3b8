// Characters of a string variable are replaced in place; other strings
// that share the text keep theirs.
var s := 'hello';
var t := s;
s[1] := 'J';
PrintLn(s);                 // expect: Jello
PrintLn(t);                 // expect: hello
var i: Integer;
for i := 1 to Length(s) do
  s[i] := 'x';
PrintLn(s);                 // expect: xxxxx
var c := 'y';
s[Length(s)] := c;
PrintLn(s);                 // expect: xxxxy
s[6] := 'z';                // expect runtime error: Upper bound exceeded! Index 6 [line: 15, column: 2]
