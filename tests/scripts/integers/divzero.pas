// Division by zero ends the run; what was printed before stays.
var zero := 0;
PrintLn('before');     // expect: before
var r := 1;
r := 10 div zero;      // expect runtime error: Division by zero [line: 5, column: 3]
PrintLn('after');
