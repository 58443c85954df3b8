// A unit name is no value of its own.
var x := 1;
x := System;                    // expect syntax error: Dot "." expected [line: 3, column: 12]
