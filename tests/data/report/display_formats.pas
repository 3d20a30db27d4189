{ Reference table for the report display formats, printed by the Free
  Pascal runtime with Brazilian format settings. The rules of the display
  format (which routine a data type and a format string go to) are written
  out below; the runtime's FormatFloat, FormatCurr, FloatToStrF, CurrToStrF,
  FormatDateTime and FormatMaskText do the formatting.

  Build and run from this folder (the settings come from ../rtl):
    fpc -O- -FE/tmp/oracle display_formats.pas && /tmp/oracle/display_formats > display_formats.txt

  Output: one case per line, fields separated by TAB:
    kind  datatype  format  value  encoded value  result  [mark  expected]
  Kinds: NUM numbers, BOOL booleans, DT dates and times, STR texts through
  an edit mask. Encoded values: d:<IEEE bits of a double>, f:<bits of a
  single>, c:<currency times 10,000>, i:<64-bit integer>, b:True/False,
  s:<text>. A result "ERROR" means the runtime raised an exception.

  Where this runtime departs on purpose from the rule the system follows,
  the case carries a mark naming the reason and the text the system prints
  instead:
    binary    rounding on the binary value instead of its 15 significant
              decimal digits (2.675 is 2,67499999999999982236431605997495353221893310546875)
    negzero   a value that rounds to zero printed with a minus sign
    section   an empty negative section: the positive section with a minus
              sign, as the class library documents, not the general format
    digits    a 64-bit whole number printed with 15 digits instead of exactly
    case      the mask's ">" (upper case) not applied
    chars     the mask counting bytes instead of characters
    empty     an empty value in a mask with "!" (the runtime fails)
}
program display_formats;
{$mode objfpc}{$H+}
uses SysUtils, MaskUtils;

type
  TDT = (dtBoolean, dtDate, dtTime, dtDateTime, dtInteger, dtSingle, dtDouble,
    dtCurrency, dtString, dtLargeInt);
  TMark = record
    Kind, DT, Fmt, Value, Reason, Expected: string;
  end;

const
  DTNames: array[TDT] of string = ('dtBoolean', 'dtDate', 'dtTime', 'dtDateTime',
    'dtInteger', 'dtSingle', 'dtDouble', 'dtCurrency', 'dtString', 'dtLargeInt');

var
  FS: TFormatSettings;
  Marks: array of TMark;
  Used: array of Boolean;

procedure Mark(const Kind, DT, Fmt, Value, Reason, Expected: string);
var
  N: Integer;
begin
  N := Length(Marks);
  SetLength(Marks, N + 1);
  SetLength(Used, N + 1);
  Marks[N].Kind := Kind;
  Marks[N].DT := DT;
  Marks[N].Fmt := Fmt;
  Marks[N].Value := Value;
  Marks[N].Reason := Reason;
  Marks[N].Expected := Expected;
  Used[N] := False;
end;

procedure LoadMarks;
begin
  {$I display_formats_marks.inc}
end;

procedure Row(const Kind: string; DT: TDT; const Fmt, Value, Encoded, Res: string);
var
  I: Integer;
  Line: string;
begin
  Line := Kind + #9 + DTNames[DT] + #9 + Fmt + #9 + Value + #9 + Encoded + #9 + Res;
  for I := 0 to High(Marks) do
    if (Marks[I].Kind = Kind) and (Marks[I].DT = DTNames[DT]) and (Marks[I].Fmt = Fmt) and
       (Marks[I].Value = Value) then
    begin
      Line := Line + #9 + Marks[I].Reason + #9 + Marks[I].Expected;
      Used[I] := True;
      Break;
    end;
  WriteLn(Line);
end;

{$I ../rtl/oracle_values.inc}

function SingleBits(S: Single): string;
var
  I: LongWord;
begin
  Move(S, I, SizeOf(I));
  Result := 'f:' + IntToHex(I, 8);
end;

{ The rules for numbers. }
function CurrencyDecimals(const Fmt: string): Integer;
var
  First: string;
  P: Integer;
begin
  First := Fmt;
  P := Pos(';', First);
  if P > 0 then First := Copy(First, 1, P - 1);
  P := Pos('.', First);
  if P = 0 then Result := 0 else Result := Length(First) - P;
end;

function FormatNumber(const Fmt: string; DT: TDT; V: Extended; C: Currency): string;
begin
  if Pos('$', Fmt) > 0 then
    Result := FloatToStrF(V, ffCurrency, 15, CurrencyDecimals(Fmt), FS)
  else if Fmt = '' then
  begin
    if DT = dtCurrency then Result := CurrToStrF(C, ffCurrency, FS.CurrencyDecimals, FS)
    else Result := FloatToStrF(V, ffGeneral, 15, 0, FS);
  end
  else if DT = dtCurrency then
    Result := FormatCurr(Fmt, C, FS)
  else
    Result := FormatFloat(Fmt, V, FS);
end;

procedure NumDouble(DT: TDT; const Fmt: string; D: Double);
begin
  Row('NUM', DT, Fmt, VText(D), 'd:' + Bits(D), FormatNumber(Fmt, DT, D, 0));
end;

procedure NumSingle(const Fmt: string; S: Single);
begin
  Row('NUM', dtSingle, Fmt, VText(S), SingleBits(S), FormatNumber(Fmt, dtSingle, S, 0));
end;

procedure NumCurr(const Fmt: string; C: Currency);
begin
  Row('NUM', dtCurrency, Fmt, CurrToStr(C, DefaultFormatSettings), 'c:' + RawCurr(C),
    FormatNumber(Fmt, dtCurrency, C, C));
end;

procedure NumInt(DT: TDT; const Fmt: string; I: Int64);
begin
  Row('NUM', DT, Fmt, IntToStr(I), 'i:' + IntToStr(I), FormatNumber(Fmt, DT, I, 0));
end;

procedure Bool(const Fmt: string; B: Boolean);
var
  P: Integer;
  R: string;
begin
  if Fmt = '' then R := BoolToStr(B, True)
  else
  begin
    P := Pos(';', Fmt);
    if P = 0 then
    begin
      if B then R := Fmt else R := '';
    end
    else if B then R := Copy(Fmt, 1, P - 1)
    else R := Copy(Fmt, P + 1, MaxInt);
  end;
  Row('BOOL', dtBoolean, Fmt, BoolToStr(B, True), 'b:' + BoolToStr(B, True), R);
end;

procedure Dates(DT: TDT; const Fmt: string; D: Double);
var
  F: string;
begin
  F := Fmt;
  if F = '' then
    case DT of
      dtDate: F := FS.ShortDateFormat;
      dtTime: F := FS.LongTimeFormat;
    else
      F := 'c';
    end;
  Row('DT', DT, Fmt, VText(D), 'd:' + Bits(D), FormatDateTime(F, D, FS));
end;

procedure Str(const Fmt, S: string);
var
  R: string;
begin
  try
    if Fmt = '' then R := S else R := FormatMaskText(Fmt, S);
  except
    on E: Exception do R := 'ERROR';
  end;
  Row('STR', dtString, Fmt, S, 's:' + S, R);
end;

const
  { The four display formats of the billing listings, then the designer's
    list, sections and quoted literals. }
  NumFormats: array[0..17] of string = (
    '000,000', '##,###,###,##0.00', '###,###,##0.00', '###,##0.000',
    '#,0;-#,0', '#,0.00;-#,0.00', '#,0.00;(#,0.00)', '$#,0.00;($#,0.00)', '$#,0.00;-$#,0.00',
    '$#,0;-$#,0', '0 %', '0.00 %', '', '0.00;(0.00);"zero"', '"R$ "#,##0.00',
    '#,##0.000'' kg''', '0.0E+00', '#,##0.00;;"nada"');
  NumValues: array[0..13] of Double = (
    0, 1234, -1234.4, 1234.565, 0.005, 1.005, 2.675, -0.001, 999999.995, 0.5, 12345678.9, -0.5,
    0.015, 1234.575);
  { Amounts typed in decimal, as currency. }
  CurrValues: array[0..4] of Currency = (0.005, 1.005, 2.675, 1234.565, -0.001);
  DateFormats: array[0..24] of string = (
    'dd/mm/yyyy', 'd/m/yy', 'mmmm', 'mmm', 'dddd', 'ddd', 'd "de" mmmm "de" yyyy', 'hh:nn:ss',
    'c', '', 'm/d/yy', 'mm/dd/yy', 'mm/dd/yyyy', 'd-mmm-yy', 'dd-mmm-yy', 'mmmm d, yyyy', 'm/d',
    'mmm-yy', 'mmmm-yy', 'h:nn AM/PM', 'h:nn', 'h:nn:ss AM/PM', 'h:nn:ss', 'm/d/yy h:nn:ss AM/PM',
    'm/d/yy h:nn:ss');
  Masks: array[0..7] of string = (
    '!\(999\)\ 000\-0000;0; ', '!99999;0; ', '000\-00\-0000;0; ', '00000;0; ',
    '00000\-9999;0; ', '!99/99/00;0; ', '!90:00:00\ >LL;0; ', '!90:00;0; ');

var
  I, J: Integer;
  DateValues: array[0..3] of Double;
  DateTypes: array[0..3] of TDT = (dtDateTime, dtDate, dtTime, dtDateTime);

begin
  LoadMarks;
  {$I ../rtl/brazilian_settings.inc}
  { FormatMaskText reads the global settings. }
  DefaultFormatSettings.DateSeparator := '/';
  DefaultFormatSettings.TimeSeparator := ':';

  { Numbers: every format with every value as a double, then the other
    number types on the billing formats and the empty one. }
  for I := 0 to High(NumFormats) do
    for J := 0 to High(NumValues) do
      NumDouble(dtDouble, NumFormats[I], NumValues[J]);
  for I := 0 to 3 do
  begin
    NumCurr(NumFormats[I], 1234.5678);
    NumCurr(NumFormats[I], -0.00005);
    NumInt(dtInteger, NumFormats[I], 1234);
    NumInt(dtInteger, NumFormats[I], -2147483647);
    NumSingle(NumFormats[I], 0.1);
    NumInt(dtLargeInt, NumFormats[I], 9007199254740993);
  end;
  for J := 0 to High(CurrValues) do
  begin
    NumCurr('#,0.00', CurrValues[J]);
    NumCurr('000,000', CurrValues[J]);
  end;
  NumCurr('', 5);
  NumCurr('', -1234.5);
  NumCurr('$#,0.00;($#,0.00)', -1234.4);
  NumCurr('#,0.00;(#,0.00)', -1234.4);
  NumCurr('0.0000', 0.0001);
  NumInt(dtInteger, '', 5);
  NumDouble(dtDouble, '', 5);
  NumInt(dtLargeInt, '', 1234567890123456789);
  NumInt(dtLargeInt, '#,0', -9223372036854775807);
  NumInt(dtLargeInt, '$#,0.00;-$#,0.00', 123456789012345678);
  NumSingle('0.00', 2.675);
  NumSingle('', 1.5);

  { Booleans: the designer's list. }
  Bool('Yes;No', True); Bool('Yes;No', False);
  Bool('Y;N', True); Bool('True;False', False);
  Bool('OK;', True); Bool('OK;', False);
  Bool(';Not OK', True); Bool(';Not OK', False);
  Bool('Done;', False); Bool('', True); Bool('Sim', True); Bool('Sim', False);

  { Dates and times: 25 formats, four moments. }
  DateValues[0] := EncodeDate(1995, 3, 4) + EncodeTime(13, 30, 55, 0);
  DateValues[1] := EncodeDate(2024, 12, 31);
  DateValues[2] := EncodeTime(9, 5, 7, 0);
  DateValues[3] := EncodeDate(2000, 2, 29) + EncodeTime(0, 0, 1, 0);
  for I := 0 to High(DateFormats) do
    for J := 0 to 3 do
      Dates(DateTypes[J], DateFormats[I], DateValues[J]);

  { Texts through the designer's eight masks. }
  Str(Masks[0], '5551234567'); Str(Masks[0], '1234567'); Str(Masks[0], '12');
  Str(Masks[0], ''); Str(Masks[0], '55512345678');
  Str(Masks[1], '123'); Str(Masks[1], '1234567'); Str(Masks[1], '12345');
  Str(Masks[2], '123456789'); Str(Masks[2], '1234'); Str(Masks[2], '1234567890');
  Str(Masks[3], '01310'); Str(Masks[3], '1234567'); Str(Masks[3], '013');
  Str(Masks[4], '013101000'); Str(Masks[4], '01310'); Str(Masks[4], '0131010');
  Str(Masks[5], '311299'); Str(Masks[5], '11299'); Str(Masks[5], '1');
  Str(Masks[6], '123456pm'); Str(Masks[6], '23456am'); Str(Masks[6], '123456PM');
  Str(Masks[6], '95959');
  Str(Masks[7], '1234'); Str(Masks[7], '234'); Str(Masks[7], '12345');
  Str(Masks[7], '');
  Str(Masks[3], 'ação1'); Str('', 'sem máscara');

  for I := 0 to High(Marks) do
    if not Used[I] then
      WriteLn(StdErr, 'unused mark: ', Marks[I].Kind, ' ', Marks[I].DT, ' ', Marks[I].Fmt, ' ', Marks[I].Value);
end.
