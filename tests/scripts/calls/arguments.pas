// Arguments of registered routines: defaults, implicit conversions, var
// parameters, and folding of stateless routines.
var s := 'abcdef';
PrintLn(FindDelimiter(',', 'a,b'));        // expect: 2
PrintLn(FindDelimiter(',', 'a,b,c', 3));   // expect: 4
PrintLn(FloatToStr(7));                    // expect: 7
PrintLn(FloatToStr(7, 2));                 // expect: 7.00
Delete(s, 2, 3);
PrintLn(s);                                // expect: aef
SetLength(s, 1);
PrintLn(s);                                // expect: a
var v: Variant := '42';
PrintLn(StrToInt(v) + 1);                  // expect: 43
var n: Variant := 65;
PrintLn(Chr(n));                           // expect: A
// A folded call is a constant, so as a statement it has no effect.
IntToStr(42);                              // expect hint: Constant Instruction - has no effect [line: 17, column: 1]
// A call that is not stateless stays a call, even with constant arguments.
PrintLn(UpperCase('abc'));                 // expect: ABC
