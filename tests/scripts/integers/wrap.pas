// Integers are 64-bit and wrap silently. Operands are variables so that the
// run, not the compiler's folding, computes the results.
var big := 9223372036854775807;
var small := -big - 1;
PrintLn(small);        // expect: -9223372036854775808
PrintLn(big + 1);      // expect: -9223372036854775808
PrintLn(small - 1);    // expect: 9223372036854775807
PrintLn(big * 2);      // expect: -2
PrintLn(-small);       // expect: -9223372036854775808
PrintLn(small div -1); // expect: -9223372036854775808
PrintLn(small mod -1); // expect: 0
var n := big;
n += 1;
PrintLn(n);            // expect: -9223372036854775808
n := small;
n -= 1;
PrintLn(n);            // expect: 9223372036854775807
// Folded at compile time, the same rules hold.
PrintLn(9223372036854775807 + 1); // expect: -9223372036854775808
