{ A sample with every kind of token, for the token-dump tool. It is read
  by the tokenizer only; it is not meant to compile. }
{$DEFINE SAMPLE}
unit Sample;

interface

uses Other;

type
  TColor = (Red, Green);
  TBits = set of TColor;
  TPoint = record X, Y: Integer; end;
  TList = array [0..9] of Float;
  IThing = interface end;
  TBase = class abstract(TObject)
  private
    FValue: Integer;
  protected
    procedure Hook; virtual; abstract;
  public
    constructor Create; reintroduce; overload;
    destructor Destroy; override;
    function Get(Index: Integer): Integer; static;
    property Value: Integer read FValue write FValue default 0;
    property Items[Index: Integer]: Integer read Get; index 1;
  published
    method Run; final;
  end;
  TLeaf = class sealed(TBase, IThing) implements IThing;
  TProc = procedure of object;

const Answer = 42;
resourcestring SHello = 'Hello';
var Lazy: lazy Integer;

procedure Old; deprecated 'use New'; forward;
function Ext(A: Integer): Integer; external; register; pascal; cdecl; stdcall;
operator + (a, b: TPoint): TPoint uses AddPoints;

implementation

function Compute(x: Integer; y: Float): Float;
require
  x >= 0;
begin
  Result := x * y / 2 + $FF - 1.5e3 % 7;
  x += 1; x -= 1; x *= 2; x /= 2; x %= 3; x ^= 1; x @= 0;
  if (x <> 1) and (x <= 2) or (x >= 3) xor (x < 4) implies (x > 5) then
    x := x div 2 mod 3 shl 1 shr 1 sar 1
  else if not (x = 0) then
    x := x << 1 >> 1;
  case x of
    1..5: Exit;
  end;
  for x := 1 to 10 do Continue;
  for x := 10 downto 1 do Break;
  while False do ;
  repeat until True;
  try
    raise new Exception.Create('it''s' + #13#10 + #$41 + "dq" + #"
      multi
      line");
  except
    on E: Exception do ;
  end;
  try finally end;
  x := inherited Get(@x^, nil, x is TBase, x as TBase, x in [1, 2]);
  &begin := $(Old.Value);
ensure
  old x = x;
end;

class function TBase.Make: TBase; begin end;
invariants
object static; set; fastcall;
initialization program
end.
