var big := 1e300;
PrintLn(big * big);             // expect runtime error: Floating point overflow [line: 2, column: 1]
