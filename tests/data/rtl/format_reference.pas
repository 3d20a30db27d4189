{ Reference table for the number and date formatting routines, printed by
  the Free Pascal runtime with Brazilian format settings.

  Build and run from this folder (nothing but the output is kept here):
    fpc -O- -FE/tmp/oracle format_reference.pas && /tmp/oracle/format_reference > format_reference.txt

  Output: one case per line, fields separated by TAB:
    kind  arg1  arg2  arg3  result  [mark  expected]
  Kinds and their arguments:
    FF   FormatFloat      pattern, value as text, value as IEEE bits (hex)
    FC   FormatCurr       pattern, value as text, raw currency (value * 10000)
    FS   FloatToStr       -, value as text, bits
    FSF  FloatToStrF      "format/precision/digits", value as text, bits
    CS   CurrToStr        -, value as text, raw currency
    CSF  CurrToStrF       "format/digits", value as text, raw currency
    FMT  Format           pattern, arguments joined by "|" (i:int32 I:int64
                          d:bits-of-double c:raw-currency s:text p:nil
                          b:boolean), -
    FD   FormatDateTime   pattern, value as text, bits
    DS/TS/DTS  DateToStr, TimeToStr, DateTimeToStr: -, value as text, bits
    SF   StrToFloat       input, -, -        (result: bits of the double)
    ED   EncodeDate       "y/m/d", -, -     (result: bits)
    ET   EncodeTime       "h/n/s/z", -, -   (result: bits)
    DD   DecodeDate and DecodeTime: -, value as text, bits (result "y/m/d h:n:s.z")
    DW   DayOfWeek        -, value as text, bits
    IM   IncMonth         months, value as text, bits (result: bits)
    SOM/EOM  StartOfTheMonth, EndOfTheMonth: -, value as text, bits (result: bits)
    SD/ST/SDT  StrToDate, StrToTime, StrToDateTime: input, -, - (result: bits)
    SC   StrToCurr        input, -, -        (result: raw currency)
  A result "ERROR" means the routine raised EConvertError.

  Where this runtime keeps more binary digits than the value's 15 significant
  decimal digits (and so rounds 2.675 to "2,67"), prints a negative zero, or
  otherwise departs from the rule the system follows, the case carries a mark
  naming the reason and the result the system gives instead:
    binary    rounding on the binary value instead of the 15 decimal digits
    negzero   a value that rounds to zero printed with a minus sign (or the
              negative section's parentheses or words)
    zero      optional "#" decimals printed for a value that rounds to zero
    digits    more than 15 significant digits printed (80-bit extended)
    chars     widths and precisions counted in bytes instead of characters
    section   an empty negative section: the positive section with a minus
              sign, as the class library documents
    range     a month step past the year 9999, which the system refuses
              (EConvertError) where this runtime answers 30/12/1899
}
program format_reference;
{$mode objfpc}{$H+}
uses SysUtils, DateUtils;

type
  TMark = record
    Kind, A1, A2, Reason, Expected: string;
  end;

var
  FS: TFormatSettings;
  Marks: array of TMark;
  Used: array of Boolean;
  Rows: Integer = 0;

procedure Mark(const Kind, A1, A2, Reason, Expected: string);
var
  N: Integer;
begin
  N := Length(Marks);
  SetLength(Marks, N + 1);
  SetLength(Used, N + 1);
  Marks[N].Kind := Kind;
  Marks[N].A1 := A1;
  Marks[N].A2 := A2;
  Marks[N].Reason := Reason;
  Marks[N].Expected := Expected;
  Used[N] := False;
end;

procedure Row(const Kind, A1, A2, A3, Res: string);
var
  I: Integer;
  Line: string;
begin
  Line := Kind + #9 + A1 + #9 + A2 + #9 + A3 + #9 + Res;
  for I := 0 to High(Marks) do
    if (Marks[I].Kind = Kind) and (Marks[I].A1 = A1) and (Marks[I].A2 = A2) then
    begin
      Line := Line + #9 + Marks[I].Reason + #9 + Marks[I].Expected;
      Used[I] := True;
      Break;
    end;
  WriteLn(Line);
  Inc(Rows);
end;

{$I oracle_values.inc}

procedure FF(const Pattern: string; D: Double);
begin
  Row('FF', Pattern, VText(D), Bits(D), FormatFloat(Pattern, D, FS));
end;

procedure FC(const Pattern: string; C: Currency);
begin
  Row('FC', Pattern, CurrToStr(C, DefaultFormatSettings), RawCurr(C), FormatCurr(Pattern, C, FS));
end;

procedure FSt(D: Double);
begin
  Row('FS', '', VText(D), Bits(D), FloatToStr(D, FS));
end;

const
  FormatNames: array[TFloatFormat] of string =
    ('ffGeneral', 'ffExponent', 'ffFixed', 'ffNumber', 'ffCurrency');

procedure FSF(D: Double; F: TFloatFormat; P, G: Integer);
begin
  Row('FSF', FormatNames[F] + '/' + IntToStr(P) + '/' + IntToStr(G), VText(D), Bits(D),
    FloatToStrF(D, F, P, G, FS));
end;

procedure CSt(C: Currency);
begin
  Row('CS', '', CurrToStr(C, DefaultFormatSettings), RawCurr(C), CurrToStr(C, FS));
end;

procedure CSF(C: Currency; F: TFloatFormat; G: Integer);
begin
  Row('CSF', FormatNames[F] + '/' + IntToStr(G), CurrToStr(C, DefaultFormatSettings), RawCurr(C),
    CurrToStrF(C, F, G, FS));
end;

function ArgText(const Args: array of const): string;
var
  I: Integer;
  S: string;
begin
  Result := '';
  for I := 0 to High(Args) do
  begin
    case Args[I].VType of
      vtInteger: S := 'i:' + IntToStr(Args[I].VInteger);
      vtInt64: S := 'I:' + IntToStr(Args[I].VInt64^);
      vtQWord: S := 'I:' + IntToStr(Int64(Args[I].VQWord^));
      vtExtended: S := 'd:' + Bits(Args[I].VExtended^);
      vtCurrency: S := 'c:' + RawCurr(Args[I].VCurrency^);
      vtAnsiString: S := 's:' + AnsiString(Args[I].VAnsiString);
      vtChar: S := 's:' + Args[I].VChar;
      vtPointer: S := 'p:nil';
      vtBoolean: S := 'b:' + BoolToStr(Args[I].VBoolean, True);
    else
      S := '?';
    end;
    if I > 0 then Result := Result + '|';
    Result := Result + S;
  end;
end;

procedure M(const Pattern: string; const Args: array of const);
var
  R: string;
begin
  try
    R := Format(Pattern, Args, FS);
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row('FMT', Pattern, ArgText(Args), '', R);
end;

procedure FD(const Pattern: string; D: Double);
begin
  Row('FD', Pattern, VText(D), Bits(D), FormatDateTime(Pattern, D, FS));
end;

procedure SF(const S: string);
var
  D: Double;
  R: string;
begin
  try
    D := StrToFloat(S, FS);
    R := Bits(D);
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row('SF', S, '', '', R);
end;

procedure SD(const Kind, S: string);
var
  D: TDateTime;
  R: string;
begin
  try
    if Kind = 'SD' then D := StrToDate(S, FS)
    else if Kind = 'ST' then D := StrToTime(S, FS)
    else D := StrToDateTime(S, FS);
    R := Bits(D);
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row(Kind, S, '', '', R);
end;

procedure ED(Y, Mo, Dy: Integer);
var
  R: string;
begin
  try
    R := Bits(EncodeDate(Y, Mo, Dy));
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row('ED', IntToStr(Y) + '/' + IntToStr(Mo) + '/' + IntToStr(Dy), '', '', R);
end;

procedure ET(H, N, S, Z: Integer);
var
  R: string;
begin
  try
    R := Bits(EncodeTime(H, N, S, Z));
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row('ET', IntToStr(H) + '/' + IntToStr(N) + '/' + IntToStr(S) + '/' + IntToStr(Z), '', '', R);
end;

procedure DateRows(D: Double);
var
  Y, Mo, Dy, H, N, S, Z: Word;
  K: Integer;
begin
  DecodeDate(D, Y, Mo, Dy);
  DecodeTime(D, H, N, S, Z);
  Row('DD', '', VText(D), Bits(D), Format('%d/%d/%d %d:%d:%d.%d', [Y, Mo, Dy, H, N, S, Z]));
  Row('DW', '', VText(D), Bits(D), IntToStr(DayOfWeek(D)));
  for K := -13 to 13 do
    if K mod 6 = 1 then
      Row('IM', IntToStr(K), VText(D), Bits(D), Bits(IncMonth(D, K)));
  Row('SOM', '', VText(D), Bits(D), Bits(StartOfTheMonth(D)));
  Row('EOM', '', VText(D), Bits(D), Bits(EndOfTheMonth(D)));
end;

procedure SC(const S: string);
var
  R: string;
begin
  try
    R := RawCurr(StrToCurr(S, FS));
  except
    on E: EConvertError do R := 'ERROR';
  end;
  Row('SC', S, '', '', R);
end;

function Dbl(D: Double): Double;
begin
  Result := D;
end;

const
  FloatPatterns: array[0..27] of string = (
    '0', '0.00', '#,##0.00', '#,##0.00;(#,##0.00)', '#,##0.00;-#,##0.00;"zero"', '0.000',
    '#.##', '0.##', '00000', '#,##0', '0.00E+00', '0.0E-0', '##0.0E+0', '#,##0.00 "R$"',
    '"R$ "#,##0.00', '0.0####', '#,0.00', '###,###,##0;0; ', '###,###', '0.00;;zero',
    '', '00-00', '0.0 ''un''', '#,##0.0000', '0E+0', '0.000e-000', '0#0.#0#', '#0.00;menos #0.00');
  FloatValues: array[0..33] of Double = (
    0, 1, -1, 0.5, -0.5, 1.5, 2.5, 2.675, 1.005, 0.045, -7.125, 1234.5678, -1234.5678,
    1234567.891, -0.001, 0.004, 0.005, -0.005, 999.995, 1e-7, 123456789012.345, 0.3,
    12345678901234567, 1.5e20, 99.5, -99.5, 0.0625, 5e-5, 0.15, 0.35, -2.5, 10, 100000, 0.125);

  DatePatterns: array[0..33] of string = (
    'dd/mm/yyyy', 'd/m/yy', 'ddd', 'dddd', 'ddddd', 'dddddd', 'mmm', 'mmmm',
    'yyyy-mm-dd hh:nn:ss.zzz', 'h:n:s.z', 'hh:mm', 'hh:mm:ss', 'c', 't', 'tt', 'h:nn am/pm',
    'h:nn AM/PM', 'h:nn a/p', 'hh ampm', '"Data:" dd/mm', 'yyyymmddhhnnss',
    'dddd, d "de" mmmm "de" yyyy', 'mm/yyyy', 'yy', 'm', 'd mmm yyyy', 'hh"h"nn',
    'dd ''de'' mmmm', 'mm hh:mm', 'yyyy', 'z zzz', 'D/M/YYYY HH:NN', 'dd-mm-yyyy',
    'hh:nn:ss a/p');

var
  I, J: Integer;
  DateValues: array of Double;
  D: Double;
  C: Currency;

begin
  {$I brazilian_settings.inc}

  {$I format_reference_marks.inc}

  { FormatFloat: every pattern against every value. }
  for I := Low(FloatPatterns) to High(FloatPatterns) do
    for J := Low(FloatValues) to High(FloatValues) do
      FF(FloatPatterns[I], FloatValues[J]);

  { FormatCurr }
  for I := Low(FloatPatterns) to High(FloatPatterns) do
  begin
    FC(FloatPatterns[I], 0);
    FC(FloatPatterns[I], 1234.5678);
    FC(FloatPatterns[I], -1234.5678);
    FC(FloatPatterns[I], 2.675);
    FC(FloatPatterns[I], -0.0049);
    FC(FloatPatterns[I], 0.005);
    FC(FloatPatterns[I], 922337203685477.5807);
    FC(FloatPatterns[I], -922337203685477.5807);
  end;

  { FloatToStr }
  for J := Low(FloatValues) to High(FloatValues) do
    FSt(FloatValues[J]);
  FSt(0.1 + Dbl(0.2));
  FSt(1 / Dbl(3));
  FSt(2 / Dbl(3));
  FSt(1e15);
  FSt(1e16);
  FSt(123456789012345);
  FSt(1234567890123456);
  FSt(0.0001);
  FSt(0.00001);
  FSt(0.000001);
  FSt(0.0000123);
  FSt(1e100);
  FSt(-1e-100);
  FSt(1.7976931348623157e308);
  FSt(5e-324);
  FSt(-123.456);
  FSt(100);
  FSt(1e-5 * 3);

  { FloatToStrF }
  for J := 0 to 13 do
  begin
    D := FloatValues[J + 7];
    FSF(D, ffGeneral, 15, 0);
    FSF(D, ffGeneral, 4, 0);
    FSF(D, ffExponent, 15, 2);
    FSF(D, ffExponent, 4, 0);
    FSF(D, ffExponent, 3, 4);
    FSF(D, ffFixed, 15, 2);
    FSF(D, ffFixed, 18, 0);
    FSF(D, ffFixed, 15, 4);
    FSF(D, ffNumber, 15, 2);
    FSF(D, ffNumber, 15, 0);
    FSF(D, ffCurrency, 15, 2);
    FSF(D, ffCurrency, 15, 0);
  end;

  { Currency to text }
  CSt(0);
  CSt(1234.5);
  CSt(-0.0001);
  CSt(922337203685477.5807);
  CSt(-922337203685477.5807);
  CSt(10);
  C := 2.675;
  CSF(C, ffCurrency, 2);
  CSF(C, ffFixed, 2);
  CSF(C, ffNumber, 1);
  CSF(-C, ffCurrency, 2);
  CSF(-C, ffNumber, 4);
  CSF(-0.0049, ffFixed, 2);
  CSF(1234567.5, ffGeneral, 0);
  CSF(1234567.5, ffExponent, 2);

  { Format }
  M('%d', [0]);
  M('%d', [-42]);
  M('%5d|%-5d|%.3d|%8.3d', [42, 42, 7, -7]);
  M('%d', [Int64(-9223372036854775807) - 1]);
  M('%d', [High(Int64)]);
  M('%u', [-1]);
  M('%u', [Int64(4000000000)]);
  M('%x', [255]);
  M('%X', [255]);
  M('%.4x', [10]);
  M('%x', [-1]);
  M('%x', [Int64(-1)]);
  M('%8x|', [48879]);
  M('%s', ['texto']);
  M('%10s|', ['abc']);
  M('%-10s|', ['abc']);
  M('%.2s|', ['abcdef']);
  M('%5.2s|', ['abcdef']);
  M('%5s|', ['ção']);
  M('%.2s|', ['ção']);
  M('%-6s|', ['João']);
  M('%s-%s', ['a', 'b']);
  M('%2:s %0:s %s', ['a', 'b', 'c']);
  M('%1:s %s %0:s', ['x', 'y', 'z']);
  M('%*d', [5, 42]);
  M('%-*d|', [5, 42]);
  M('%.*f', [3, Dbl(3.14159)]);
  M('%*.*f', [8, 1, Dbl(3.14159)]);
  M('%d %%', [5]);
  M('100%%', []);
  M('%f', [Dbl(2.675)]);
  M('%f', [Dbl(-7.125)]);
  M('%f', [Dbl(-0.001)]);
  M('%f', [Dbl(1.005)]);
  M('%.0f', [Dbl(2.5)]);
  M('%.0f', [Dbl(-2.5)]);
  M('%.1f', [Dbl(0.05)]);
  M('%.3f', [Dbl(1234.5678)]);
  M('%10.2f|', [Dbl(-3.14159)]);
  M('%-10.2f|', [Dbl(3.14159)]);
  M('%f', [Dbl(1e20)]);
  M('%n', [Dbl(1234567.891)]);
  M('%n', [Dbl(-1234567.891)]);
  M('%.0n', [Dbl(-1234567.5)]);
  M('%.3n', [Dbl(0.0005)]);
  M('%15n|', [Dbl(1234.5)]);
  M('%n', [Dbl(999.995)]);
  M('%m', [Dbl(1234.5)]);
  M('%m', [Dbl(-1234.5)]);
  M('%m', [Dbl(0)]);
  M('%m', [Dbl(-0.001)]);
  M('%.0m', [Dbl(1234.5)]);
  M('%8.2m', [Dbl(5)]);
  M('%m', [Dbl(2.675)]);
  M('%e', [Dbl(1234.5)]);
  M('%e', [Dbl(0)]);
  M('%e', [Dbl(-1.5)]);
  M('%.3e', [Dbl(0.000123456)]);
  M('%.3e', [Dbl(12345.678)]);
  M('%.1e', [Dbl(9.96)]);
  M('%.2e', [Dbl(-9.995)]);
  M('%.4e', [Dbl(1e-300)]);
  M('%g', [Dbl(1234.5)]);
  M('%g', [Dbl(0.00001)]);
  M('%g', [Dbl(1e15)]);
  M('%g', [Dbl(1e16)]);
  M('%g', [Dbl(123456789.123456789)]);
  M('%.3g', [Dbl(1234.5)]);
  M('%.3g', [Dbl(0.0012345)]);
  M('%g', [Dbl(-0.5)]);
  M('%p', [nil]);
  M('%f', [Currency(2.675)]);
  M('%m', [Currency(-1234.5678)]);
  M('%n', [Currency(1234567.89)]);
  M('%d', [Dbl(1.5)]);
  M('%f', [1]);
  M('%s', [1]);
  M('%d', ['a']);
  M('%d', []);
  M('%s %s', ['a']);
  M('%5', [1]);
  M('%d-%d', [1]);
  M('%s', [True]);
  M('%8d|', [-12345]);
  M('%3d', [-12345]);
  M('%.0d', [0]);
  M('%.10d', [Int64(123456789012)]);
  M('[%-8s][%8s]', ['Nota', 'Fiscal']);
  M('Página %d de %d', [3, 10]);
  M('%8d', [1]);
  M('%8d|%8d', [12, 34]);
  M('%s: %.2f', ['Total', Dbl(1234.5)]);

  { FormatDateTime }
  SetLength(DateValues, 12);
  DateValues[0] := EncodeDate(2023, 3, 15) + EncodeTime(12, 0, 0, 0);
  DateValues[1] := EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 999);
  DateValues[2] := 0;
  DateValues[3] := -1.25;
  DateValues[4] := EncodeDate(2000, 1, 1);
  DateValues[5] := EncodeDate(2021, 7, 4) + EncodeTime(13, 4, 5, 6);
  DateValues[6] := EncodeDate(1999, 12, 31) + EncodeTime(0, 0, 1, 0);
  DateValues[7] := EncodeDate(9999, 12, 31) + EncodeTime(12, 30, 0, 0);
  DateValues[8] := EncodeDate(1900, 1, 1) + EncodeTime(6, 7, 8, 9);
  DateValues[9] := EncodeDate(2025, 10, 12) + EncodeTime(0, 0, 0, 0);
  DateValues[10] := EncodeDate(2026, 6, 6) + EncodeTime(11, 59, 59, 500);
  DateValues[11] := EncodeDate(1850, 5, 17) - EncodeTime(18, 45, 0, 0);
  for I := Low(DatePatterns) to High(DatePatterns) do
    for J := 0 to High(DateValues) do
      FD(DatePatterns[I], DateValues[J]);
  for J := 0 to High(DateValues) do
  begin
    Row('DS', '', VText(DateValues[J]), Bits(DateValues[J]), DateToStr(DateValues[J], FS));
    Row('TS', '', VText(DateValues[J]), Bits(DateValues[J]), TimeToStr(DateValues[J], FS));
    Row('DTS', '', VText(DateValues[J]), Bits(DateValues[J]), DateTimeToStr(DateValues[J], FS));
  end;

  { StrToFloat }
  SF('0');
  SF('1,5');
  SF('-1,5');
  SF('+2,25');
  SF(' 1,5 ');
  SF('1,5e3');
  SF('1,5E-3');
  SF(',5');
  SF('1,');
  SF('2,675');
  SF('0,1');
  SF('1234567,891');
  SF('-0,001');
  SF('123456789012345678');
  SF('1e-300');
  SF('1.5');
  SF('1.000,5');
  SF('');
  SF(' ');
  SF('abc');
  SF('$10');
  SF('1,5,5');
  SF('1e');
  SF('--1');
  SF('1 5');
  SF('0,3');
  SF('5e-324');

  { Dates and times typed in }
  SD('SD', '05/03/2024');
  SD('SD', '5/3/2024');
  SD('SD', '29/02/2024');
  SD('SD', '31/12/9999');
  SD('SD', '01/01/0001');
  SD('SD', '29/02/2023');
  SD('SD', '31/04/2024');
  SD('SD', '00/01/2024');
  SD('SD', '15/13/2024');
  SD('SD', '2024-03-05');
  SD('SD', 'abc');
  SD('SD', '');
  SD('SD', ' 05/03/2024 ');
  SD('ST', '13:45');
  SD('ST', '13:45:30');
  SD('ST', '0:00');
  SD('ST', '23:59:59');
  SD('ST', '25:00');
  SD('ST', '12:60');
  SD('ST', 'xx');
  SD('ST', '1:30 PM');
  SD('ST', '12:00 AM');
  SD('SDT', '05/03/2024 13:45');
  SD('SDT', '05/03/2024 13:45:30');
  SD('SDT', '05/03/2024');
  SD('SDT', '31/12/1899 06:00');
  SD('SDT', '05/03/2024 25:00');

  { Currency typed in }
  SC('0');
  SC('1234,5');
  SC('-1234,5678');
  SC('0,00005');
  SC('-0,00005');
  SC('0,00015');
  SC('1,23456');
  SC('2,675');
  SC('1,5e2');
  SC(' 10 ');
  SC('922337203685477,5807');
  SC('-922337203685477,5807');
  SC('1.5');
  SC('abc');
  SC('');
  SC('1,2,3');

  { Date arithmetic }
  ED(2024, 2, 29);
  ED(2023, 2, 29);
  ED(1900, 2, 29);
  ED(2000, 2, 29);
  ED(1, 1, 1);
  ED(9999, 12, 31);
  ED(0, 1, 1);
  ED(10000, 1, 1);
  ED(2024, 0, 1);
  ED(2024, 13, 1);
  ED(2024, 4, 31);
  ED(2024, 1, 0);
  ED(1899, 12, 30);
  ED(1899, 12, 29);
  ED(1752, 9, 3);
  ET(0, 0, 0, 0);
  ET(23, 59, 59, 999);
  ET(12, 30, 0, 0);
  ET(24, 0, 0, 0);
  ET(23, 60, 0, 0);
  ET(23, 0, 60, 0);
  ET(23, 0, 0, 1000);
  ET(6, 7, 8, 9);
  for J := 0 to High(DateValues) do
    DateRows(DateValues[J]);
  DateRows(EncodeDate(2024, 1, 31) + EncodeTime(8, 0, 0, 0));
  DateRows(EncodeDate(2023, 3, 31));
  DateRows(EncodeDate(2024, 12, 31));
  DateRows(-0.5);
  DateRows(-2.75);
  DateRows(-693593);
  DateRows(EncodeDate(2000, 2, 29));
  DateRows(EncodeDate(1900, 3, 1));

  for I := 0 to High(Marks) do
    if not Used[I] then
      WriteLn(StdErr, 'unused mark: ', Marks[I].Kind, ' ', Marks[I].A1, ' ', Marks[I].A2);
  WriteLn(StdErr, Rows, ' rows');
end.
