{ The peer of the listing benchmark: the issued-invoices listing built with
  FPReport (fcl-report) over an fcl-db memory dataset holding the same rows
  as bench_listing_ours (same generator, same seed), two passes, A4, pages
  kept in memory, nothing exported. Timed from the run request to the last
  page; loading the rows is not timed.

    listing_peer ROWS REPEATS FONTDIR

  Prints the same "key value" lines as our side. }
program listing_peer;

{$mode objfpc}{$H+}

uses
  SysUtils, Classes, DB, BufDataset, fpTTF, fpReport, fpReportDB;

const
  Nomes: array[0..7] of string = ('Ana Comércio Ltda', 'Bruno & Filhos', 'Carla Distribuidora',
    'Drogaria São João', 'Eletro Ávila ME', 'Ferragens Íris', 'Gráfica União', 'Hortifruti Conceição');
  Situacoes: array[0..3] of string = ('Autorizada', 'Autorizada', 'Cancelada', 'Em Digitação');
  Cinza = $E0E0E0;

type
  TListing = class
    Report: TFPReport;
    Rows: TBufDataset;
    Data: TFPReportDatasetData;
    Detail: TFPReportDataBand;
    Asterisco, TotNota, TotIcms, TotPeso: TFPReportMemo;
    Counter, LastId: Integer;
    // Pages of the last pass: its page headers. The report's own page count
    // holds one page more than it prints.
    Pages: Integer;
    SumNota, SumIcms, SumPeso: Double;
    procedure StartPass;
    procedure HeaderBeforePrint(Sender: TFPReportElement);
    procedure DetailBeforePrint(Sender: TFPReportElement);
    procedure SummaryBeforePrint(Sender: TFPReportElement);
    procedure Build;
  end;

var
  Seed: LongWord = 20261207;

function NextRandom(Range: LongWord): LongWord;
begin
  Seed := LongWord(QWord(Seed) * 1664525 + 1013904223);
  Result := (Seed shr 8) mod Range;
end;

function LoadRows(DS: TBufDataset; Count: Integer): Double;
var
  i, serie: Integer;
  total, icms, peso: LongWord;
  dia: TDateTime;
  nome, situacao: string;
  cents: Int64;
begin
  DS.FieldDefs.Add('Id_Serie_Documento', ftInteger);
  DS.FieldDefs.Add('Id_Nota_Fiscal', ftInteger);
  DS.FieldDefs.Add('Data_Emissao', ftDateTime);
  DS.FieldDefs.Add('Nome', ftString, 120);
  DS.FieldDefs.Add('Valor_Total_Nota', ftFloat);
  DS.FieldDefs.Add('Valor_ICMS', ftFloat);
  DS.FieldDefs.Add('Peso_Bruto', ftFloat);
  DS.FieldDefs.Add('Situacao_NFE', ftString, 40);
  DS.CreateDataset;
  cents := 0;
  for i := 0 to Count - 1 do
  begin
    serie := 1 + Integer(NextRandom(3));
    dia := EncodeDate(2024, 1, 1) + NextRandom(366);
    nome := Nomes[NextRandom(8)];
    total := 100 + NextRandom(10000000);
    icms := total * 18 div 100;
    peso := NextRandom(1000000);
    situacao := Situacoes[NextRandom(4)];
    if situacao = 'Autorizada' then
      Inc(cents, total);
    DS.Append;
    DS.Fields[0].AsInteger := serie;
    DS.Fields[1].AsInteger := i + 1;
    DS.Fields[2].AsDateTime := dia;
    DS.Fields[3].AsString := nome;
    DS.Fields[4].AsFloat := total / 100;
    DS.Fields[5].AsFloat := icms / 100;
    DS.Fields[6].AsFloat := peso / 1000;
    DS.Fields[7].AsString := situacao;
    DS.Post;
  end;
  // The rows are the data, not pending edits: without this every record
  // read searches the change log of all the rows appended.
  DS.MergeChangeLog;
  DS.First;
  Result := cents / 100;
end;

function Memo(AParent: TFPReportElement; const AText: string; L, T, W: Double;
  Right: Boolean = False; Size: Integer = 10): TFPReportMemo;
begin
  Result := TFPReportMemo.Create(AParent);
  Result.Layout.Left := L;
  Result.Layout.Top := T;
  Result.Layout.Width := W;
  Result.Layout.Height := 4.2;
  Result.Font.Name := 'LiberationSans';
  Result.Font.Size := Size;
  Result.Text := AText;
  if Right then
    Result.TextAlignment.Horizontal := fpReport.taRightJustified;
end;

procedure Rule(AParent: TFPReportElement; L, T, H: Double);
var
  s: TFPReportShape;
begin
  s := TFPReportShape.Create(AParent);
  s.ShapeType := stLine;
  s.Orientation := orNorth;
  s.Layout.Left := L;
  s.Layout.Top := T;
  s.Layout.Width := 0.3;
  s.Layout.Height := H;
end;

procedure Box(AParent: TFPReportElement; L, T, W, H: Double);
var
  s: TFPReportShape;
begin
  s := TFPReportShape.Create(AParent);
  s.ShapeType := stSquare;
  s.Layout.Left := L;
  s.Layout.Top := T;
  s.Layout.Width := W;
  s.Layout.Height := H;
end;

procedure TListing.HeaderBeforePrint(Sender: TFPReportElement);
begin
  Inc(Pages);
end;

procedure TListing.StartPass;
begin
  // Called again by the pass's first row, under its first page's header.
  Pages := 1;
  Counter := 0;
  LastId := 0;
  SumNota := 0;
  SumIcms := 0;
  SumPeso := 0;
end;

procedure TListing.DetailBeforePrint(Sender: TFPReportElement);
var
  autorizada: Boolean;
  id: Integer;
begin
  // Rows are told apart by their invoice number, never by RecNo: a memory
  // dataset's RecNo walks its rows from the first, which made each band
  // cost as much as the rows before it.
  id := Rows.Fields[1].AsInteger;
  // OnBeginReport comes once for both passes; the totals restart with each.
  if id = 1 then
    StartPass;
  // A row that does not fit is laid out again on the next page: count it once.
  if id = LastId then
    Exit;
  LastId := id;
  Inc(Counter);
  if Odd(Counter) then
    Detail.Frame.BackgroundColor := clWhite
  else
    Detail.Frame.BackgroundColor := Cinza;
  autorizada := Rows.Fields[7].AsString = 'Autorizada';
  if autorizada then
    Asterisco.Text := ''
  else
    Asterisco.Text := '*';
  if autorizada then
  begin
    SumNota := SumNota + Rows.Fields[4].AsFloat;
    SumIcms := SumIcms + Rows.Fields[5].AsFloat;
    SumPeso := SumPeso + Rows.Fields[6].AsFloat;
  end;
end;

procedure TListing.SummaryBeforePrint(Sender: TFPReportElement);
begin
  TotNota.Text := FormatFloat('##,###,###,##0.00', SumNota);
  TotIcms.Text := FormatFloat('##,###,###,##0.00', SumIcms);
  TotPeso.Text := FormatFloat('###,##0.000', SumPeso);
end;

procedure TListing.Build;
var
  Page: TFPReportPage;
  Header: TFPReportPageHeaderBand;
  Footer: TFPReportPageFooterBand;
  Summary: TFPReportSummaryBand;
  x: Double;
  i: Integer;
const
  Titles: array[0..7] of string = ('Série', 'NF', 'Emissão', 'Cliente', 'Total Nota', 'Total ICMS',
    'Peso Bruto', 'Situação');
  TitleLefts: array[0..7] of Double = (4.0, 15.1, 34.7, 53.4, 116.9, 136.0, 155.6, 175.2);
  Rules: array[0..6] of Double = (13.5, 32.8, 51.9, 115.1, 134.7, 154.5, 173.8);
  DetailRules: array[0..8] of Double = (2.4, 13.5, 32.8, 51.9, 115.1, 134.7, 154.5, 173.8, 195.8);
begin
  Report := TFPReport.Create(nil);
  Report.TwoPass := True;
  Report.OnBeginReport := @StartPass;
  Data := TFPReportDatasetData.Create(nil);
  Data.DataSet := Rows;

  Page := TFPReportPage.Create(Report);
  Page.Orientation := poPortrait;
  Page.PageSize.PaperName := 'A4';
  Page.Margins.Left := 6.35;
  Page.Margins.Top := 6.35;
  Page.Margins.Right := 6.35;
  Page.Margins.Bottom := 6.35;
  Page.Data := Data;
  Page.Font.Name := 'LiberationSans';

  Header := TFPReportPageHeaderBand.Create(Page);
  Header.Layout.Height := 24.1;
  Header.OnBeforePrint := @HeaderBeforePrint;
  Box(Header, 2.4, 1.1, 193.7, 16.4);
  Box(Header, 2.4, 17.7, 193.7, 6.3);
  Memo(Header, 'Benchmark Comércio Ltda', 25.7, 2.4, 154.5).TextAlignment.Horizontal := fpReport.taCentered;
  Memo(Header, 'Sys: OSKE', 3.7, 2.4, 17.5);
  Memo(Header, 'Prg: NOTA403', 3.4, 7.9, 23.1);
  Memo(Header, 'Usuário: Admin', 3.4, 12.7, 30);
  Memo(Header, 'Notas Fiscais Emitidas entre: 01/01/2024 E 31/12/2024', 41.5, 7.4, 115.4).TextAlignment.Horizontal := fpReport.taCentered;
  Memo(Header, 'Classificada por (Série + Número Nota)', 41.5, 12.2, 115.4).TextAlignment.Horizontal := fpReport.taCentered;
  Memo(Header, 'Página [PageNo] de [PageCount]', 160.6, 7.4, 33.9, True);
  Memo(Header, FormatDateTime('dd/mm/yyyy hh:nn', Now), 160.6, 12.2, 33.9, True);
  for i := 0 to High(Titles) do
    Memo(Header, Titles[i], TitleLefts[i], 19.1, 18.0);
  for x in Rules do
    Rule(Header, x, 18.0, 6.1);

  Detail := TFPReportDataBand.Create(Page);
  Detail.Data := Data;
  Detail.Layout.Height := 4.5;
  Detail.Frame.Shape := fsRectangle;
  Detail.Frame.Lines := [];
  Detail.OnBeforePrint := @DetailBeforePrint;
  Memo(Detail, '[Id_Serie_Documento]', 4.0, 0.3, 8.2, True);
  Memo(Detail, '[FormatFloat(''000,000'', Id_Nota_Fiscal)]', 14.8, 0.3, 14.8);
  Asterisco := Memo(Detail, '', 30.2, 0.3, 2.4);
  Memo(Detail, '[FormatDateTime(''dd/mm/yyyy'', Data_Emissao)]', 34.1, 0.3, 17.2);
  Memo(Detail, '[Nome]', 53.2, 0.3, 59.8);
  Memo(Detail, '[FormatFloat(''##,###,###,##0.00'', Valor_Total_Nota)]', 116.4, 0.3, 17.2, True);
  Memo(Detail, '[FormatFloat(''###,###,##0.00'', Valor_ICMS)]', 136.3, 0.3, 17.2, True);
  Memo(Detail, '[FormatFloat(''###,##0.000'', Peso_Bruto)]', 155.6, 0, 17.2, True);
  Memo(Detail, '[Situacao_NFE]', 175.4, 0.3, 19.3);
  for x in DetailRules do
    Rule(Detail, x, 0, 4.5);

  Summary := TFPReportSummaryBand.Create(Page);
  Summary.Layout.Height := 7.7;
  Summary.OnBeforePrint := @SummaryBeforePrint;
  Memo(Summary, '* Não são consideradas na totalização', 3.7, 1.9, 54.6, False, 9);
  Memo(Summary, 'TOTAIS', 99.7, 1.6, 12.7);
  TotNota := Memo(Summary, '', 116.4, 1.3, 17.2, True);
  TotIcms := Memo(Summary, '', 136.3, 1.3, 17.2, True);
  TotPeso := Memo(Summary, '', 155.6, 1.3, 17.2, True);

  Footer := TFPReportPageFooterBand.Create(Page);
  Footer.Layout.Height := 5.8;
  Memo(Footer, 'Benchmark', 2.9, 0.5, 193.1, True, 8);
end;

function PeakKiB: Int64;
var
  f: TextFile;
  line: string;
begin
  Result := -1;
  AssignFile(f, '/proc/self/status');
  Reset(f);
  while not Eof(f) do
  begin
    ReadLn(f, line);
    if Copy(line, 1, 6) = 'VmHWM:' then
      Result := StrToInt64(Trim(StringReplace(Copy(line, 7, 100), 'kB', '', [])));
  end;
  CloseFile(f);
end;

var
  L: TListing;
  count, repeats, r: Integer;
  grand, best, s: Double;
  start: QWord;
  fmt: TFormatSettings;
begin
  count := StrToIntDef(ParamStr(1), 100000);
  repeats := StrToIntDef(ParamStr(2), 5);
  DefaultFormatSettings.DecimalSeparator := ',';
  DefaultFormatSettings.ThousandSeparator := '.';
  if ParamStr(3) <> '' then
    gTTFontCache.SearchPath.Add(ParamStr(3));
  gTTFontCache.BuildFontCache;
  PaperManager.RegisterStandardSizes;

  L := TListing.Create;
  L.Rows := TBufDataset.Create(nil);
  grand := LoadRows(L.Rows, count);
  L.Build;
  best := 1e300;
  for r := 1 to repeats do
  begin
    // The report closes its dataset when it ends, and a memory dataset
    // loses its rows when closed: load them again, untimed.
    if not L.Rows.Active then
    begin
      L.Rows.Free;
      L.Rows := TBufDataset.Create(nil);
      Seed := 20261207;
      LoadRows(L.Rows, count);
      L.Data.DataSet := L.Rows;
    end;
    L.Rows.First;
    start := GetTickCount64;
    L.Report.RunReport;
    s := (GetTickCount64 - start) / 1000;
    if s < best then
      best := s;
  end;
  fmt := DefaultFormatSettings;
  fmt.DecimalSeparator := '.';
  fmt.ThousandSeparator := #0;
  WriteLn('pages ', L.Pages);
  WriteLn('total ', FormatFloat('0.00', L.SumNota, fmt));
  WriteLn('expected ', FormatFloat('0.00', grand, fmt));
  WriteLn('seconds ', FormatFloat('0.000000', best, fmt));
  WriteLn('peak_kib ', PeakKiB);
end.
