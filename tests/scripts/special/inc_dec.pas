// Inc and Dec as statements change an integer variable in place.
var i := 1;
Inc(i);
Inc(i, 5);
Dec(i, 2);
PrintLn(i);                  // expect: 5
var j: Integer;
for j := 1 to 3 do
  Inc(i, j);
PrintLn(i);                  // expect: 11
for j := 1 to 3 do
  Inc(j);                    // expect warning: Assignment to FOR-Loop variable [line: 12, column: 7]
