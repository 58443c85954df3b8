var a := ;             // expect syntax error: Expression expected [line: 1, column: 10]
