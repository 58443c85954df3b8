// A missing operand stops compiling where the operand should start.
var a := 1;
var b := a * (2 + );            // expect syntax error: Expression expected [line: 3, column: 19]
