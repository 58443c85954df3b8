// Defined and Declared ask about the compiled program while it runs.
var counter := 1;
PrintLn(Defined('NEVER_DEFINED'));      // expect: False
PrintLn(Declared('counter'));           // expect: True
PrintLn(Declared('COUNTER'));           // expect: True
PrintLn(Declared('IntToStr'));          // expect: True
PrintLn(Declared('Internal.IntToStr')); // expect: True
PrintLn(Declared('Internal.Nope'));     // expect: False
PrintLn(Declared('Nope'));              // expect: False
PrintLn(Declared('Nope.X'));            // expect: False
PrintLn(Declared('counter.X'));         // expect: False
var name := 'Int' + 'ToStr';
PrintLn(Declared(name));                // expect: True
