// Characters of a string are read by their 1-based index.
var s := 'hello';
var v: Variant := 2;
PrintLn(s[1] + s[5]);       // expect: ho
PrintLn(s[v]);              // expect: e
PrintLn(Ord(s[2]));         // expect: 101
var i: Integer;
for i := Length(s) downto 1 do
  Print(s[i]);
PrintLn('');                // expect: olleh
var t := 'x' + s;
PrintLn(t[High(t)]);        // expect: o
i := 6;
PrintLn(s[i]);              // expect runtime error: Upper bound exceeded! Index 6 [line: 14, column: 10]
