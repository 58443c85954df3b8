// A failing assertion stops the run at the assertion.
var x := 3;
Assert(x > 0, 'positive');
PrintLn('checked');          // expect: checked
Assert(x > 5, 'big enough'); // expect runtime error: Assertion failed [line: 5, column: 1]
PrintLn('never');
