#include "billing/listings/ListingReport.h"

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "billing/listings/BandPlacing.h"
#include "billing/listings/ListingFormats.h"
#include "billing/listings/ReportLibrary.h"
#include "platform/db/DB.h"
#include "platform/rtl/Strings.h"
#include "preview/rpPreview.h"
#include "preview/rpViewer.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpMainReport.h"
#include "report/rpPrinterSetup.h"
#include "report/rpSettings.h"
#include "report/rpTemplate.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"

namespace billing::listings {

namespace {

constexpr double kTextHeight = 4.2;  // a line of Arial 10

void SetArial(TFont* Font, int Size, bool Bold = false) {
    Font->SetName("Arial");
    Font->SetSize(Size);
    Font->SetColor(clBlack);
    TFontStyles style;
    if (Bold) style.Include(fsBold);
    Font->SetStyle(style);
}

TrpLabel* Label(TComponent* Owner, TrpBand* Band, const std::string& Name, const std::string& Caption, double Left,
                double Top, double Width, TrpTextAlignment Align = taLeftJustified, int Size = 10,
                bool Bold = false) {
    auto* l = Put<TrpLabel>(Owner, Band, Name, Left, Top, Width, kTextHeight);
    l->SetAutoSize(false);
    SetArial(l->Font(), Size, Bold);
    l->SetCaption(Caption);
    l->SetTextAlignment(Align);
    l->SetTransparent(true);
    return l;
}

TrpDBText* Field(TComponent* Owner, TrpBand* Band, TrpDBPipeline* Pipeline, const std::string& Name,
                 const ColumnFormat& Column, double Left, double Top, double Width,
                 TrpTextAlignment Align = taLeftJustified) {
    auto* t = Put<TrpDBText>(Owner, Band, Name, Left, Top, Width, kTextHeight);
    t->SetAutoSize(false);
    SetArial(t->Font(), 10);
    t->SetDataPipeline(Pipeline);
    t->SetDataField(Column.field);
    t->SetDisplayFormat(Column.displayFormat);
    t->SetTextAlignment(Align);
    t->SetTransparent(true);
    return t;
}

// A text that prints whole however long its value grows: a right-aligned
// one grows to the left, keeping its right edge on the column's. The box
// stays where the layout puts it.
template <class T>
T* Whole(T* Text) {
    const int32_t l = Text->mmLeft(), t = Text->mmTop(), w = Text->mmWidth(), h = Text->mmHeight();
    Text->SetAutoSize(true);
    Text->SetBounds(l, t, w, h);
    return Text;
}

// The texts of a listing fitted to their column, and the column's room in
// millimetres (an auto-sized text's box follows its value): amounts and
// totals, statuses, and the names or descriptions that give room to them.
std::vector<FittedText> FittedTexts(Listing Kind) {
    if (Kind == Listing::Nota409)
        return {{"rpDBText2", 95.0, false}, {"rpDBText3", 17.2, true}, {"rpDBText4", 17.2, true},
                {"rpDBText5", 17.2, true},  {"rpDBCalc1", 17.2, true}, {"rpDBCalc2", 17.2, true},
                {"rpDBCalc3", 17.2, true}};
    return {{"rpDBText4", 59.8, false},        {"rpDBText7", 17.2, true},   {"rpDBText6", 17.2, true},
            {"rpDBText8", 17.2, true},         {"rpDBText9", 19.3, false},  {"vValor_Total_Nota", 17.2, true},
            {"vValor_ICMS", 17.2, true},       {"vPeso_Bruto", 17.2, true}};
}

void VerticalLine(TComponent* Owner, TrpBand* Band, const std::string& Name, double Left, double Top,
                  double Height) {
    auto* l = Put<TrpLine>(Owner, Band, Name, Left, Top, 0.3, Height);
    l->SetPosition(lpLeft);
}

TrpShape* Box(TComponent* Owner, TrpBand* Band, const std::string& Name, double Left, double Top, double Width,
              double Height) {
    auto* s = Put<TrpShape>(Owner, Band, Name, Left, Top, Width, Height);
    s->SetShape(stRectangle);
    return s;
}

// The row's stripe: hidden until the row rules show it.
TrpShape* Stripe(TComponent* Owner, TrpBand* Band, double Left) {
    TrpShape* s = Box(Owner, Band, "PZebrado", Left, 0, 193.9, 4.8);
    s->Pen()->SetStyle(psClear);
    s->Brush()->SetStyle(bsSolid);
    s->SetVisible(false);
    return s;
}

// The name of the listing's print job, and of the file a PDF queue or an
// e-mail makes of it: its title, without the marks a file name cannot hold
// ("Notas Fiscais Emitidas entre 01-12-2026 E 31-12-2026").
std::string JobName(const std::string& Title) {
    std::string name;
    for (char c : Trim(Title)) {
        if (c == '/' || c == '\\') name += '-';
        else if (c != ':') name += c;
    }
    return name;
}

// A detail column's format, or a plain text when the listing has none.
ColumnFormat ColumnOf(Listing Kind, const std::string& FieldName) {
    for (const ColumnFormat& c : DetailColumns(Kind))
        if (c.field == FieldName) return c;
    return ColumnFormat{FieldName, "", dtString};
}

}  // namespace

ListingReport::ListingReport(Listing Kind, TDataSource* Rows)
    : kind_(Kind), owner_(std::make_unique<TComponent>(nullptr)), sequencer_(Kind), reader_(Kind) {
    UseReportLibrary();
    report_ = new TrpReport(owner_.get());
    report_->SetName("rpReport");
    pipeline_ = new TrpDBPipeline(owner_.get());
    pipeline_->SetName("rpDBPipeline1");
    pipeline_->SetUserName("DBPipeline1");
    pipeline_->SetDataSource(Rows);

    TrpPrinterSetup* setup = report_->PrinterSetup();
    setup->SetPrinterName("Default");
    setup->SetPaperName("A4");
    setup->SetOrientation(poPortrait);
    setup->SetBinName("Default");
    setup->SetDocumentName("Report");
    // The page in thousandths of a millimetre, whatever printer is there.
    TrpPageDef* page = setup->PageDef();
    page->SetmmWidth(210000);
    page->SetmmHeight(297000);
    page->SetmmMarginLeft(6350);
    page->SetmmMarginRight(6350);
    page->SetmmMarginTop(6350);
    page->SetmmMarginBottom(6350);
    report_->SetDeviceType("Screen");
    report_->SetPassSetting(psTwoPass);
    report_->SetLanguage(lgPortugueseBrazil);
    report_->OutlineSettings()->SetEnabled(false);
    report_->TextSearchSettings()->SetEnabled(false);
    report_->EmailSettings()->SetReportFormat("PDF");
    report_->SetDataPipeline(pipeline_);

    report_->CreateDefaultBands();
    report_->CreateBand(btSummary);
    report_->HeaderBand()->SetmmHeight(mm(24.1));
    report_->DetailBand()->SetmmHeight(mm(4.5));
    report_->SummaryBand()->SetmmHeight(mm(7.7));
    report_->FooterBand()->SetmmHeight(mm(5.8));

    BuildHeader();
    if (kind_ == Listing::Nota409) {
        BuildSummaryRows();
        BuildSalesSummary();
    } else {
        BuildInvoiceRows();
        BuildInvoiceSummary();
    }
    BuildFooter();

    // Counter and totals start again at each pass; the second lays the
    // columns out for the widest amounts the first met.
    fit_ = std::make_unique<ColumnFit>(report_, [this](const std::string& Name) { return Find(Name); });
    report_->OnStartFirstPass = [this](TObject*) {
        StartPass();
        fit_->StartFirstPass();
    };
    report_->OnStartSecondPass = [this](TObject*) {
        StartPass();
        fit_->StartSecondPass();
    };
    report_->OnPreviewFormCreate = [this](TObject*) {
        if (auto* preview = dynamic_cast<TrpPrintPreview*>(report_->PreviewForm())) {
            preview->SetWindowState(wsMaximized);
            preview->Viewer()->SetZoomSetting(zs100Percent);
        }
    };
    Bind();
}

// The detail band's handlers and the components they change, looked up
// again after a template replaced the layout.
void ListingReport::Bind() {
    zebra_ = dynamic_cast<TrpShape*>(Find("PZebrado"));
    asterisk_ = dynamic_cast<TrpLabel*>(Find("lblAsterisco"));
    const char* totals[3] = {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
    for (int i = 0; i < 3; ++i) totals_[i] = dynamic_cast<TrpVariable*>(Find(totals[i]));
    if (zebra_ != nullptr) zebra_->SetVisible(zebraOn_);
    fit_->Bind(FittedTexts(kind_));
    TrpBand* detail = report_->DetailBand();
    if (detail == nullptr) return;
    detail->BeforePrint = [this](TObject*) {
        const ListingRow row = CurrentRow();
        const RowLook look = sequencer_.BeforePrint(row);
        if (zebra_ != nullptr) zebra_->Brush()->SetColor(look.zebra);
        if (asterisk_ != nullptr) asterisk_->SetCaption(look.asterisco);
        // Nota300 adds a row before it prints.
        if (kind_ == Listing::Nota300) AddToTotals(row);
    };
    detail->AfterPrint = [this](TObject*) {
        const ListingRow row = CurrentRow();
        if (kind_ == Listing::Nota403) AddToTotals(row);
        sequencer_.AfterPrint(row);
    };
}

ListingReport::~ListingReport() = default;

void ListingReport::LoadLayout(TStream& Stream) {
    report_->Template()->LoadFromStream(&Stream);
    Bind();
}

TComponent* ListingReport::Find(const std::string& Name) const { return owner_->FindComponent(Name); }

void ListingReport::BuildHeader() {
    TComponent* o = owner_.get();
    TrpBand* h = report_->HeaderBand();
    Box(o, h, "rpShape1", 2.4, 1.1, 193.7, 16.4);
    Box(o, h, "rpShape2", 2.4, 17.7, 193.7, 6.3);
    const bool nota300 = kind_ == Listing::Nota300;
    Label(o, h, "lblEmitente", "", nota300 ? 29.1 : 25.7, 2.4, nota300 ? 149.2 : 154.5, taCentered, 10, true);
    Label(o, h, "rpLabel14", "Sys: OSKE", 3.7, 2.4, 17.5);
    Label(o, h, "rpLabel13", kind_ == Listing::Nota409 ? "Prg: NOTA409" : "Prg: NOTA403", 3.4, 7.9, 23.1);
    // The user's name runs on past the box the layout gives the label.
    Whole(Label(o, h, "lblUsuario", "Usuário: ", 3.4, 12.7, 13.1));
    Label(o, h, "lblTitulo", "", 41.5, 7.4, 115.4, taCentered);
    Label(o, h, "lblClassificacao", "", 41.5, 12.2, 115.4, taCentered);
    auto* pages = Put<TrpSystemVariable>(o, h, "rpSystemVariable2", 160.6, 7.4, 33.9, kTextHeight);
    pages->SetVarType(vtPageSetDesc);
    auto* printed = Put<TrpSystemVariable>(o, h, "rpSystemVariable1", 160.6, 12.2, 33.9, kTextHeight);
    printed->SetVarType(vtPrintDateTime);
    for (TrpSystemVariable* v : {pages, printed}) {
        v->SetAutoSize(false);
        SetArial(v->Font(), 10);
        v->SetTextAlignment(taRightJustified);
        v->SetTransparent(true);
    }
    struct Title {
        const char* Text;
        double Left;
    };
    static const Title invoiceTitles[] = {{"Série", 4.0},       {"NF", 15.1},         {"Emissão", 34.7},
                                          {"Cliente", 53.4},    {"Total Nota", 116.9}, {"Total ICMS", 136.0},
                                          {"Peso Bruto", 155.6}, {"Situação", 175.2}};
    static const Title salesTitles[] = {
        {"Grupo", 4.0}, {"Descrição", 20.9}, {"Total Venda", 122.0}, {"Peso Bruto", 148.7}, {"Peso Liquído", 173.0}};
    static const double invoiceRules[] = {13.5, 32.8, 51.9, 115.1, 134.7, 154.5, 173.8};
    static const double salesRules[] = {18.8, 120.1, 143.7, 168.3};
    int n = 0;
    if (kind_ == Listing::Nota409) {
        for (const Title& t : salesTitles)
            Label(o, h, "lblColuna" + std::to_string(++n), t.Text, t.Left, 19.1, 22.0);
        n = 0;
        for (double x : salesRules) VerticalLine(o, h, "rpLineTitulo" + std::to_string(++n), x, 18.0, 6.1);
    } else {
        for (const Title& t : invoiceTitles)
            Label(o, h, "lblColuna" + std::to_string(++n), t.Text, t.Left, 19.1, 18.0);
        n = 0;
        for (double x : invoiceRules) VerticalLine(o, h, "rpLineTitulo" + std::to_string(++n), x, 18.0, 6.1);
    }
}

void ListingReport::BuildInvoiceRows() {
    TComponent* o = owner_.get();
    TrpBand* d = report_->DetailBand();
    zebra_ = Stripe(o, d, 2.4);
    zebra_->Brush()->SetColor(kZebraCinza);
    auto column = [this](const std::string& field) { return ColumnOf(kind_, field); };
    Field(o, d, pipeline_, "rpDBText1", column("Id_Serie_Documento"), 4.0, 0.3, 8.2, taRightJustified);
    Field(o, d, pipeline_, "rpDBText2", column("Id_Nota_Fiscal"), 14.8, 0.3, 14.8);
    asterisk_ = Label(o, d, "lblAsterisco", "", 30.2, 0.3, 2.4);
    // A date is a little wider than its box in Arial 10; amounts of six
    // figures and more are wider than theirs: they print whole, the amounts
    // in a font fitted to their box (Bind).
    Whole(Field(o, d, pipeline_, "rpDBText3", column("Data_Emissao"), 34.1, 0.3, 17.2));
    Field(o, d, pipeline_, "rpDBText4", column("Nome"), 53.2, 0.3, 59.8);
    Whole(Field(o, d, pipeline_, "rpDBText7", column("Valor_Total_Nota"), 116.4, 0.3, 17.2, taRightJustified));
    Whole(Field(o, d, pipeline_, "rpDBText6", column("Valor_ICMS"), 136.3, 0.3, 17.2, taRightJustified));
    Whole(Field(o, d, pipeline_, "rpDBText8", column("Peso_Bruto"), 155.6, 0.3, 17.2, taRightJustified));
    Field(o, d, pipeline_, "rpDBText9", column("Situacao_NFE"), 175.4, 0.3, 19.3);
    int n = 0;
    for (double x : {2.4, 13.5, 32.8, 51.9, 115.1, 134.7, 154.5, 173.8, 195.8})
        VerticalLine(o, d, "rpLineDetalhe" + std::to_string(++n), x, 0, 4.5);
}

void ListingReport::BuildSummaryRows() {
    TComponent* o = owner_.get();
    TrpBand* d = report_->DetailBand();
    zebra_ = Stripe(o, d, 2.1);
    auto column = [this](const std::string& field) { return ColumnOf(kind_, field); };
    Field(o, d, pipeline_, "rpDBText1", column("Id_Grupo"), 4.0, 0.3, 8.2, taRightJustified);
    auto* description = Field(o, d, pipeline_, "rpDBText2", column("Descricao"), 20.9, 0.3, 95.0);
    description->SetAutoSize(true);
    Whole(Field(o, d, pipeline_, "rpDBText3", column("Total_Venda"), 121.4, 0.3, 17.2, taRightJustified));
    Whole(Field(o, d, pipeline_, "rpDBText4", column("Peso_Bruto"), 146.1, 0.3, 17.2, taRightJustified));
    Whole(Field(o, d, pipeline_, "rpDBText5", column("Peso_Liquido"), 170.1, 0.3, 17.2, taRightJustified));
    int n = 0;
    for (double x : {2.4, 18.8, 120.1, 143.9, 168.3, 195.8})
        VerticalLine(o, d, "rpLineDetalhe" + std::to_string(++n), x, 0, 4.5);
}

void ListingReport::BuildInvoiceSummary() {
    TComponent* o = owner_.get();
    TrpBand* s = report_->SummaryBand();
    auto* line = Put<TrpLine>(o, s, "rpLine17", 2.4, 0, 193.7, 0.3);
    line->SetPosition(lpTop);
    Label(o, s, "rpLabel10", "* Não são consideradas na totalização", 3.7, 1.9, 54.6, taLeftJustified, 9);
    Label(o, s, "rpLabel5", "TOTAIS", 99.7, 1.6, 12.7);
    const char* names[3] = {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
    const double lefts[3] = {116.4, 136.3, 155.6};
    const auto& formats = TotalColumns(kind_);
    for (int i = 0; i < 3; ++i) {
        totals_[i] = Put<TrpVariable>(o, s, names[i], lefts[i], 1.3, 17.2, kTextHeight);
        totals_[i]->SetAutoSize(false);
        SetArial(totals_[i]->Font(), 10);
        totals_[i]->SetDataType(dtDouble);
        totals_[i]->SetDisplayFormat(formats[static_cast<size_t>(i)].displayFormat);
        totals_[i]->SetTextAlignment(taRightJustified);
        totals_[i]->SetTransparent(true);
        Whole(totals_[i]);
    }
}

void ListingReport::BuildSalesSummary() {
    TComponent* o = owner_.get();
    TrpBand* s = report_->SummaryBand();
    auto* line = Put<TrpLine>(o, s, "rpLine17", 2.4, 0, 193.7, 0.3);
    line->SetPosition(lpTop);
    Label(o, s, "rpLabel5", "TOTAIS", 99.7, 1.6, 12.7);
    const auto& formats = TotalColumns(kind_);
    // Each sum in its column's own box, so that it ends where the amounts
    // above it end.
    const double lefts[3] = {121.4, 146.1, 170.1};
    for (int i = 0; i < 3; ++i) {
        auto* sum = Put<TrpDBCalc>(o, s, "rpDBCalc" + std::to_string(i + 1), lefts[i], 1.3, 17.2, kTextHeight);
        sum->SetAutoSize(false);
        SetArial(sum->Font(), 10);
        sum->SetDataPipeline(pipeline_);
        sum->SetDataField(formats[static_cast<size_t>(i)].field);
        sum->SetDBCalcType(dcSum);
        sum->SetDisplayFormat(formats[static_cast<size_t>(i)].displayFormat);
        sum->SetTextAlignment(taRightJustified);
        sum->SetTransparent(true);
        Whole(sum);
    }
}

void ListingReport::BuildFooter() {
    auto* credit = Label(owner_.get(), report_->FooterBand(), "lblCredito", "", 2.9, 0.5, 193.1, taRightJustified, 8);
    (void)credit;
}

void ListingReport::SetHeader(const HeaderTexts& Header, const std::string& Credit) {
    auto caption = [this](const char* name, const std::string& text) {
        if (auto* l = dynamic_cast<TrpLabel*>(Find(name))) l->SetCaption(text);
    };
    caption("lblEmitente", Header.emitente);
    caption("lblUsuario", Header.usuario);
    caption("lblTitulo", Header.titulo);
    if (!Trim(Header.titulo).empty()) report_->PrinterSetup()->SetDocumentName(JobName(Header.titulo));
    caption("lblClassificacao", Header.classificacao);
    caption("lblCredito", Credit);
}

void ListingReport::SetZebra(bool On) {
    zebraOn_ = On;
    if (zebra_ != nullptr) zebra_->SetVisible(On);
}

void ListingReport::StartPass() {
    sequencer_.StartPass();
    readFrom_ = nullptr;
    for (TrpVariable* v : totals_)
        if (v != nullptr) v->SetValue(Variant(0.0));
}

ListingRow ListingReport::CurrentRow() {
    const TDataSet* rows = pipeline_->DataSource()->DataSet();
    if (rows != readFrom_ || rows->ChangeStamp() != readStamp_) {
        const std::uint64_t stamp = rows->ChangeStamp();
        lastRead_ = reader_.Read(*rows);
        readFrom_ = rows;
        readStamp_ = stamp;
    }
    return lastRead_;
}

void ListingReport::AddToTotals(const ListingRow& Row) {
    if (!sequencer_.Totalled(Row)) return;
    for (int i = 0; i < 3; ++i)
        if (totals_[i] != nullptr) totals_[i]->Accumulate(Row.valores[i]);
}

void ListingReport::Print(const std::string& DeviceType) {
    report_->SetDeviceType(DeviceType);
    report_->PrintReport();
}

}  // namespace billing::listings
