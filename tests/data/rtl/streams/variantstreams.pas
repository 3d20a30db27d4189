{ Writes reference streams of variant-valued published properties with the
  Free Pascal class library, used as a black box. Build and run (from the
  folder that holds it):
    fpc -FE/tmp variantstreams.pas && /tmp/variantstreams
  It writes variants.bin (its writer), variants.txt (its ObjectBinaryToText)
  and typedvariants.bin (Null, single, currency and date values, which its
  text converter does not take). Its writer has no form for variant arrays. }
program variantstreams;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils, Variants;

type
  TVarSample = class(TComponent)
  private
    FA, FB, FC, FD, FE, FF, FG, FH, FI, FJ: Variant;
  published
    property VEmpty: Variant read FA write FA;
    property VInt8: Variant read FC write FC;
    property VInt16: Variant read FD write FD;
    property VInt32: Variant read FE write FE;
    property VInt64: Variant read FF write FF;
    property VDouble: Variant read FG write FG;
    property VBool: Variant read FH write FH;
    property VStr: Variant read FI write FI;
    property VWide: Variant read FJ write FJ;
  end;

  TTypedSample = class(TComponent)
  private
    FA, FB, FC, FD: Variant;
  published
    property VNull: Variant read FD write FD;
    property VSingle: Variant read FA write FA;
    property VCurr: Variant read FB write FB;
    property VDate: Variant read FC write FC;
  end;

procedure Save(C: TComponent; const Name: string; WithText: Boolean);
var
  Bin, Txt: TMemoryStream;
begin
  Bin := TMemoryStream.Create;
  Txt := TMemoryStream.Create;
  try
    Bin.WriteComponent(C);
    Bin.SaveToFile(Name + '.bin');
    if WithText then
    begin
      Bin.Position := 0;
      ObjectBinaryToText(Bin, Txt);
      Txt.SaveToFile(Name + '.txt');
    end;
  finally
    Txt.Free;
    Bin.Free;
  end;
end;

var
  S: TVarSample;
  T: TTypedSample;
  I64: Int64;
  Sg: Single;
  Cy: Currency;
begin
  S := TVarSample.Create(nil);
  S.Name := 'Sample1';
  S.VInt8 := ShortInt(-5);
  S.VInt16 := SmallInt(300);
  S.VInt32 := 70000;
  I64 := 50000000000;
  S.VInt64 := I64;
  S.VDouble := 2.5;
  S.VBool := True;
  S.VStr := 'abc';
  S.VWide := UnicodeString('a'#$00E7#$00E3'o');
  Save(S, 'variants', True);
  S.Free;

  T := TTypedSample.Create(nil);
  T.Name := 'Typed1';
  T.VNull := Null;
  Sg := 1.5;
  T.VSingle := Sg;
  Cy := 12.34;
  T.VCurr := Cy;
  T.VDate := VarFromDateTime(45366.5);
  Save(T, 'typedvariants', False);
  T.Free;
end.
