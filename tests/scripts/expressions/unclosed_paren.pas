var x := 1;
PrintLn((x + 1) * (x + 2);      // expect syntax error: ")" expected. [line: 2, column: 26]
