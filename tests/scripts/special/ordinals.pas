// Special functions on scalars: they compile into nodes of their own, and
// their results wrap around like every integer operation.
var i := 5;
var s := 'hello';
var v: Variant := 'abc';
PrintLn(Ord('A'));                 // expect: 65
PrintLn(Ord(''));                  // expect: 0
PrintLn(Ord(True));                // expect: 1
PrintLn(Ord(i));                   // expect: 5
PrintLn(Ord(v));                   // expect: 97
PrintLn(Abs(-3));                  // expect: 3
PrintLn(Abs(-2.5));                // expect: 2.5
PrintLn(Sqr(7));                   // expect: 49
PrintLn(Sqr(1.5));                 // expect: 2.25
PrintLn(SizeOf(i));                // expect: 1
PrintLn(Low(Integer));             // expect: -9223372036854775808
PrintLn(High(Integer));            // expect: 9223372036854775807
PrintLn(High(i));                  // expect: 9223372036854775807
PrintLn(Low(String));              // expect: 1
PrintLn(Low(s));                   // expect: 1
PrintLn(High(s));                  // expect: 5
PrintLn(Length(s));                // expect: 5
PrintLn(Length(v));                // expect: 3
PrintLn(Length(s + s));            // expect: 10
PrintLn(Succ(i));                  // expect: 6
PrintLn(Pred(i, 10));              // expect: -5
PrintLn(i);                        // expect: 5
PrintLn(Succ(High(Integer)));      // expect: -9223372036854775808
PrintLn(Inc(i));                   // expect: 6
PrintLn(Inc(i, 10));               // expect: 16
PrintLn(Dec(i, 3));                // expect: 13
PrintLn(Dec(i, -2));               // expect: 15
PrintLn(i);                        // expect: 15
var m := Low(Integer);
PrintLn(Dec(m));                   // expect: 9223372036854775807
PrintLn(LENGTH(s));                // expect: 5
