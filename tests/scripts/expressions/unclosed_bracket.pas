var x := 1;
PrintLn(x in [1, 2);            // expect syntax error: "]" expected [line: 2, column: 19]
