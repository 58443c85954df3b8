// The integer statements a loop is mostly made of, with signs, wrap-around
// and operands that are not the target.
var a := -7;
a := a mod 3;
PrintLn(a);            // expect: -1
a := 7;
a := a mod -3;
PrintLn(a);            // expect: 1
a := -9223372036854775807 - 1;
a := a mod 10;
PrintLn(a);            // expect: -8
a := -9223372036854775807 - 1;
a := a mod (-9223372036854775807 - 1);
PrintLn(a);            // expect: 0
a := 5;
a := (a + 10) mod 7;
PrintLn(a);            // expect: 1
var k := 3;
a := 100;
a := (a - k * k) mod 8;
PrintLn(a);            // expect: 3
a := 9223372036854775807;
a := (a + a) mod 1000;
PrintLn(a);            // expect: -2
a := 12;
a := a mod 1;
PrintLn(a);            // expect: 0
var b := 12;
b := b xor 10;
PrintLn(b);            // expect: 6
b := b and 3;
PrintLn(b);            // expect: 2
b := b or 8;
PrintLn(b);            // expect: 10
b := b xor (b + 1);
PrintLn(b);            // expect: 1
var c := 6;
b := c xor b;
PrintLn(b);            // expect: 7
b := k xor (c - k * k);
PrintLn(b);            // expect: -2
var i, acc, x: Integer;
for i := 1 to 1000 do
begin
  acc := (acc + i * i) mod 1009;
  x := x xor (i + acc);
end;
PrintLn(acc);          // expect: 805
PrintLn(x);            // expect: 1616
a := 5;
a := a mod (a - 5);    // expect runtime error: Division by zero [line: 51, column: 3]
