{ Writes the issued-invoices listing (Nota403) as a report template with the
  Free Pascal class library, used as a black box: stand-in classes publishing
  what the report classes publish, in their order, holding the layout the
  listing builds in code: the page, the four bands and their heights, the
  header's boxes, labels and system variables, the column titles and rules,
  the row's database texts, stripe and rules, the totals line, labels and
  variables, and the footer's credit line, with their fonts and positions in
  thousandths of a millimetre.
  Build and run (from the folder that holds it):
    fpc -FE/tmp nota403.pas && /tmp/nota403
  It writes nota403.bin (signature, the report, an end-of-list byte) and
  nota403.txt (its ObjectBinaryToText of the same). }
program nota403;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils;

type
  TColor = type Integer;
  TFontCharset = type Integer;
  TFontStyle = (fsBold, fsItalic, fsUnderline, fsStrikeOut);
  TFontStyles = set of TFontStyle;
  TFontPitch = (fpDefault, fpVariable, fpFixed);
  TPenMode = (pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen,
    pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor);
  TShapeType = (stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle);
  TrpAnchorType = (atLeft, atTop, atRight, atBottom);
  TrpAnchors = set of TrpAnchorType;
  TrpBorderPositionType = (bpLeft, bpTop, bpRight, bpBottom);
  TrpBorderPositions = set of TrpBorderPositionType;
  TrpLineStyleType = (lsSingle, lsDouble);
  TrpVarEventType = (veTraversal, veDataPipelineTraversal, vePageStart, vePageEnd, veColumnStart, veColumnEnd,
    veReportStart, veReportEnd, veGroupStart, veGroupEnd, veGroupBeforeHeader, veGroupBeforeFooter);
  TBrushStyle = (bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross);
  TPenStyle = (psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame);
  TrpTextAlignment = (taLeftJustified, taRightJustified, taCentered, taFullJustified);
  TrpLinePositionType = (lpTop, lpBottom, lpLeft, lpRight);
  TrpPassSettingType = (psOnePass, psTwoPass);
  TrpFileType = (ftComma, ftTab, ftFixedLength, ftCustom);
  TrpUnitType = (utScreenPixels, utInches, utMillimeters, utPrinterPixels, utMMThousandths);
  TrpLanguageType = (lgDefault, lgDanish, lgDutch, lgEnglish, lgFrench, lgGerman, lgItalian,
    lgPortugueseBrazil, lgPortuguese, lgSpanish, lgSpanishMexico, lgSwedish, lgNorwegian, lgCustom);
  TrpPrintHeightType = (phStatic, phDynamic);
  TrpColumnTraversalType = (ctTopToBottom, ctLeftToRight);
  TrpNoDataBehaviorType = (ndMessageOnPage, ndBlankPage, ndBlankReport, ndMessageDialog);
  TrpNoDataBehaviors = set of TrpNoDataBehaviorType;
  TrpVarType = (vtDate, vtDateTime, vtDocumentName, vtPrintDateTime, vtPageCount, vtPageSet, vtPageSetDesc,
    vtPageNo, vtPageNoDesc, vtTime);
  TrpDataType = (dtBoolean, dtDate, dtTime, dtDateTime, dtInteger, dtSingle, dtDouble, dtExtended,
    dtCurrency, dtChar, dtString, dtMemo, dtBLOB, dtGraphic, dtVariant, dtNotKnown, dtLongint,
    dtLargeInt, dtGUID);

  TFont = class(TPersistent)
  private
    FCharset: TFontCharset;
    FColor: TColor;
    FHeight: Integer;
    FName: string;
    FPitch: TFontPitch;
    FSize: Integer;
    FStyle: TFontStyles;
  published
    property Charset: TFontCharset read FCharset write FCharset;
    property Color: TColor read FColor write FColor;
    property Height: Integer read FHeight write FHeight stored False;
    property Name: string read FName write FName;
    property Pitch: TFontPitch read FPitch write FPitch default fpDefault;
    property Size: Integer read FSize write FSize;
    property Style: TFontStyles read FStyle write FStyle;
  end;

  TBrush = class(TPersistent)
  private
    FColor: TColor;
    FStyle: TBrushStyle;
  public
    constructor Create;
  published
    property Color: TColor read FColor write FColor default $FFFFFF;
    property Style: TBrushStyle read FStyle write FStyle default bsSolid;
  end;

  TPen = class(TPersistent)
  private
    FColor: TColor;
    FMode: TPenMode;
    FStyle: TPenStyle;
    FWidth: Integer;
  public
    constructor Create;
  published
    property Color: TColor read FColor write FColor default 0;
    property Mode: TPenMode read FMode write FMode default pmCopy;
    property Style: TPenStyle read FStyle write FStyle default psSolid;
    property Width: Integer read FWidth write FWidth default 1;
  end;

  TrpBorder = class(TPersistent)
  private
    FBorderPositions: TrpBorderPositions;
    FColor: TColor;
    FStyle: TPenStyle;
    FVisible: Boolean;
    FWeight: Single;
  public
    constructor Create;
  published
    property BorderPositions: TrpBorderPositions read FBorderPositions write FBorderPositions default [];
    property Color: TColor read FColor write FColor default 0;
    property Style: TPenStyle read FStyle write FStyle default psSolid;
    property Visible: Boolean read FVisible write FVisible default False;
    property Weight: Single read FWeight write FWeight;
  end;

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

  TOutlineSettings = class(TPersistent)
  private
    FCreateNode, FCreatePageNodes, FEnabled, FVisible: Boolean;
  published
    property CreateNode: Boolean read FCreateNode write FCreateNode;
    property CreatePageNodes: Boolean read FCreatePageNodes write FCreatePageNodes;
    property Enabled: Boolean read FEnabled write FEnabled;
    property Visible: Boolean read FVisible write FVisible;
  end;

  TrpDuplexType = (dpNone, dpHorizontal, dpVertical);
  TPrinterOrientation = (poPortrait, poLandscape);

  { The published values, then the page geometry in thousandths of a
    millimetre and the paper code, as defined properties. }
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

  { What every printable writes after its published properties. }
  TPlaced = class(TComponent)
  private
    FUserName: string;
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
  published
    property UserName: string read FUserName write FUserName;
  end;

  TCustomGraphic = class(TPlaced)
  private
    FBrush: TBrush;
    FPen: TPen;
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
  published
    property Brush: TBrush read FBrush write FBrush;
    property Pen: TPen read FPen write FPen;
  end;

  TrpShape = class(TCustomGraphic)
  private
    FAnchors: TrpAnchors;
    FOnClick, FOnCreate: TNotifyEvent;
    FParentHeight, FParentWidth, FReprint, FStretch, FVisible: Boolean;
    FShape: TShapeType;
  public
    constructor Create(AOwner: TComponent); override;
  published
    property Anchors: TrpAnchors read FAnchors write FAnchors default [atLeft, atTop];
    property OnDrawCommandClick: TNotifyEvent read FOnClick write FOnClick;
    property OnDrawCommandCreate: TNotifyEvent read FOnCreate write FOnCreate;
    property ParentHeight: Boolean read FParentHeight write FParentHeight default False;
    property ParentWidth: Boolean read FParentWidth write FParentWidth default False;
    property ReprintOnOverFlow: Boolean read FReprint write FReprint default False;
    property Shape: TShapeType read FShape write FShape default stRectangle;
    property StretchWithParent: Boolean read FStretch write FStretch default False;
    property Visible: Boolean read FVisible write FVisible default True;
  end;

  TrpLine = class(TCustomGraphic)
  private
    FAnchors: TrpAnchors;
    FBorder: TrpBorder;
    FOnClick, FOnCreate: TNotifyEvent;
    FParentHeight, FParentWidth, FReprint, FStretch, FVisible: Boolean;
    FPosition: TrpLinePositionType;
    FStyle: TrpLineStyleType;
    FWeight: Single;
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
  published
    property Anchors: TrpAnchors read FAnchors write FAnchors default [atLeft, atTop];
    property Border: TrpBorder read FBorder write FBorder;
    property OnDrawCommandClick: TNotifyEvent read FOnClick write FOnClick;
    property OnDrawCommandCreate: TNotifyEvent read FOnCreate write FOnCreate;
    property ParentHeight: Boolean read FParentHeight write FParentHeight default False;
    property ParentWidth: Boolean read FParentWidth write FParentWidth default False;
    property Position: TrpLinePositionType read FPosition write FPosition default lpTop;
    property ReprintOnOverFlow: Boolean read FReprint write FReprint default False;
    property StretchWithParent: Boolean read FStretch write FStretch default False;
    property Style: TrpLineStyleType read FStyle write FStyle default lsSingle;
    property Visible: Boolean read FVisible write FVisible default True;
    property Weight: Single read FWeight write FWeight;
  end;

  TCustomText = class(TPlaced)
  private
    FAngle, FSaveLength, FSaveOrder: Integer;
    FCharWrap, FSave, FReprint: Boolean;
  public
    constructor Create(AOwner: TComponent); override;
  published
    property Angle: Integer read FAngle write FAngle default 0;
    property CharWrap: Boolean read FCharWrap write FCharWrap default False;
    property Save: Boolean read FSave write FSave default False;
    property SaveLength: Integer read FSaveLength write FSaveLength default 0;
    property SaveOrder: Integer read FSaveOrder write FSaveOrder default -1;
    property ReprintOnOverFlow: Boolean read FReprint write FReprint default False;
  end;

  { The look every text control publishes. Whether a text sizes itself by
    default differs by class: each class says so in its constructor and the
    size is stored only when it differs. }
  TTextLook = class(TCustomText)
  private
    FAnchors: TrpAnchors;
    FAutoSize: Boolean;
    FBorder: TrpBorder;
    FColor: TColor;
    FFont: TFont;
    FOnClick, FOnCreate: TNotifyEvent;
    FTextAlignment: TrpTextAlignment;
    FTransparent, FVisible, FWordWrap: Boolean;
    function AutoSizeStored: Boolean;
  protected
    AutoSizeDefault: Boolean;
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
  published
    property Anchors: TrpAnchors read FAnchors write FAnchors default [atLeft, atTop];
    property AutoSize: Boolean read FAutoSize write FAutoSize stored AutoSizeStored;
    property Border: TrpBorder read FBorder write FBorder;
    property Color: TColor read FColor write FColor default $FFFFFF;
    property Font: TFont read FFont write FFont;
    property OnDrawCommandClick: TNotifyEvent read FOnClick write FOnClick;
    property OnDrawCommandCreate: TNotifyEvent read FOnCreate write FOnCreate;
    property TextAlignment: TrpTextAlignment read FTextAlignment write FTextAlignment default taLeftJustified;
    property Transparent: Boolean read FTransparent write FTransparent default False;
    property Visible: Boolean read FVisible write FVisible default True;
    property WordWrap: Boolean read FWordWrap write FWordWrap default False;
  end;

  { The lengths in the report's units: published, never stored. }
  TSizedText = class(TTextLook)
  private
    FHeight, FLeft, FTop, FWidth: Single;
  published
    property Height: Single read FHeight write FHeight stored False;
    property Left: Single read FLeft write FLeft stored False;
    property Top: Single read FTop write FTop stored False;
    property Width: Single read FWidth write FWidth stored False;
  end;

  { The caption follows the published values, before the placement. }
  TrpLabel = class(TSizedText)
  private
    FCaption: UnicodeString;
    procedure WriteCaption(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
  public
    property Caption: UnicodeString read FCaption write FCaption;
  end;

  TrpDBText = class(TSizedText)
  private
    FBlankWhenZero, FParentDataPipeline, FReprintOnSubsequent, FSuppress: Boolean;
    FDataField, FDisplayFormat, FPipeline: string;
    procedure WritePipeline(Writer: TWriter);
  protected
    procedure DefineProperties(Filer: TFiler); override;
  public
    constructor Create(AOwner: TComponent); override;
    property DataPipelineName: string read FPipeline write FPipeline;
  published
    property BlankWhenZero: Boolean read FBlankWhenZero write FBlankWhenZero default False;
    property DataField: string read FDataField write FDataField;
    property ParentDataPipeline: Boolean read FParentDataPipeline write FParentDataPipeline default True;
    property ReprintOnSubsequent: Boolean read FReprintOnSubsequent write FReprintOnSubsequent default False;
    property SuppressRepeatedValues: Boolean read FSuppress write FSuppress default False;
    property DisplayFormat: string read FDisplayFormat write FDisplayFormat;
  end;

  TCustomVariable = class(TTextLook)
  private
    FDisplayFormat: string;
  published
    property DisplayFormat: string read FDisplayFormat write FDisplayFormat;
  end;

  TrpVariable = class(TCustomVariable)
  private
    FCalcType, FResetType: TrpVarEventType;
    FCalcOrder: Integer;
    FDataType: TrpDataType;
    FLookAhead, FBlankWhenZero: Boolean;
  public
    constructor Create(AOwner: TComponent); override;
  published
    property CalcType: TrpVarEventType read FCalcType write FCalcType default veTraversal;
    property ResetType: TrpVarEventType read FResetType write FResetType default veReportEnd;
    property CalcOrder: Integer read FCalcOrder write FCalcOrder default -1;
    property DataType: TrpDataType read FDataType write FDataType default dtString;
    property LookAhead: Boolean read FLookAhead write FLookAhead default False;
    property BlankWhenZero: Boolean read FBlankWhenZero write FBlankWhenZero default False;
  end;

  TrpSystemVariable = class(TCustomVariable)
  private
    FVarType: TrpVarType;
  published
    property VarType: TrpVarType read FVarType write FVarType default vtDate;
  end;

  TBandBase = class(TComponent)
  private
    FChildren: TList;
    FHeight, FBottomOffset, FPrintPosition: Single;
    FSave, FVisible: Boolean;
    FPrintHeight: TrpPrintHeightType;
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
  published
    property Height: Single read FHeight write FHeight stored False;
    property Save: Boolean read FSave write FSave default False;
    property Visible: Boolean read FVisible write FVisible default True;
    property BottomOffset: Single read FBottomOffset write FBottomOffset stored False;
    property PrintHeight: TrpPrintHeightType read FPrintHeight write FPrintHeight default phStatic;
    property PrintPosition: Single read FPrintPosition write FPrintPosition stored False;
  end;

  TPageBand = class(TBandBase)
  private
    FPrintOnFirstPage, FPrintOnLastPage: Boolean;
  public
    constructor Create(AOwner: TComponent); override;
  published
    property PrintOnFirstPage: Boolean read FPrintOnFirstPage write FPrintOnFirstPage default True;
    property PrintOnLastPage: Boolean read FPrintOnLastPage write FPrintOnLastPage default True;
  end;

  TrpHeaderBand = class(TPageBand);
  TrpFooterBand = class(TPageBand);

  TrpSummaryBand = class(TBandBase)
  private
    FNewPage: Boolean;
  published
    property NewPage: Boolean read FNewPage write FNewPage default False;
  end;

  TrpDetailBand = class(TBandBase)
  private
    FBandsPerRecord, FPrintCount: Integer;
    FColumnTraversal: TrpColumnTraversalType;
  public
    constructor Create(AOwner: TComponent); override;
  published
    property BandsPerRecord: Integer read FBandsPerRecord write FBandsPerRecord default 1;
    property ColumnTraversal: TrpColumnTraversalType read FColumnTraversal write FColumnTraversal
      default ctTopToBottom;
    property PrintCount: Integer read FPrintCount write FPrintCount default 0;
  end;

  { The report's scalar settings in the report classes' order; the nested
    settings objects this layout leaves at their defaults (background
    printing, PDF, preview form, column positions, the template's own
    settings) are not stood in for. }
  TrpReport = class(TComponent)
  private
    FArchiveFileName, FDeviceType, FTextFileName: string;
    FEmail: TEmailSettings;
    FLanguage: TrpLanguageType;
    FModalCancelDialog, FModalPreview, FSavePrinterSetup, FShowCancelDialog, FShowPrintDialog: Boolean;
    FPrinterSetup: TPrinterSetup;
    FTextFileType: TrpFileType;
    FTextSearch: TTextSearchSettings;
    FAutoStop, FSaveAsTemplate, FCachePages: Boolean;
    FColumns, FPageLimit: Integer;
    FColumnWidth: Single;
    FNoData: TrpNoDataBehaviors;
    FPassSetting: TrpPassSettingType;
    FUnits: TrpUnitType;
    FOutline: TOutlineSettings;
    FVersion: string;
    FPipeline: string;
    FChildren: TList;
  protected
    procedure DefineProperties(Filer: TFiler); override;
    procedure WriteVersion(Writer: TWriter);
    procedure WriteZero(Writer: TWriter);
    procedure WritePipeline(Writer: TWriter);
  public
    constructor Create(AOwner: TComponent); override;
    destructor Destroy; override;
    procedure GetChildren(Proc: TGetChildProc; Root: TComponent); override;
    property Version: string read FVersion write FVersion;
  published
    property ArchiveFileName: string read FArchiveFileName write FArchiveFileName;
    property DeviceType: string read FDeviceType write FDeviceType;
    property EmailSettings: TEmailSettings read FEmail write FEmail;
    property Language: TrpLanguageType read FLanguage write FLanguage default lgDefault;
    property ModalCancelDialog: Boolean read FModalCancelDialog write FModalCancelDialog default True;
    property ModalPreview: Boolean read FModalPreview write FModalPreview default True;
    property PrinterSetup: TPrinterSetup read FPrinterSetup write FPrinterSetup;
    property SavePrinterSetup: Boolean read FSavePrinterSetup write FSavePrinterSetup default False;
    property ShowCancelDialog: Boolean read FShowCancelDialog write FShowCancelDialog default True;
    property ShowPrintDialog: Boolean read FShowPrintDialog write FShowPrintDialog default True;
    property TextFileName: string read FTextFileName write FTextFileName;
    property TextFileType: TrpFileType read FTextFileType write FTextFileType default ftComma;
    property TextSearchSettings: TTextSearchSettings read FTextSearch write FTextSearch;
    property AutoStop: Boolean read FAutoStop write FAutoStop default True;
    property Columns: Integer read FColumns write FColumns default 1;
    property ColumnWidth: Single read FColumnWidth write FColumnWidth stored False;
    property NoDataBehaviors: TrpNoDataBehaviors read FNoData write FNoData default [ndBlankPage];
    property PageLimit: Integer read FPageLimit write FPageLimit default 0;
    property PassSetting: TrpPassSettingType read FPassSetting write FPassSetting default psOnePass;
    property SaveAsTemplate: Boolean read FSaveAsTemplate write FSaveAsTemplate default False;
    property Units: TrpUnitType read FUnits write FUnits default utInches;
    property CachePages: Boolean read FCachePages write FCachePages default False;
    property OutlineSettings: TOutlineSettings read FOutline write FOutline;
  end;

const
  Colors: array[0..1] of TIdentMapEntry = ((Value: 0; Name: 'clBlack'), (Value: $FFFFFF; Name: 'clWhite'));
  Charsets: array[0..1] of TIdentMapEntry = ((Value: 0; Name: 'ANSI_CHARSET'), (Value: 1; Name: 'DEFAULT_CHARSET'));

function ColorToIdent(Int: Longint; var Ident: string): Boolean;
begin
  Result := IntToIdent(Int, Ident, Colors);
end;

function IdentToColor(const Ident: string; var Int: Longint): Boolean;
begin
  Result := IdentToInt(Ident, Int, Colors);
end;

function CharsetToIdent(Int: Longint; var Ident: string): Boolean;
begin
  Result := IntToIdent(Int, Ident, Charsets);
end;

function IdentToCharset(const Ident: string; var Int: Longint): Boolean;
begin
  Result := IdentToInt(Ident, Int, Charsets);
end;

{ A text goes out as the report classes write texts: a plain string when it
  is ASCII, UTF-16 otherwise (the writer here would write a UnicodeString
  property as UTF-16 always). }
procedure WriteText(Writer: TWriter; const S: UnicodeString);
var
  I: Integer;
  Ascii: Boolean;
begin
  Ascii := True;
  for I := 1 to Length(S) do
    if Ord(S[I]) > 127 then Ascii := False;
  if Ascii then
    Writer.WriteString(AnsiString(S))
  else
    Writer.WriteUnicodeString(S);
end;

constructor TBrush.Create;
begin
  inherited Create;
  FColor := $FFFFFF;
end;

constructor TPen.Create;
begin
  inherited Create;
  FMode := pmCopy;
  FWidth := 1;
end;

constructor TrpBorder.Create;
begin
  inherited Create;
  FWeight := 1.0;
end;

constructor TPrinterSetup.Create;
begin
  inherited Create;
  FCollation := True;
  FCopies := 1;
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

constructor TCustomGraphic.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FBrush := TBrush.Create;
  FPen := TPen.Create;
end;

destructor TCustomGraphic.Destroy;
begin
  FPen.Free;
  FBrush.Free;
  inherited Destroy;
end;

constructor TrpShape.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FAnchors := [atLeft, atTop];
  FVisible := True;
end;

constructor TrpLine.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FAnchors := [atLeft, atTop];
  FBorder := TrpBorder.Create;
  FVisible := True;
end;

destructor TrpLine.Destroy;
begin
  FBorder.Free;
  inherited Destroy;
end;

constructor TCustomText.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FSaveOrder := -1;
end;

constructor TTextLook.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FAnchors := [atLeft, atTop];
  FBorder := TrpBorder.Create;
  FColor := $FFFFFF;
  FFont := TFont.Create;
  FVisible := True;
  AutoSizeDefault := True;
  FAutoSize := True;
end;

destructor TTextLook.Destroy;
begin
  FFont.Free;
  FBorder.Free;
  inherited Destroy;
end;

function TTextLook.AutoSizeStored: Boolean;
begin
  Result := FAutoSize <> AutoSizeDefault;
end;

constructor TrpDBText.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  AutoSizeDefault := False;
  FAutoSize := False;
  FParentDataPipeline := True;
end;

constructor TrpVariable.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FResetType := veReportEnd;
  FCalcOrder := -1;
  FDataType := dtString;
end;

procedure TrpLabel.DefineProperties(Filer: TFiler);
begin
  Filer.DefineProperty('Caption', nil, @WriteCaption, FCaption <> '');
  inherited DefineProperties(Filer);
end;

procedure TrpLabel.WriteCaption(Writer: TWriter);
begin
  WriteText(Writer, FCaption);
end;

procedure TrpDBText.DefineProperties(Filer: TFiler);
begin
  Filer.DefineProperty('DataPipelineName', nil, @WritePipeline, FPipeline <> '');
  inherited DefineProperties(Filer);
end;

procedure TrpDBText.WritePipeline(Writer: TWriter);
begin
  Writer.WriteString(FPipeline);
end;

constructor TBandBase.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FChildren := TList.Create;
  FVisible := True;
end;

constructor TPageBand.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FPrintOnFirstPage := True;
  FPrintOnLastPage := True;
end;

constructor TrpDetailBand.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FBandsPerRecord := 1;
  FColumnTraversal := ctTopToBottom;
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

constructor TrpReport.Create(AOwner: TComponent);
begin
  inherited Create(AOwner);
  FModalCancelDialog := True;
  FModalPreview := True;
  FShowCancelDialog := True;
  FShowPrintDialog := True;
  FAutoStop := True;
  FColumns := 1;
  FUnits := utInches;
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
  Filer.DefineProperty('Version', nil, @WriteVersion, True);
  Filer.DefineProperty('mmColumnWidth', nil, @WriteZero, True);
  Filer.DefineProperty('DataPipelineName', nil, @WritePipeline, True);
end;

procedure TrpReport.WriteVersion(Writer: TWriter);
begin
  Writer.WriteString(FVersion);
end;

procedure TrpReport.WriteZero(Writer: TWriter);
begin
  Writer.WriteInteger(0);
end;

procedure TrpReport.WritePipeline(Writer: TWriter);
begin
  Writer.WriteString(FPipeline);
end;

var
  Form: TComponent;
  Report: TrpReport;
  Header, Detail, Footer, Summary: TBandBase;

{ Thousandths of a millimetre from millimetres with one decimal. }
function mm(Tenths: Integer): Integer;
begin
  Result := Tenths * 100;
end;

procedure Place(C: TPlaced; Band: TBandBase; const AName: string; Left, Top, Width, Height: Integer);
begin
  C.Name := AName;
  C.UserName := AName;
  C.mmLeft := mm(Left);
  C.mmTop := mm(Top);
  C.mmWidth := mm(Width);
  C.mmHeight := mm(Height);
  if Band = Header then C.BandType := 0
  else if Band = Detail then C.BandType := 4
  else if Band = Footer then C.BandType := 8
  else C.BandType := 7;
  C.GroupNo := -1;
  Band.FChildren.Add(C);
end;

procedure Arial(Look: TTextLook; Size: Integer; Bold: Boolean);
begin
  Look.Border.Weight := 1.0;
  Look.Font.Charset := 1;
  Look.Font.Color := 0;
  Look.Font.Name := 'Arial';
  Look.Font.Size := Size;
  if Bold then Look.Font.Style := [fsBold] else Look.Font.Style := [];
  Look.Transparent := True;
end;

function Box(Band: TBandBase; const AName: string; Left, Top, Width, Height: Integer): TrpShape;
begin
  Result := TrpShape.Create(Form);
  Place(Result, Band, AName, Left, Top, Width, Height);
end;

function Rule(Band: TBandBase; const AName: string; Left, Top, Height: Integer): TrpLine;
begin
  Result := TrpLine.Create(Form);
  Place(Result, Band, AName, Left, Top, 3, Height);
  Result.Brush.Style := bsClear;
  Result.Position := lpLeft;
  Result.Weight := 0.75;
end;

function Lbl(Band: TBandBase; const AName: string; const ACaption: UnicodeString; Left, Top, Width: Integer;
  Align: TrpTextAlignment; Size: Integer; Bold: Boolean): TrpLabel;
begin
  Result := TrpLabel.Create(Form);
  Place(Result, Band, AName, Left, Top, Width, 42);
  Result.AutoSize := False;
  Arial(Result, Size, Bold);
  Result.TextAlignment := Align;
  Result.Caption := ACaption;
end;

function Fld(const AName, AField, AFormat: string; Left, Top, Width: Integer; Align: TrpTextAlignment;
  Whole: Boolean): TrpDBText;
begin
  Result := TrpDBText.Create(Form);
  Place(Result, Detail, AName, Left, Top, Width, 42);
  Result.AutoSize := Whole;
  Arial(Result, 10, False);
  Result.TextAlignment := Align;
  Result.DataField := AField;
  Result.DisplayFormat := AFormat;
  Result.DataPipelineName := 'rpDBPipeline1';
end;

procedure SysVar(const AName: string; Top: Integer; Kind: TrpVarType);
var
  V: TrpSystemVariable;
begin
  V := TrpSystemVariable.Create(Form);
  Place(V, Header, AName, 1606, Top, 339, 42);
  V.AutoSize := False;
  Arial(V, 10, False);
  V.TextAlignment := taRightJustified;
  V.VarType := Kind;
end;

procedure Total(const AName, AFormat: string; Left, Order: Integer);
var
  V: TrpVariable;
begin
  V := TrpVariable.Create(Form);
  Place(V, Summary, AName, Left, 13, 172, 42);
  V.AutoSize := True;
  Arial(V, 10, False);
  V.TextAlignment := taRightJustified;
  V.DisplayFormat := AFormat;
  V.CalcOrder := Order;
  V.DataType := dtDouble;
end;

const
  Titles: array[1..8] of UnicodeString = ('S'#$00E9'rie', 'NF', 'Emiss'#$00E3'o', 'Cliente', 'Total Nota',
    'Total ICMS', 'Peso Bruto', 'Situa'#$00E7#$00E3'o');
  TitleLefts: array[1..8] of Integer = (40, 151, 347, 534, 1169, 1360, 1556, 1752);
  TitleRules: array[1..7] of Integer = (135, 328, 519, 1151, 1347, 1545, 1738);
  RowRules: array[1..9] of Integer = (24, 135, 328, 519, 1151, 1347, 1545, 1738, 1958);

var
  I: Integer;
  Zebra: TrpShape;
  Line: TrpLine;
  Bin, Txt: TMemoryStream;
  Writer: TWriter;
begin
  RegisterIntegerConsts(TypeInfo(TColor), @IdentToColor, @ColorToIdent);
  RegisterIntegerConsts(TypeInfo(TFontCharset), @IdentToCharset, @CharsetToIdent);

  Form := TComponent.Create(nil);
  Form.Name := 'Form1';
  Report := TrpReport.Create(Form);
  Report.Name := 'rpReport';
  Report.DeviceType := 'Screen';
  Report.EmailSettings.ReportFormat := 'PDF';
  with Report.PrinterSetup do
  begin
    BinName := 'Default';
    DocumentName := 'Report';
    PaperName := 'A4';
    PrinterName := 'Default';
    MarginBottom := 6350;
    MarginLeft := 6350;
    MarginRight := 6350;
    MarginTop := 6350;
    PaperHeight := 297000;
    PaperWidth := 210000;
    PaperSize := 9;
  end;
  Report.TextSearchSettings.DefaultString := '<FindText>';
  Report.AutoStop := False;
  Report.PassSetting := psTwoPass;
  Report.OutlineSettings.CreateNode := True;
  Report.OutlineSettings.CreatePageNodes := True;
  Report.Version := '10.02';
  Report.FPipeline := 'rpDBPipeline1';

  Header := TrpHeaderBand.Create(Form);
  Header.mmHeight := mm(241);
  Detail := TrpDetailBand.Create(Form);
  Detail.mmHeight := mm(45);
  Footer := TrpFooterBand.Create(Form);
  Footer.mmHeight := mm(58);
  Summary := TrpSummaryBand.Create(Form);
  Summary.mmHeight := mm(77);
  Report.FChildren.Add(Header);
  Report.FChildren.Add(Detail);
  Report.FChildren.Add(Footer);
  Report.FChildren.Add(Summary);

  { The page header. }
  Box(Header, 'rpShape1', 24, 11, 1937, 164);
  Box(Header, 'rpShape2', 24, 177, 1937, 63);
  Lbl(Header, 'lblEmitente', '', 257, 24, 1545, taCentered, 10, True);
  Lbl(Header, 'rpLabel14', 'Sys: OSKE', 37, 24, 175, taLeftJustified, 10, False);
  Lbl(Header, 'rpLabel13', 'Prg: NOTA403', 34, 79, 231, taLeftJustified, 10, False);
  Lbl(Header, 'lblUsuario', 'Usu'#$00E1'rio: ', 34, 127, 131, taLeftJustified, 10, False).AutoSize := True;
  Lbl(Header, 'lblTitulo', '', 415, 74, 1154, taCentered, 10, False);
  Lbl(Header, 'lblClassificacao', '', 415, 122, 1154, taCentered, 10, False);
  SysVar('rpSystemVariable2', 74, vtPageSetDesc);
  SysVar('rpSystemVariable1', 122, vtPrintDateTime);
  for I := 1 to 8 do
    Lbl(Header, 'lblColuna' + IntToStr(I), Titles[I], TitleLefts[I], 191, 180, taLeftJustified, 10, False);
  for I := 1 to 7 do
    Rule(Header, 'rpLineTitulo' + IntToStr(I), TitleRules[I], 180, 61);

  { The row. }
  Zebra := Box(Detail, 'PZebrado', 24, 0, 1939, 48);
  Zebra.Brush.Color := $E0E0E0;
  Zebra.Pen.Style := psClear;
  Zebra.Visible := False;
  Fld('rpDBText1', 'Id_Serie_Documento', '', 40, 3, 82, taRightJustified, False);
  Fld('rpDBText2', 'Id_Nota_Fiscal', '000,000', 148, 3, 148, taLeftJustified, False);
  Lbl(Detail, 'lblAsterisco', '', 302, 3, 24, taLeftJustified, 10, False);
  Fld('rpDBText3', 'Data_Emissao', '', 341, 3, 172, taLeftJustified, True);
  Fld('rpDBText4', 'Nome', '', 532, 3, 598, taLeftJustified, False);
  Fld('rpDBText7', 'Valor_Total_Nota', '##,###,###,##0.00', 1164, 3, 172, taRightJustified, True);
  Fld('rpDBText6', 'Valor_ICMS', '###,###,##0.00', 1363, 3, 172, taRightJustified, True);
  Fld('rpDBText8', 'Peso_Bruto', '###,##0.000', 1556, 3, 172, taRightJustified, True);
  Fld('rpDBText9', 'Situacao_NFE', '', 1754, 3, 193, taLeftJustified, False);
  for I := 1 to 9 do
    Rule(Detail, 'rpLineDetalhe' + IntToStr(I), RowRules[I], 0, 45);

  { The page footer's credit line. }
  Lbl(Footer, 'lblCredito', '', 29, 5, 1931, taRightJustified, 8, False);

  { The totals. }
  Line := TrpLine.Create(Form);
  Place(Line, Summary, 'rpLine17', 24, 0, 1937, 3);
  Line.Brush.Style := bsClear;
  Line.Weight := 0.75;
  Lbl(Summary, 'rpLabel10', '* N'#$00E3'o s'#$00E3'o consideradas na totaliza'#$00E7#$00E3'o', 37, 19, 546,
    taLeftJustified, 9, False);
  Lbl(Summary, 'rpLabel5', 'TOTAIS', 997, 16, 127, taLeftJustified, 10, False);
  Total('vValor_Total_Nota', '##,###,###,##0.00', 1164, 0);
  Total('vValor_ICMS', '##,###,###,##0.00', 1363, 1);
  Total('vPeso_Bruto', '###,##0.000', 1556, 2);

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
    Bin.SaveToFile('nota403.bin');
    Bin.Position := 0;
    ObjectBinaryToText(Bin, Txt);
    Txt.SaveToFile('nota403.txt');
  finally
    Txt.Free;
    Bin.Free;
  end;
  Form.Free;
end.
