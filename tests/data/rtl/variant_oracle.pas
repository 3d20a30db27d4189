{ Prints how the Free Pascal variant routines convert, compare and combine
  values, as a reference table for the Variant tests. Build and run with
    fpc -v0 variant_oracle.pas && ./variant_oracle > variant_oracle.txt
  The format settings are the Brazilian ones the program uses. Each line is
  "<case>\t<operation>\t<result>"; a case names a kind and a literal:
  empty, null, bool:T, int:42, int64:..., dbl:..., cur:..., date:..., str:... }
program variant_oracle;
{$mode objfpc}{$H+}
uses SysUtils, Variants;

var
  DotFmt: TFormatSettings; { '.' decimals: how the table writes its own numbers }

function Make(const c: string): Variant;
var kind, lit: string; p: Integer; d: Double; cu: Currency;
begin
  p := Pos(':', c);
  if p = 0 then begin kind := c; lit := ''; end
  else begin kind := Copy(c, 1, p - 1); lit := Copy(c, p + 1, MaxInt); end;
  if kind = 'empty' then Result := Unassigned
  else if kind = 'null' then Result := Null
  else if kind = 'bool' then Result := lit = 'T'
  else if kind = 'small' then Result := SmallInt(StrToInt(lit))
  else if kind = 'int' then Result := LongInt(StrToInt(lit))
  else if kind = 'int64' then Result := StrToInt64(lit)
  else if kind = 'byte' then Result := Byte(StrToInt(lit))
  else if kind = 'dbl' then begin
    d := StrToFloat(lit, DotFmt); Result := d; end
  else if kind = 'cur' then begin
    cu := StrToCurr(lit, DotFmt); Result := cu; end
  else if kind = 'date' then begin
    d := StrToFloat(lit, DotFmt); Result := TDateTime(d); end
  else if kind = 'str' then Result := lit
  else raise Exception.Create('bad case ' + c);
end;

function Num(d: Double): string;
begin
  Result := FloatToStrF(d, ffExponent, 17, 0, DotFmt);
end;

procedure Line(const c, op, r: string);
begin
  writeln(c, #9, op, #9, r);
end;

procedure Fail(const c, op: string; e: Exception);
begin
  Line(c, op, 'EXC ' + e.Message);
end;

procedure Convert(const c: string);
var v: Variant; i: LongInt; i64: Int64; d: Double; cu: Currency; b: Boolean; s: string;
begin
  v := Make(c);
  try i := v; Line(c, 'Integer', IntToStr(i)); except on e: Exception do Fail(c, 'Integer', e); end;
  try i64 := v; Line(c, 'Int64', IntToStr(i64)); except on e: Exception do Fail(c, 'Int64', e); end;
  try d := v; Line(c, 'Double', Num(d)); except on e: Exception do Fail(c, 'Double', e); end;
  try cu := v; Line(c, 'Currency', IntToStr(PInt64(@cu)^)); except on e: Exception do Fail(c, 'Currency', e); end;
  try b := v; Line(c, 'Boolean', BoolToStr(b, True)); except on e: Exception do Fail(c, 'Boolean', e); end;
  try s := v; Line(c, 'String', '[' + s + ']'); except on e: Exception do Fail(c, 'String', e); end;
  try d := VarToDateTime(v); Line(c, 'Date', Num(d)); except on e: Exception do Fail(c, 'Date', e); end;
  Line(c, 'VarToStr', '[' + VarToStr(v) + ']');
end;

function Rel(r: TVariantRelationship): string;
begin
  case r of
    vrEqual: Result := 'Equal';
    vrLessThan: Result := 'Less';
    vrGreaterThan: Result := 'Greater';
    vrNotEqual: Result := 'NotEqual';
  end;
end;

procedure Compare(const a, b: string);
var x, y: Variant; c: string;
begin
  x := Make(a); y := Make(b); c := a + '|' + b;
  try Line(c, '=', BoolToStr(x = y, True)); except on e: Exception do Fail(c, '=', e); end;
  try Line(c, '<', BoolToStr(x < y, True)); except on e: Exception do Fail(c, '<', e); end;
  try Line(c, '>', BoolToStr(x > y, True)); except on e: Exception do Fail(c, '>', e); end;
  try Line(c, 'VarCompareValue', Rel(VarCompareValue(x, y))); except on e: Exception do Fail(c, 'VarCompareValue', e); end;
end;

function Show(const v: Variant): string;
begin
  case VarType(v) of
    varEmpty: Result := 'empty';
    varNull: Result := 'null';
    varBoolean: Result := 'bool:' + BoolToStr(Boolean(v), 'T', 'F');
    varSmallInt, varShortInt, varByte, varWord, varInteger: Result := 'int:' + IntToStr(Integer(v));
    varLongWord, varInt64: Result := 'int64:' + IntToStr(Int64(v));
    varSingle, varDouble: Result := 'dbl:' + Num(Double(v));
    varCurrency: Result := 'cur:' + CurrToStr(Currency(v), DotFmt);
    varDate: Result := 'date:' + Num(Double(v));
    varString, varUString, varOleStr: Result := 'str:' + String(v);
  else Result := 'type' + IntToStr(VarType(v));
  end;
end;

procedure Arith(const a, b: string);
var x, y: Variant; c: string;
begin
  x := Make(a); y := Make(b); c := a + '|' + b;
  try Line(c, '+', Show(x + y)); except on e: Exception do Fail(c, '+', e); end;
  try Line(c, '-', Show(x - y)); except on e: Exception do Fail(c, '-', e); end;
  try Line(c, '*', Show(x * y)); except on e: Exception do Fail(c, '*', e); end;
  try Line(c, '/', Show(x / y)); except on e: Exception do Fail(c, '/', e); end;
  try Line(c, 'div', Show(x div y)); except on e: Exception do Fail(c, 'div', e); end;
  try Line(c, 'mod', Show(x mod y)); except on e: Exception do Fail(c, 'mod', e); end;
  try Line(c, 'and', Show(x and y)); except on e: Exception do Fail(c, 'and', e); end;
  try Line(c, 'or', Show(x or y)); except on e: Exception do Fail(c, 'or', e); end;
end;

procedure Unary(const a: string);
var x: Variant;
begin
  x := Make(a);
  try Line(a, 'neg', Show(-x)); except on e: Exception do Fail(a, 'neg', e); end;
  try Line(a, 'not', Show(not x)); except on e: Exception do Fail(a, 'not', e); end;
end;

const
  ConvCases: array[0..37] of string = (
    'empty', 'null', 'bool:T', 'bool:F', 'small:-7', 'int:42', 'int:-42', 'int:0',
    'int64:5000000000', 'int64:-2147483648', 'byte:200',
    'dbl:2.5', 'dbl:3.5', 'dbl:-2.5', 'dbl:-3.5', 'dbl:2.6', 'dbl:1234.5678', 'dbl:0', 'dbl:1e20',
    'dbl:0.1', 'cur:12.3456', 'cur:-0.5', 'cur:1.5', 'date:45267.75', 'date:45267',
    'str:12', 'str:-12', 'str:12,5', 'str:13,5', 'str:1.5', 'str:abc', 'str:', 'str: 12 ',
    'str:True', 'str:false', 'str:07/12/2026', 'str:07/12/2026 18:00:00', 'str:$1F');
  CmpCases: array[0..17, 0..1] of string = (
    ('int:1', 'int:2'), ('int:2', 'dbl:2'), ('int:10', 'str:9'), ('str:10', 'str:9'),
    ('str:a', 'str:B'), ('str:abc', 'str:abc'), ('null', 'null'), ('null', 'int:1'),
    ('int:1', 'null'), ('empty', 'int:0'), ('empty', 'str:'), ('empty', 'empty'),
    ('null', 'empty'), ('bool:T', 'int:-1'), ('bool:T', 'bool:F'), ('cur:1.5', 'dbl:1.5'),
    ('date:45267', 'int:45267'), ('str:abc', 'int:1'));
  { Arithmetic on an empty variant is left out: this runtime stops the
    program with a division error on it. }
  ArCases: array[0..14, 0..1] of string = (
    ('int:7', 'int:2'), ('int:2147483647', 'int:1'), ('int:7', 'dbl:0.5'), ('dbl:1.5', 'dbl:2'),
    ('str:12', 'int:3'), ('str:ab', 'str:cd'), ('str:1,5', 'str:2'), ('null', 'int:1'),
    ('int:-7', 'int:2'), ('cur:1.5', 'int:2'), ('cur:1.5', 'dbl:0.25'), ('date:45267', 'int:1'),
    ('bool:T', 'bool:F'), ('int:6', 'int:3'), ('int:7', 'int:0'));
  UnCases: array[0..6] of string = ('int:5', 'dbl:2.5', 'bool:T', 'null', 'bool:F', 'str:3', 'cur:1.5');
var i: Integer;
begin
  DotFmt := DefaultFormatSettings;
  DotFmt.DecimalSeparator := '.';
  DefaultFormatSettings.DecimalSeparator := ',';
  DefaultFormatSettings.ThousandSeparator := '.';
  DefaultFormatSettings.ShortDateFormat := 'dd/mm/yyyy';
  DefaultFormatSettings.DateSeparator := '/';
  DefaultFormatSettings.TimeSeparator := ':';
  DefaultFormatSettings.LongTimeFormat := 'hh:nn:ss';
  FormatSettings := DefaultFormatSettings;
  for i := Low(ConvCases) to High(ConvCases) do Convert(ConvCases[i]);
  for i := Low(CmpCases) to High(CmpCases) do Compare(CmpCases[i, 0], CmpCases[i, 1]);
  for i := Low(ArCases) to High(ArCases) do Arith(ArCases[i, 0], ArCases[i, 1]);
  for i := Low(UnCases) to High(UnCases) do Unary(UnCases[i]);
end.
