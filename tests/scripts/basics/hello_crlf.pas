// A first script. This file has CR LF line ends, which must not shift
// positions or add anything to the output.
PrintLn('Hello, world!'); // expect: Hello, world!
Print('a');
Print(1);
PrintLn('');             // expect: a1
