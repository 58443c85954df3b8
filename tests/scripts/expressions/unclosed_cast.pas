var x := 1;
PrintLn(Float(x;                // expect syntax error: ")" expected. [line: 2, column: 16]
