// The control variable must take a character, and only strings can be
// walked so far.
var n: Integer;
for n in 'abc' do ;    // expect syntax error: Incompatible types: Cannot assign "String" to "Integer" [line: 4, column: 5]
var c: String;
for c in 'abc' step 0 do ; // expect syntax error: FOR loop STEP should be strictly positive: 0 [line: 6, column: 21]
for c in 5 do ;        // expect syntax error: Array expected [line: 7, column: 10]
