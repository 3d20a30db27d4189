{ Writes reference component streams with the Free Pascal class library, the
  independent implementation of the component stream format that our reader
  and writer are checked against. Build and run (from this folder):
    fpc -FE/tmp makestreams.pas && /tmp/makestreams
  The program writes *.bin (binary form) and *.txt (its text form, through
  ObjectBinaryToText) and, from the hand-written *.src.txt files, *.frombin
  (through ObjectTextToBinary). }
program makestreams;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils;

type
  TSampleKind = (skNone, skSmall, skLarge, skHuge);
  TSampleOption = (soBold, soItalic, soUnderline, soStrike);
  TSampleOptions = set of TSampleOption;

  { An owned persistent streamed in place, as a font. }
  TSampleFont = class(TPersistent)
  private
    FName: string;
    FSize: Integer;
    FStyle: TSampleOptions;
  public
    constructor Create;
    procedure Assign(Source: TPersistent); override;
  published
    property Name: string read FName write FName;
    property Size: Integer read FSize write FSize default 10;
    property Style: TSampleOptions read FStyle write FStyle default [];
  end;

  TSampleItem = class(TCollectionItem)
  private
    FCaption: string;
    FWidth: Integer;
    FKind: TSampleKind;
  published
    property Caption: string read FCaption write FCaption;
    property Width: Integer read FWidth write FWidth default 64;
    property Kind: TSampleKind read FKind write FKind default skNone;
  end;

  TSample = class(TComponent)
  private
    FCount: Integer;
    FBig: Int64;
    FRatio: Double;
    FSmall: Single;
    FWide: Extended;
    FPrice: Currency;
    FWhen: TDateTime;
    FTitle: string;
    FEnabled: Boolean;
    FVisible: Boolean;
    FKind: TSampleKind;
    FOptions: TSampleOptions;
    FFont: TSampleFont;
    FItems: TCollection;
    FBuddy: TComponent;
    FOnClick: TNotifyEvent;
    FOnChange: TNotifyEvent;
    FData: TMemoryStream;
    FNote: string;
    FLines: TStrings;
    FCaption: UnicodeString;
    procedure SetLines(AValue: TStrings);
    procedure SetFont(AValue: TSampleFont);
    procedure SetItems(AValue: TCollection);
    procedure SetBuddy(AValue: TComponent);
    procedure ReadData(Stream: TStream);
    procedure WriteData(Stream: TStream);
    procedure ReadNote(Reader: TReader);
    procedure WriteNote(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
    function GetChildOwner: TComponent; override;
    procedure Notification(AComponent: TComponent; Operation: TOperation); override;
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
    property Data: TMemoryStream read FData;
    property Note: string read FNote write FNote;
  published
    procedure SampleClick(Sender: TObject);
    procedure SampleChange(Sender: TObject);
    property Count: Integer read FCount write FCount default 0;
    property Big: Int64 read FBig write FBig;
    property Ratio: Double read FRatio write FRatio;
    property Small: Single read FSmall write FSmall;
    property Wide: Extended read FWide write FWide;
    property Price: Currency read FPrice write FPrice;
    property When: TDateTime read FWhen write FWhen;
    property Title: string read FTitle write FTitle;
    property Enabled: Boolean read FEnabled write FEnabled default True;
    property Visible: Boolean read FVisible write FVisible;
    property Kind: TSampleKind read FKind write FKind default skSmall;
    property Options: TSampleOptions read FOptions write FOptions default [soBold];
    property Font: TSampleFont read FFont write SetFont;
    property Items: TCollection read FItems write SetItems;
    property Buddy: TComponent read FBuddy write SetBuddy;
    property OnClick: TNotifyEvent read FOnClick write FOnClick;
    property OnChange: TNotifyEvent read FOnChange write FOnChange;
    property Lines: TStrings read FLines write SetLines;
    property Caption: UnicodeString read FCaption write FCaption;
  end;

constructor TSampleFont.Create;
begin
  inherited Create;
  FSize := 10;
end;

procedure TSampleFont.Assign(Source: TPersistent);
begin
  if Source is TSampleFont then
  begin
    FName := TSampleFont(Source).Name;
    FSize := TSampleFont(Source).Size;
    FStyle := TSampleFont(Source).Style;
  end
  else
    inherited Assign(Source);
end;

constructor TSample.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FEnabled := True;
  FKind := skSmall;
  FOptions := [soBold];
  FFont := TSampleFont.Create;
  FItems := TCollection.Create(TSampleItem);
  FData := TMemoryStream.Create;
  FLines := TStringList.Create;
end;

destructor TSample.Destroy;
begin
  FLines.Free;
  FData.Free;
  FItems.Free;
  FFont.Free;
  inherited Destroy;
end;

procedure TSample.SetFont(AValue: TSampleFont);
begin
  FFont.Assign(AValue);
end;

procedure TSample.SetItems(AValue: TCollection);
begin
  FItems.Assign(AValue);
end;

procedure TSample.SetLines(AValue: TStrings);
begin
  FLines.Assign(AValue);
end;

procedure TSample.SetBuddy(AValue: TComponent);
begin
  FBuddy := AValue;
  if AValue <> nil then AValue.FreeNotification(Self);
end;

procedure TSample.Notification(AComponent: TComponent; Operation: TOperation);
begin
  inherited Notification(AComponent, Operation);
  if (Operation = opRemove) and (AComponent = FBuddy) then FBuddy := nil;
end;

procedure TSample.ReadData(Stream: TStream);
begin
  FData.Clear;
  FData.CopyFrom(Stream, Stream.Size - Stream.Position);
end;

procedure TSample.WriteData(Stream: TStream);
begin
  FData.Position := 0;
  Stream.CopyFrom(FData, FData.Size);
end;

procedure TSample.ReadNote(Reader: TReader);
begin
  FNote := Reader.ReadString;
end;

procedure TSample.WriteNote(Writer: TWriter);
begin
  Writer.WriteString(FNote);
end;

procedure TSample.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('Note', @ReadNote, @WriteNote, FNote <> '');
  Filer.DefineBinaryProperty('Data', @ReadData, @WriteData, FData.Size > 0);
end;

procedure TSample.GetChildren(Proc: TGetChildProc; Root: TComponent);
var
  I: Integer;
begin
  for I := 0 to ComponentCount - 1 do
    Proc(Components[I]);
end;

function TSample.GetChildOwner: TComponent;
begin
  Result := Self;
end;

procedure TSample.SampleClick(Sender: TObject);
begin
end;

procedure TSample.SampleChange(Sender: TObject);
begin
end;

procedure Save(const FileName: string; Root: TComponent);
var
  Bin: TMemoryStream;
  Txt: TFileStream;
begin
  Bin := TMemoryStream.Create;
  try
    Bin.WriteComponent(Root);
    Bin.SaveToFile(FileName + '.bin');
    Bin.Position := 0;
    Txt := TFileStream.Create(FileName + '.txt', fmCreate);
    try
      ObjectBinaryToText(Bin, Txt);
    finally
      Txt.Free;
    end;
  finally
    Bin.Free;
  end;
end;

procedure BinaryToText(Bin: TStream; const FileName: string);
var
  Txt: TFileStream;
begin
  Bin.Position := 0;
  Txt := TFileStream.Create(FileName, fmCreate);
  try
    ObjectBinaryToText(Bin, Txt);
  finally
    Txt.Free;
  end;
end;

{ name.src.txt -> name.frombin (ObjectTextToBinary) -> name.txt (ObjectBinaryToText) }
procedure TextToBinary(const FileName: string);
var
  Src: TFileStream;
  Bin: TMemoryStream;
begin
  Src := TFileStream.Create(FileName + '.src.txt', fmOpenRead);
  Bin := TMemoryStream.Create;
  try
    ObjectTextToBinary(Src, Bin);
    Bin.SaveToFile(FileName + '.frombin');
    BinaryToText(Bin, FileName + '.txt');
  finally
    Bin.Free;
    Src.Free;
  end;
end;

{ The value types the class library of the original writes for single,
  currency and date properties (this implementation writes every float as an
  extended), written through the low-level object writer. }
procedure SaveTypedFloats(const FileName: string);
var
  Bin: TMemoryStream;
  W: TBinaryObjectWriter;
  C: TSample;
begin
  Bin := TMemoryStream.Create;
  C := TSample.Create(nil);
  try
    C.Name := 'Typed';
    W := TBinaryObjectWriter.Create(Bin, 4096);
    try
      W.WriteSignature;
      W.BeginComponent(C, [], 0);
      W.BeginProperty('Small');
      W.WriteSingle(-3.25);
      W.EndProperty;
      W.BeginProperty('Price');
      W.WriteCurrency(1234.5678);
      W.EndProperty;
      W.BeginProperty('When');
      W.WriteDate(45366.5);
      W.EndProperty;
      W.BeginProperty('Count');
      W.WriteInteger(-200);
      W.EndProperty;
      W.BeginProperty('Big');
      W.WriteInteger(Int64(-5000000000));
      W.EndProperty;
      W.BeginProperty('Title');
      W.WriteUnicodeString(UTF8Decode('Ação €'));
      W.EndProperty;
      W.EndList;
      W.EndList;
    finally
      W.Free;
    end;
    Bin.SaveToFile(FileName + '.bin');
    { No text form from this implementation: its ObjectBinaryToText stops at
      the single value type ("Invalid property type from streamed property:
      15"), so typed.bin is checked through our own converters only. }
  finally
    C.Free;
    Bin.Free;
  end;
end;

var
  Root, Child, Grand: TSample;
  Item: TSampleItem;
  B: Byte;
  I: Integer;
begin
  RegisterClasses([TSample]);

  { Defaults only: nothing but the always-stored properties. }
  Root := TSample.Create(nil);
  Root.Name := 'Empty';
  Save('defaults', Root);
  Root.Free;

  { Every kind of property, nested owned components and a collection. }
  Root := TSample.Create(nil);
  Root.Name := 'Form1';
  Root.Tag := 7;
  Root.Count := -5;
  Root.Big := 1234567890123;
  Root.Ratio := 2.675;
  Root.Small := 1.5;
  Root.Wide := -0.1;
  Root.Price := 1234.5678;
  Root.When := EncodeDate(2024, 3, 15) + EncodeTime(13, 45, 30, 0);
  Root.Title := 'It''s a test';
  Root.Enabled := False;
  Root.Visible := True;
  Root.Kind := skHuge;
  Root.Options := [soItalic, soStrike];
  Root.Font.Name := 'Arial';
  Root.Font.Size := 12;
  Root.Font.Style := [soBold, soUnderline];
  Item := TSampleItem(Root.Items.Add);
  Item.Caption := 'First';
  Item.Width := 100;
  Item.Kind := skLarge;
  Item := TSampleItem(Root.Items.Add);
  Item.Caption := 'Second';
  Root.Note := 'defined property';
  for B := 0 to 39 do
    Root.Data.WriteByte(B * 7);
  Root.OnClick := @Root.SampleClick;
  Root.Lines.Add('first line');
  Root.Lines.Add('');
  Root.Lines.Add('it''s the third');

  Child := TSample.Create(Root);
  Child.Name := 'Child1';
  Child.Count := 300;
  Child.Big := -2;
  Child.Title := StringOfChar('x', 300);
  Child.Buddy := Root;
  Child.OnChange := @Root.SampleChange;
  Child.Kind := skNone;
  Child.Options := [];

  Grand := TSample.Create(Child);
  Grand.Name := 'Grand';
  Grand.Count := 70000;
  Grand.Ratio := 1e300;
  Grand.Small := -3.25;
  Grand.Price := -0.0001;
  Grand.When := -1.25;

  Child := TSample.Create(Root);
  Child.Name := 'Child2';
  Child.Count := -40000;
  Child.Buddy := Grand;
  Child.Title := 'line1'#13#10'line2'#9'tab';
  Root.Buddy := Child;
  Save('full', Root);
  Root.Free;

  { Text beyond ASCII: a UTF-16 string value. }
  Root := TSample.Create(nil);
  Root.Name := 'Accents';
  Root.Caption := UTF8Decode('Nota fiscal nº 1 — emissão às 10h, R$ 2,50 ção');
  Save('unicode', Root);
  Root.Free;

  { Text only the text form can say: inherited and inline objects, lists,
    identifiers, nil, large integers, and strings split with "+". }
  TextToBinary('flags');
  TextToBinary('values');
  SaveTypedFloats('typed');
  I := 0;
  if I <> 0 then
    WriteLn;
end.
