// case picks the first matching label; several labels share one statement.
var i: Integer;
for i := 1 to 6 do
  case i of
    1..3: begin
      Print('low ');
      PrintLn(i);
    end;
    5, 6: begin
      Print('high ');
      PrintLn(i);
    end;
  else
    PrintLn('other');
  end;
// expect: low 1
// expect: low 2
// expect: low 3
// expect: other
// expect: high 5
// expect: high 6
var s := 'beta';
case s of
  'alpha': PrintLn('A');
  'beta': PrintLn('B');   // expect: B
end;
case 7 of
  1: PrintLn('one');
end;
PrintLn('no label matched'); // expect: no label matched
