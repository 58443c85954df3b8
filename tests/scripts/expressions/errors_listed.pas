// Errors that are listed while compiling goes on; each line names the
// column of the operator or name at fault.
var i := 1;
var s := 'a';
var b := s < 1;                 // expect syntax error: Invalid Operands [line: 5, column: 12]
var j := i + s * 2;             // expect syntax error: Invalid Operands [line: 6, column: 16]
var k := True + 1;              // expect syntax error: Invalid Operands [line: 7, column: 15]
var c := Integer(s);            // expect syntax error: Cannot cast this type to "Integer" [line: 8, column: 10]
var d := String(i);             // expect syntax error: String expected [line: 9, column: 10]
var e := Float(True);           // expect syntax error: Numerical operand expected [line: 10, column: 10]
var g := Boolean(s);            // expect syntax error: Boolean or integer operand expected [line: 11, column: 10]
var h := -s;                    // expect syntax error: Numerical operand expected [line: 12, column: 10]
var m := not s;                 // expect syntax error: Boolean or integer operand expected [line: 13, column: 10]
var n := i is Integer;          // expect syntax error: "(" expected. [line: 14, column: 22]
// expect syntax error: Object expected [line: 14, column: 12]
var o := i[1];                  // expect syntax error: Array expected [line: 16, column: 11]
var p := @i;                    // expect syntax error: unexpected "@" [line: 17, column: 10]
var q := i in ['x'];            // expect compile error: Incompatible types: "Integer" and "String" [line: 18, column: 16]
var r := i in (i + 1);            // expect syntax error: Object expected [line: 19, column: 15]
var t := i implements i;        // expect syntax error: Interface expected [line: 20, column: 12]
i := 'text';                    // expect syntax error: Incompatible types: Cannot assign "String" to "Integer" [line: 21, column: 3]
