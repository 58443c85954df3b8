// A resource string needs a constant String value.
resourcestring Title = 'Tervalo';
var n := 2;
resourcestring Count = n;   // expect syntax error: Constant expression expected [line: 4, column: 24]
resourcestring Num = 12;    // expect syntax error: String expected [line: 5, column: 22]
resourcestring Title = 'x'; // expect syntax error: Name "Title" already exists [line: 6, column: 16]
resourcestring Last 'x';    // expect syntax error: "=" expected [line: 7, column: 21]
