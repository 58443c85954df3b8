// The time-out stops an endless loop; the text printed before it stays.
// timeout: 200
PrintLn('started');       // expect: started
var i := 0;
while True do i := i + 1; // expect warning: Infinite loop [line: 5, column: 1]
// expect runtime error: Script was stopped. [line: 5, column: 17]
