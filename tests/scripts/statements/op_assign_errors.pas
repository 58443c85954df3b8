// Combinations the op-assignment table lacks are listed at the operator.
var s := 'a';
var b := True;
var i := 1;
s -= 'a';              // expect syntax error: Incompatible operands [line: 5, column: 3]
b += True;             // expect syntax error: Incompatible operands [line: 6, column: 3]
s *= 2;                // expect syntax error: Incompatible operands [line: 7, column: 3]
i += 'x';              // expect syntax error: Incompatible operands [line: 8, column: 3]
