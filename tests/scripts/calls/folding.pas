// A stateless routine called with constant arguments runs while compiling;
// when that fails, the failure is a compile error and the call stays.
PrintLn(StrToInt('x'));  // expect compile error: Evaluation of "StrToInt" failed: EConvertError 'x' is not a valid integer value [line: 3, column: 9]
