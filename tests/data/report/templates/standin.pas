{ Writes a report template with the Free Pascal class library, used as a
  black box: stand-in classes that publish what the report classes publish,
  holding a value of every kind the component stream has (integers of each
  width, a 64-bit integer, a float, identifiers, a set, Booleans, texts plain
  and beyond ASCII, a reference, nested objects, children within children).
  Build and run (from the folder that holds it):
    fpc -FE/tmp standin.pas && /tmp/standin
  It writes standin.bin (signature, the report, an end-of-list byte, as a
  template is stored) and standin.txt (its ObjectBinaryToText of the same). }
program standin;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils, Variants;

type
  TrpNoDataBehaviorType = (ndMessageOnPage, ndBlankPage, ndBlankReport, ndMessageDialog);
  TrpNoDataBehaviors = set of TrpNoDataBehaviorType;
  TrpPrintHeightType = (phStatic, phDynamic);
  TrpDataType = (dtBoolean, dtDate, dtTime, dtDateTime, dtInteger, dtSingle, dtDouble, dtExtended,
    dtCurrency, dtChar, dtString, dtMemo, dtBLOB, dtGraphic, dtVariant, dtNotKnown, dtLongint,
    dtLargeInt, dtGUID);

  TEmailSettings = class(TPersistent)
  private
    FReportFormat: string;
  published
    property ReportFormat: string read FReportFormat write FReportFormat;
  end;

  TTextSearchSettings = class(TPersistent)
  private
    FDefaultString: string;
    FEnabled: Boolean;
  published
    property DefaultString: string read FDefaultString write FDefaultString;
    property Enabled: Boolean read FEnabled write FEnabled;
  end;

  TrpDuplexType = (dpNone, dpHorizontal, dpVertical);
  TPrinterOrientation = (poPortrait, poLandscape);

  { The published values, then the page geometry in thousandths of a
    millimetre and the paper code, as defined properties. The margins and
    paper sizes in the report's units are published but never stored. }
  TPrinterSetup = class(TPersistent)
  private
    FBinName, FDocumentName, FPaperName, FPrinterName: string;
    FCollation: Boolean;
    FCopies: Integer;
    FDuplex: TrpDuplexType;
    FOrientation: TPrinterOrientation;
    procedure WriteMB(Writer: TWriter);
    procedure WriteML(Writer: TWriter);
    procedure WriteMR(Writer: TWriter);
    procedure WriteMT(Writer: TWriter);
    procedure WritePH(Writer: TWriter);
    procedure WritePW(Writer: TWriter);
    procedure WritePS(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
  public
    MarginBottom, MarginLeft, MarginRight, MarginTop, PaperHeight, PaperWidth, PaperSize: Integer;
    constructor Create;
  published
    property BinName: string read FBinName write FBinName;
    property Collation: Boolean read FCollation write FCollation default True;
    property Copies: Integer read FCopies write FCopies default 1;
    property DocumentName: string read FDocumentName write FDocumentName;
    property Duplex: TrpDuplexType read FDuplex write FDuplex default dpNone;
    property Orientation: TPrinterOrientation read FOrientation write FOrientation default poPortrait;
    property PaperName: string read FPaperName write FPaperName;
    property PrinterName: string read FPrinterName write FPrinterName;
  end;

  TOutlineSettings = class(TPersistent)
  private
    FCreateNode, FCreatePageNodes, FEnabled, FVisible: Boolean;
  published
    property CreateNode: Boolean read FCreateNode write FCreateNode;
    property CreatePageNodes: Boolean read FCreatePageNodes write FCreatePageNodes;
    property Enabled: Boolean read FEnabled write FEnabled;
    property Visible: Boolean read FVisible write FVisible;
  end;

  { What every printable writes after its published properties. }
  TPlaced = class(TComponent)
  private
    FUserName: string;
    FChildren: TList;
  protected
    procedure DefineProperties(Filer: TFiler); override;
    procedure WriteH(Writer: TWriter);
    procedure WriteL(Writer: TWriter);
    procedure WriteT(Writer: TWriter);
    procedure WriteW(Writer: TWriter);
    procedure WriteB(Writer: TWriter);
    procedure WriteG(Writer: TWriter);
  public
    mmHeight, mmLeft, mmTop, mmWidth, BandType, GroupNo: Integer;
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
  published
    property UserName: string read FUserName write FUserName;
  end;

  { The caption goes out as the report classes write texts: a plain
    string when it is ASCII, UTF-16 otherwise (the writer here would write
    a UnicodeString property as UTF-16 always). It stands right after the
    published UserName either way. }
  TrpTestLabel = class(TPlaced)
  private
    FCaption: UnicodeString;
    procedure WriteCaption(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
  public
    property Caption: UnicodeString read FCaption write FCaption;
  end;

  TrpRegion = class(TPlaced)
  private
    FStretch: Boolean;
  published
    property Stretch: Boolean read FStretch write FStretch;
  end;

  TrpPageBreak = class(TPlaced)
  private
    FShift: TComponent;
    FStretch: Boolean;
  published
    property ShiftRelativeTo: TComponent read FShift write FShift;
    property Stretch: Boolean read FStretch write FStretch;
  end;

  TBandBase = class(TComponent)
  private
    FChildren: TList;
  protected
    procedure DefineProperties(Filer: TFiler); override;
    procedure WriteO(Writer: TWriter);
    procedure WriteH(Writer: TWriter);
    procedure WriteP(Writer: TWriter);
  public
    mmBottomOffset, mmHeight, mmPrintPosition: Integer;
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
  end;

  TrpHeaderBand = class(TBandBase);
  TrpFooterBand = class(TBandBase);

  TrpDetailBand = class(TBandBase)
  private
    FPrintHeight: TrpPrintHeightType;
  published
    property PrintHeight: TrpPrintHeightType read FPrintHeight write FPrintHeight;
  end;

  { Value follows DataType as the report classes write it: texts of a
    variant as a plain string when ASCII and UTF-16 otherwise (the writer
    here would write every text variant as a wide string), any other value
    through the writer's own variant form. }
  TrpParameter = class(TComponent)
  private
    FDataType: TrpDataType;
    FValue: Variant;
    procedure WriteValue(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
  public
    property Value: Variant read FValue write FValue;
  published
    property DataType: TrpDataType read FDataType write FDataType;
  end;

  TrpParameterList = class(TComponent)
  public
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
  end;

  TrpReport = class(TComponent)
  private
    FDeviceType: string;
    FEmail: TEmailSettings;
    FPrinterSetup: TPrinterSetup;
    FTextSearch: TTextSearchSettings;
    FNoData: TrpNoDataBehaviors;
    FPageLimit: Integer;
    FOutline: TOutlineSettings;
    FVersion: string;
    FChildren: TList;
  protected
    procedure DefineProperties(Filer: TFiler); override;
    procedure WriteZero(Writer: TWriter);
    procedure WriteEmpty(Writer: TWriter);
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
  published
    property DeviceType: string read FDeviceType write FDeviceType;
    property EmailSettings: TEmailSettings read FEmail write FEmail;
    property PrinterSetup: TPrinterSetup read FPrinterSetup write FPrinterSetup;
    property TextSearchSettings: TTextSearchSettings read FTextSearch write FTextSearch;
    property NoDataBehaviors: TrpNoDataBehaviors read FNoData write FNoData default [ndBlankPage];
    property PageLimit: Integer read FPageLimit write FPageLimit default 0;
    property OutlineSettings: TOutlineSettings read FOutline write FOutline;
    property Version: string read FVersion write FVersion;
  end;

constructor TPrinterSetup.Create;
begin
  inherited Create;
  FCollation := True;
  FCopies := 1;
  FBinName := 'Default';
  FDocumentName := 'Report';
  FPaperName := 'Custom';
  FPrinterName := 'Default';
  MarginBottom := 6350;
  MarginLeft := 6350;
  MarginRight := 6350;
  MarginTop := 6350;
  PaperHeight := 297000;
  PaperWidth := 210000;
end;

procedure TPrinterSetup.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('mmMarginBottom', nil, @WriteMB, True);
  Filer.DefineProperty('mmMarginLeft', nil, @WriteML, True);
  Filer.DefineProperty('mmMarginRight', nil, @WriteMR, True);
  Filer.DefineProperty('mmMarginTop', nil, @WriteMT, True);
  Filer.DefineProperty('mmPaperHeight', nil, @WritePH, True);
  Filer.DefineProperty('mmPaperWidth', nil, @WritePW, True);
  Filer.DefineProperty('PaperSize', nil, @WritePS, True);
end;

procedure TPrinterSetup.WriteMB(Writer: TWriter); begin Writer.WriteInteger(MarginBottom); end;
procedure TPrinterSetup.WriteML(Writer: TWriter); begin Writer.WriteInteger(MarginLeft); end;
procedure TPrinterSetup.WriteMR(Writer: TWriter); begin Writer.WriteInteger(MarginRight); end;
procedure TPrinterSetup.WriteMT(Writer: TWriter); begin Writer.WriteInteger(MarginTop); end;
procedure TPrinterSetup.WritePH(Writer: TWriter); begin Writer.WriteInteger(PaperHeight); end;
procedure TPrinterSetup.WritePW(Writer: TWriter); begin Writer.WriteInteger(PaperWidth); end;
procedure TPrinterSetup.WritePS(Writer: TWriter); begin Writer.WriteInteger(PaperSize); end;

constructor TPlaced.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FChildren := TList.Create;
end;

destructor TPlaced.Destroy;
begin
  FChildren.Free;
  inherited Destroy;
end;

procedure TPlaced.GetChildren(Proc: TGetChildProc; Root: TComponent);
var
  I: Integer;
begin
  for I := 0 to FChildren.Count - 1 do
    Proc(TComponent(FChildren[I]));
end;

procedure TPlaced.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('mmHeight', nil, @WriteH, True);
  Filer.DefineProperty('mmLeft', nil, @WriteL, True);
  Filer.DefineProperty('mmTop', nil, @WriteT, True);
  Filer.DefineProperty('mmWidth', nil, @WriteW, True);
  Filer.DefineProperty('BandType', nil, @WriteB, True);
  Filer.DefineProperty('GroupNo', nil, @WriteG, True);
end;

procedure TPlaced.WriteH(Writer: TWriter); begin Writer.WriteInteger(mmHeight); end;
procedure TPlaced.WriteL(Writer: TWriter); begin Writer.WriteInteger(mmLeft); end;
procedure TPlaced.WriteT(Writer: TWriter); begin Writer.WriteInteger(mmTop); end;
procedure TPlaced.WriteW(Writer: TWriter); begin Writer.WriteInteger(mmWidth); end;
procedure TPlaced.WriteB(Writer: TWriter); begin Writer.WriteInteger(BandType); end;
procedure TPlaced.WriteG(Writer: TWriter); begin Writer.WriteInteger(GroupNo); end;

procedure TrpTestLabel.DefineProperties(Filer: TFiler);
begin
  Filer.DefineProperty('Caption', nil, @WriteCaption, FCaption <> '');
  inherited DefineProperties(Filer);
end;

procedure TrpTestLabel.WriteCaption(Writer: TWriter);
var
  I: Integer;
  Ascii: Boolean;
begin
  Ascii := True;
  for I := 1 to Length(FCaption) do
    if Ord(FCaption[I]) > 127 then Ascii := False;
  if Ascii then
    Writer.WriteString(AnsiString(FCaption))
  else
    Writer.WriteUnicodeString(FCaption);
end;

constructor TBandBase.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FChildren := TList.Create;
end;

destructor TBandBase.Destroy;
begin
  FChildren.Free;
  inherited Destroy;
end;

procedure TBandBase.GetChildren(Proc: TGetChildProc; Root: TComponent);
var
  I: Integer;
begin
  for I := 0 to FChildren.Count - 1 do
    Proc(TComponent(FChildren[I]));
end;

procedure TBandBase.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('mmBottomOffset', nil, @WriteO, True);
  Filer.DefineProperty('mmHeight', nil, @WriteH, True);
  Filer.DefineProperty('mmPrintPosition', nil, @WriteP, True);
end;

procedure TBandBase.WriteO(Writer: TWriter); begin Writer.WriteInteger(mmBottomOffset); end;
procedure TBandBase.WriteH(Writer: TWriter); begin Writer.WriteInteger(mmHeight); end;
procedure TBandBase.WriteP(Writer: TWriter); begin Writer.WriteInteger(mmPrintPosition); end;

procedure TrpParameter.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('Value', nil, @WriteValue, True);
end;

procedure TrpParameter.WriteValue(Writer: TWriter);
var
  U: UnicodeString;
  I: Integer;
  Ascii: Boolean;
begin
  if VarIsStr(FValue) then
  begin
    U := FValue;
    Ascii := True;
    for I := 1 to Length(U) do
      if Ord(U[I]) > 127 then Ascii := False;
    if Ascii then
      Writer.WriteString(AnsiString(U))
    else
      Writer.WriteUnicodeString(U);
  end
  else
    Writer.WriteVariant(FValue);
end;

procedure TrpParameterList.GetChildren(Proc: TGetChildProc; Root: TComponent);
var
  I: Integer;
begin
  for I := 0 to ComponentCount - 1 do
    Proc(Components[I]);
end;

constructor TrpReport.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FEmail := TEmailSettings.Create;
  FPrinterSetup := TPrinterSetup.Create;
  FTextSearch := TTextSearchSettings.Create;
  FOutline := TOutlineSettings.Create;
  FChildren := TList.Create;
  FNoData := [ndBlankPage];
end;

destructor TrpReport.Destroy;
begin
  FChildren.Free;
  FOutline.Free;
  FTextSearch.Free;
  FPrinterSetup.Free;
  FEmail.Free;
  inherited Destroy;
end;

procedure TrpReport.GetChildren(Proc: TGetChildProc; Root: TComponent);
var
  I: Integer;
begin
  for I := 0 to FChildren.Count - 1 do
    Proc(TComponent(FChildren[I]));
end;

procedure TrpReport.DefineProperties(Filer: TFiler);
begin
  inherited DefineProperties(Filer);
  Filer.DefineProperty('mmColumnWidth', nil, @WriteZero, True);
  Filer.DefineProperty('DataPipelineName', nil, @WriteEmpty, True);
end;

procedure TrpReport.WriteZero(Writer: TWriter);
begin
  Writer.WriteInteger(0);
end;

procedure TrpReport.WriteEmpty(Writer: TWriter);
begin
  Writer.WriteString('');
end;

function Placed(C: TPlaced; const AName, AUser: string; H, W, Kind: Integer): TPlaced;
begin
  C.Name := AName;
  C.UserName := AUser;
  C.mmHeight := H;
  C.mmWidth := W;
  C.BandType := Kind;
  C.GroupNo := -1;
  Result := C;
end;

function Band(B: TBandBase): TBandBase;
begin
  B.mmHeight := 13229;
  Result := B;
end;

function Param(List: TrpParameterList; const AName: string; AType: TrpDataType; const V: Variant): TrpParameter;
begin
  Result := TrpParameter.Create(List);
  Result.Name := AName;
  Result.DataType := AType;
  Result.Value := V;
end;

var
  Form: TComponent;
  Report: TrpReport;
  Header, Detail, Footer: TBandBase;
  Title, Item: TrpTestLabel;
  Region: TrpRegion;
  Brk: TrpPageBreak;
  Params: TrpParameterList;
  Big: Int64;
  Bin, Txt: TMemoryStream;
  Writer: TWriter;
begin
  Form := TComponent.Create(nil);
  Form.Name := 'Form1';
  Report := TrpReport.Create(Form);
  Report.Name := 'rptTodos';
  Report.DeviceType := 'Screen';
  Report.EmailSettings.ReportFormat := 'PDF';
  Report.TextSearchSettings.DefaultString := '<FindText>';
  Report.TextSearchSettings.Enabled := True;
  Report.NoDataBehaviors := [ndMessageOnPage, ndBlankReport];
  Report.PageLimit := 300;
  Report.OutlineSettings.CreateNode := True;
  Report.OutlineSettings.CreatePageNodes := True;
  Report.OutlineSettings.Enabled := True;
  Report.OutlineSettings.Visible := True;
  Report.Version := '10.02';

  Header := Band(TrpHeaderBand.Create(Form));
  Detail := Band(TrpDetailBand.Create(Form));
  TrpDetailBand(Detail).PrintHeight := phDynamic;
  Footer := Band(TrpFooterBand.Create(Form));
  Report.FChildren.Add(Header);
  Report.FChildren.Add(Detail);
  Report.FChildren.Add(Footer);

  Title := TrpTestLabel(Placed(TrpTestLabel.Create(Form), 'lblTitulo', 'lblTitulo', 4498, 17198, 0));
  Title.Caption := UnicodeString('Relat'#$00F3'rio de Notas');
  Header.FChildren.Add(Title);

  Region := TrpRegion(Placed(TrpRegion.Create(Form), 'rgnItens', 'rgnItens', 23548, 48948, 4));
  Region.Stretch := True;
  Item := TrpTestLabel(Placed(TrpTestLabel.Create(Form), 'lblItem', 'lblItem', 4498, 17198, 4));
  Item.Caption := 'Item';
  Region.FChildren.Add(Item);
  Brk := TrpPageBreak(Placed(TrpPageBreak.Create(Form), 'pbQuebra', 'pbQuebra', 3440, 197300, 4));
  Brk.ShiftRelativeTo := Region;
  Brk.Stretch := True;
  Detail.FChildren.Add(Region);
  Detail.FChildren.Add(Brk);

  Params := TrpParameterList.Create(Form);
  Params.Name := 'rpParameterList1';
  Report.FChildren.Add(Params);
  Param(Params, 'Pequeno', dtInteger, 7);
  Param(Params, 'Medio', dtInteger, 30000);
  Param(Params, 'Grande', dtInteger, 70000);
  Big := 50000000000;
  Param(Params, 'Enorme', dtLargeInt, Big);
  Param(Params, 'Taxa', dtDouble, 2.5);
  Param(Params, 'Ativo', dtBoolean, True);
  Param(Params, 'Nome', dtString, 'abc');
  Param(Params, 'Cidade', dtString, UnicodeString('S'#$00E3'o Paulo'));

  Bin := TMemoryStream.Create;
  Txt := TMemoryStream.Create;
  try
    Writer := TWriter.Create(Bin, 1024);
    try
      Writer.Root := Form;
      Writer.WriteSignature;
      Writer.WriteComponent(Report);
      Writer.WriteListEnd;
    finally
      Writer.Free;
    end;
    Bin.SaveToFile('standin.bin');
    Bin.Position := 0;
    ObjectBinaryToText(Bin, Txt);
    Txt.SaveToFile('standin.txt');
  finally
    Txt.Free;
    Bin.Free;
  end;
  Form.Free;
end.
