// A name can be qualified by the unit that declares it.
Default.PrintLn('qualified');   // expect: qualified
PrintLn(System.Integer(2.6) + 1); // expect: 4
