// A type name applied to a value re-types it; the value itself converts
// the way a variant does (floats round half to even).
var i := 7;
var f := 2.5;
var b := True;
var v: Variant := '12';
PrintLn(Integer(f));            // expect: 2
PrintLn(Integer(3.5));          // expect: 4
PrintLn(Integer(-2.5));         // expect: -2
PrintLn(Integer(b));            // expect: 1
PrintLn(Integer(False));        // expect: 0
PrintLn(Integer(v) + 1);        // expect: 13
PrintLn(Integer(i) * 2);        // expect: 14
PrintLn(Float(i) / 2);          // expect: 3.5
PrintLn(Float(v) + 0.5);        // expect: 12.5
PrintLn(String(v) + '3');       // expect: 123
PrintLn(String('x'));           // expect: x
PrintLn(Boolean(0));            // expect: False
PrintLn(Boolean(i));            // expect: True
PrintLn(Boolean(0.0));          // expect: False
PrintLn(Boolean(v));            // expect: True
PrintLn(Variant(i) + 1);        // expect: 8
PrintLn(Variant('a') + 'b');    // expect: ab
// The cast decides which operator applies: a Float operand makes "/" and
// "+" float operators, a Variant one makes "+" a variant addition.
PrintLn(Float(1) + 1);          // expect: 2
PrintLn(Variant(1) + Variant(2)); // expect: 3
// A value that does not convert fails when it is read.
v := 'abc';
PrintLn('before');              // expect: before
PrintLn(Integer(v));            // expect runtime error: Couldn't cast variant from "String" to "Integer" (EVariantTypeCastError) [line: 31, column: 1]
