// A resource string reads like a string constant.
resourcestring Greeting = 'Hello, ' + 'world';
PrintLn(Greeting);          // expect: Hello, world
PrintLn(Length(Greeting));  // expect: 12
