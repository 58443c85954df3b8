// "+" joins strings; comparisons are ordinal by code unit, so case matters
// and upper case sorts first.
var a := 'abc';
var e := '';
PrintLn(a + ' ' + a);           // expect: abc abc
PrintLn(e + a + e);             // expect: abc
PrintLn(a < 'abd');             // expect: True
PrintLn('B' < 'a');             // expect: True
PrintLn(a > 'ab');              // expect: True
PrintLn(a >= 'abc');            // expect: True
PrintLn(a <= 'ABC');            // expect: False
PrintLn(a = 'ABC');             // expect: False
PrintLn(a <> 'abc');            // expect: False
PrintLn(e < 'a');               // expect: True
PrintLn(e = '');                // expect: True
PrintLn('é' > 'z');             // expect: True
var v: Variant := 42;
PrintLn(a + v);                 // expect: abc42
PrintLn(v + a);                 // expect: 42abc
PrintLn(v + '1');               // expect: 421
PrintLn('42' = v);              // expect: True
