// Literals, constants and scalar variables of every first type.
PrintLn(42);          // expect: 42
PrintLn(-7);          // expect: -7
PrintLn($FF);         // expect: 255
PrintLn('it''s');     // expect: it's
PrintLn(True);        // expect: True
PrintLn(1.5);         // expect: 1.5
PrintLn(#65#66);      // expect: AB

const Answer = 6 * 7;
PrintLn(Answer);      // expect: 42

var i: Integer;
var f: Float;
var s: String;
var b: Boolean;
PrintLn(i);           // expect: 0
PrintLn(f);           // expect: 0
PrintLn('[' + s + ']'); // expect: []
PrintLn(b);           // expect: False

var n := 10;          // the type comes from the initializer
n := n + 5;
PrintLn(n);           // expect: 15
n += 2;
n -= 1;
n *= 3;
PrintLn(n);           // expect: 48
s := 'ab';
s += 'cd';
PrintLn(s);           // expect: abcd
f := n / 32;
PrintLn(f);           // expect: 1.5
f += 1;
PrintLn(f);           // expect: 2.5
// The string library is visible without a uses clause.
PrintLn('n=' + IntToStr(n)); // expect: n=48
