// With folding on, an operation between constants is computed while
// compiling; when it fails, compiling stops at the operator.
const Zero = 0;
PrintLn('never');
PrintLn(10 div Zero);           // expect syntax error: Division by zero [line: 5, column: 12]
