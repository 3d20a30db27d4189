// The listings' forms: the criteria refused with their messages, and
// "&Visualizar" opening the preview maximised at 100 % on the report's
// first page.
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <map>
#include <memory>

#include "billing/forms/Nota300.h"
#include "billing/forms/Nota403.h"
#include "billing/forms/Nota409.h"
#include "billing/listings/ListingReport.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "preview/rpPreview.h"
#include "preview/rpPrintDialog.h"
#include "preview/rpPreviewRegister.h"
#include "preview/rpViewer.h"
#include "report/rpDialogRegistry.h"
#include "report/rpDrawCommand.h"
#include "report/rpGeneration.h"
#include "report/rpMainReport.h"
#include "report/rpPrinterBackend.h"
#include "report/rpPrinterList.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpCupsBackend.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpPrinterDevice.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/support/TextFit.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/PrivateSpooler.h"
#include "tests/preview/DialogTestSupport.h"

namespace {

class ListingForms : public billtest::Forms {
protected:
    void SetUp() override {
        Forms::SetUp();
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
        report_output::registerAll();
        preview::registerAll();
        Exec("insert into cliente(id_cliente, nome) values('0000001', 'Ana')");
    }
    void TearDown() override {
        Forms::TearDown();
        preview::unregisterAll();
        report_output::unregisterAll();
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
    void Invoice(int Numero, const std::string& Situacao) {
        dmdb->ADOConnection->Execute(
            "insert into nota_fiscal(id_registro, id_serie_documento, id_nota_fiscal, id_cliente, data_emissao, "
            "situacao_nfe, valor_total_nota, valor_icms, peso_bruto) values(:preg, 1, :pnum, '0000001', :pdata, "
            ":psit, 100, 18, 1)",
            {{"preg", Variant("R" + std::to_string(Numero))},
             {"pnum", Variant(Numero)},
             {"pdata", Variant(FormatDateTime("yyyy-mm-dd", Date()))},
             {"psit", Variant(Situacao)}});
    }
};

TEST_F(ListingForms, RefusedCriteriaSayWhyAndPrintNothing) {
    auto* form = Open<TfrmNota403>();
    form->chkAutorizada->SetChecked(false);
    form->chkCancelada->SetChecked(false);
    form->chkDenegada->SetChecked(false);
    dialogs.Expect("Não foi selecionada nenhuma Situação.", mrOk, "Atenção");
    form->BitBtn1Click(nullptr);
    EXPECT_EQ(form->Report(), nullptr);

    // No invoice today: the form says so.
    auto* today = Open<TfrmNota300>();
    dialogs.Expect("Não existem Notas Fiscais para as condições Solicitadas.", mrOk, "Atenção");
    today->BitBtn1Click(nullptr);
    EXPECT_EQ(today->Report(), nullptr);

    auto* sales = Open<TfrmNota409>();
    sales->tbTemp->Edit();
    sales->tbTemp->FieldByName("data_inicial")->SetAsDateTime(Date() + 1);
    dialogs.Expect("A data Inicial maior que a final.", mrOk, "Atenção");
    sales->BitBtn2Click(nullptr);
    EXPECT_EQ(sales->Report(), nullptr);
}

TEST_F(ListingForms, TheClientListingNamesItsSelectionEditsAndShowsItsChoicesWhole) {
    auto* form = Open<TfrmNota300>();
    std::map<QWidget*, std::string> named;
    for (QLabel* l : form->Widget()->findChildren<QLabel*>())
        if (l->buddy() != nullptr) named[l->buddy()] = l->text().toStdString();
    EXPECT_EQ(named[form->edtCodigoInicial->Widget()], "Código Inicial");
    EXPECT_EQ(named[form->edtCodigoFinal->Widget()], "Código Final");
    for (const std::string& clipped : testsupport::ClippedTexts(form->Widget())) ADD_FAILURE() << clipped;
    for (const std::string& outside : testsupport::OutsideTheirParents(form->Widget())) ADD_FAILURE() << outside;
}

TEST_F(ListingForms, PreviewOpensMaximisedAtOneHundredPercent) {
    Invoice(1, "Autorizada");
    Invoice(2, "Cancelada");
    auto* form = Open<TfrmNota300>();
    form->chkZebrado->SetChecked(true);
    bool seen = false;
    TWindowState state = wsNormal;
    TrpZoomSettingType zoom = zsWholePage;
    int zoomPercent = 0;
    // The preview runs modally: look at it once it is up, then close it.
    QObject guard;
    std::function<void()> poll;
    poll = [&] {
        TrpReport* report = form->Report() != nullptr ? form->Report()->Report() : nullptr;
        auto* preview = report != nullptr ? dynamic_cast<TrpPrintPreview*>(report->PreviewForm()) : nullptr;
        if (preview == nullptr || preview->Viewer()->AbsolutePageNo() < 1) {
            QTimer::singleShot(10, &guard, poll);
            return;
        }
        seen = true;
        state = preview->WindowState();
        zoom = preview->Viewer()->ZoomSetting();
        zoomPercent = preview->Viewer()->CurrentZoom();
        preview->Close();
    };
    QTimer::singleShot(0, &guard, poll);
    form->BitBtn1Click(nullptr);
    billtest::Pump();
    ASSERT_TRUE(seen);
    EXPECT_EQ(state, wsMaximized);
    EXPECT_EQ(zoom, zs100Percent);
    EXPECT_EQ(zoomPercent, 100);
    EXPECT_EQ(form->Report()->Sequencer().Counter(), 2);
}

}  // namespace

// --- Printing from the preview ---

namespace {

// What one listing printed: per component, its texts and stripe brushes in
// page order.
struct Output {
    std::map<std::string, std::vector<std::string>> texts;
    std::vector<TColor> stripes;
    int pages = 0;

    void Take(TrpPage* Page) {
        ++pages;
        for (int i = 0; i < Page->DrawCommandCount(); ++i) {
            TrpDrawCommand* c = Page->DrawCommands(i);
            auto* maker = dynamic_cast<TrpComponent*>(c->ReportComponent);
            const std::string name = maker != nullptr ? maker->Name() : "-";
            if (auto* t = dynamic_cast<TrpDrawText*>(c)) texts[name].push_back(t->Text());
            if (auto* s = dynamic_cast<TrpDrawShape*>(c); s != nullptr && name == "PZebrado")
                stripes.push_back(s->Brush()->Color());
        }
    }
    std::string Only(const std::string& Name) const {
        auto it = texts.find(Name);
        return it == texts.end() || it->second.size() != 1 ? "<" + Name + " printed " +
                                                                 std::to_string(it == texts.end() ? 0 : it->second.size()) +
                                                                 " times>"
                                                           : it->second[0];
    }
};

// Stands for the printer: keeps what the final pages show.
class StoringPrinter : public TrpDevice {
public:
    FAT_CLASS(StoringPrinter)
    using TrpDevice::TrpDevice;
    static Output& Printed() {
        static Output output;
        return output;
    }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (ShouldOutput()) Printed().Take(Page);
    }
};

TClass StoringPrinter::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<StoringPrinter>("StoringPrinter", TrpDevice::StaticClassType()).Build();
    return &info;
}

// Runs Action once Ready holds, looking again at each turn of the event
// loop (for up to five seconds).
void WhenReady(std::function<bool()> Ready, std::function<void()> Action) {
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [Ready, Action, tries, poll] {
        if (Ready()) {
            Action();
            *poll = nullptr;
            return;
        }
        if (++*tries > 1000) {
            ADD_FAILURE() << "never ready";
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(5, qApp, *poll);
    };
    QTimer::singleShot(0, qApp, *poll);
}

// The machine's printers and one more, the default, for the print dialog
// to offer: the pages are still measured as the default printer's were.
class WithCounterPrinter : public TrpPrinterList {
public:
    explicit WithCounterPrinter(TrpPrinterList* Installed) : installed_(Installed) {}
    TrpPrinterInfo* GetPrinterInfo(const std::string& Name) override {
        return installed_->GetPrinterInfo(Name == kName ? "Default" : Name);
    }
    std::string DefaultPrinterName() override { return kName; }
    void GetPrinterNames(TStrings* Names) override {
        installed_->GetPrinterNames(Names);
        Names->Add(kName);
    }
    TObject* SharedPrinter() override { return installed_->SharedPrinter(); }

private:
    static constexpr const char* kName = "Balcão";
    TrpPrinterList* installed_;
};

class ListingPrints : public ListingForms {
protected:
    void SetUp() override {
        ListingForms::SetUp();
        installedPrinters_ = rpSetPrinterList(&printers_);
        StoringPrinter::Printed() = Output{};
        UnregisterDeviceClass(TrpPrinterDevice::StaticClassType());
        RegisterDeviceClass(StoringPrinter::StaticClassType(), "Printer");
        previousDialog_ = GetFormClass(TrpCustomPrintDialog::StaticClassType());
        RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), TrpPrintDialog::StaticClassType());
        rpSetMessagePump([] { QCoreApplication::processEvents(); });
    }
    void TearDown() override {
        rpSetPrinterList(installedPrinters_);
        rpSetMessagePump(nullptr);
        if (previousDialog_ != nullptr)
            RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), previousDialog_);
        UnregisterDeviceClass(StoringPrinter::StaticClassType());
        RegisterDeviceClass(TrpPrinterDevice::StaticClassType(), "Printer");
        ListingForms::TearDown();
    }

    // Today's invoices 1..Count, every fifth "Cancelada", every seventh
    // "Denegada", the others "Autorizada"; adds the authorised ones to Sums.
    void Invoices(int Count, double Sums[3]) {
        for (int n = 1; n <= Count; ++n) {
            const char* state = n % 5 == 0 ? "Cancelada" : n % 7 == 0 ? "Denegada" : "Autorizada";
            const double total = 1000 + n * 10.01, icms = n * 1.8, peso = n * 0.125;
            dmdb->ADOConnection->Execute(
                "insert into nota_fiscal(id_registro, id_serie_documento, id_nota_fiscal, id_cliente, "
                "data_emissao, situacao_nfe, valor_total_nota, valor_icms, peso_bruto) values(:preg, 1, :pnum, "
                "'0000001', :pdata, :psit, :ptotal, :picms, :ppeso)",
                {{"preg", Variant("R" + std::to_string(n))},
                 {"pnum", Variant(n)},
                 {"pdata", Variant(FormatDateTime("yyyy-mm-dd", Date()))},
                 {"psit", Variant(std::string(state))},
                 {"ptotal", Variant(total)},
                 {"picms", Variant(icms)},
                 {"ppeso", Variant(peso)}});
            if (std::string(state) == "Autorizada") {
                Sums[0] += total;
                Sums[1] += icms;
                Sums[2] += peso;
            }
        }
    }

    // "&Visualizar", then in the preview: every page looked at from the
    // first to the last, the print button, OK in the print dialog, close.
    Output PreviewThenPrint(TListingForm* Form) {
        Output shown;
        auto preview = [Form]() -> TrpPrintPreview* {
            TrpReport* report = Form->Report() != nullptr ? Form->Report()->Report() : nullptr;
            return report != nullptr ? dynamic_cast<TrpPrintPreview*>(report->PreviewForm()) : nullptr;
        };
        WhenReady(
            [preview] {
                TrpPrintPreview* p = preview();
                return p != nullptr && !p->Viewer()->Printing() &&
                       p->Viewer()->AbsolutePageNo() >= 1;
            },
            [preview, &shown] {
                TrpViewer* viewer = preview()->Viewer();
                for (;;) {
                    shown.Take(viewer->CurrentPage());
                    if (viewer->CurrentPage()->LastPage()) break;
                    viewer->NextPage();
                }
                previewtest::WhenOpen<TrpPrintDialogForm>([](TrpPrintDialogForm* dialog) { dialog->OK->Click(); });
                preview()->PrintClick();
                preview()->Close();
            });
        Form->BitBtn1Click(nullptr);
        billtest::Pump();
        return shown;
    }

    static std::string Money(double Value) { return FormatFloat("##,###,###,##0.00", Value); }

    TClass previousDialog_ = nullptr;
    TrpPrinterList* installedPrinters_ = nullptr;
    WithCounterPrinter printers_{GetPrinterList()};
};

TEST_F(ListingPrints, IssuedInvoicesPrintFromThePreviewWithThePreviewsTotalsAndStripes) {
    double sums[3] = {0, 0, 0};
    Invoices(131, sums);
    auto* form = Open<TfrmNota403>();
    form->chkZebrado->SetChecked(true);
    const Output shown = PreviewThenPrint(form);
    const Output& printed = StoringPrinter::Printed();

    ASSERT_GE(shown.pages, 3);
    EXPECT_EQ(printed.pages, shown.pages);
    EXPECT_EQ(shown.Only("vValor_Total_Nota"), Money(sums[0]));
    EXPECT_EQ(shown.Only("vValor_ICMS"), Money(sums[1]));
    EXPECT_EQ(shown.Only("vPeso_Bruto"), FormatFloat("###,##0.000", sums[2]));
    for (const char* total : {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"})
        EXPECT_EQ(printed.Only(total), shown.Only(total)) << total;
    // One stripe per invoice, grey first and alternating across the pages.
    ASSERT_EQ(printed.stripes.size(), 131u);
    for (size_t i = 0; i < printed.stripes.size(); ++i)
        ASSERT_EQ(printed.stripes[i], i % 2 == 0 ? static_cast<TColor>(0xE0E0E0) : clWhite) << "row " << i + 1;
    EXPECT_EQ(printed.stripes, shown.stripes);
    EXPECT_EQ(printed.texts.at("lblAsterisco"), shown.texts.at("lblAsterisco"));
}

TEST_F(ListingPrints, TodaysInvoicesAndTheSalesSummaryPrintWhatThePreviewShows) {
    double sums[3] = {0, 0, 0};
    Invoices(75, sums);
    auto* today = Open<TfrmNota300>();
    today->chkZebrado->SetChecked(true);
    const Output shown = PreviewThenPrint(today);
    const Output printed = StoringPrinter::Printed();
    ASSERT_EQ(shown.pages, 2);
    EXPECT_EQ(printed.pages, 2);
    EXPECT_EQ(shown.Only("vValor_Total_Nota"), Money(sums[0]));
    EXPECT_EQ(printed.Only("vValor_Total_Nota"), Money(sums[0]));
    EXPECT_EQ(printed.Only("vPeso_Bruto"), FormatFloat("###,##0.000", sums[2]));
    ASSERT_EQ(printed.stripes.size(), 75u);
    EXPECT_EQ(printed.stripes.front(), static_cast<TColor>(0xE0E0E0));
    EXPECT_EQ(printed.stripes, shown.stripes);

    // Nine groups sold today, three products each; every invoice counts.
    StoringPrinter::Printed() = Output{};
    double venda = 0, quantidade = 0;
    int item = 0;
    for (int group = 1; group <= 9; ++group)
        for (int product = 1; product <= 3; ++product) {
            const std::string id = std::to_string(group * 10 + product);
            Exec("insert into produto(id_produto, id_produto_estrutura, descricao) values('" + id + "', '" +
                 std::to_string(group) + "0" + std::to_string(product) + "', 'Produto " + id + "')");
            const double q = product, v = group * 100 + product * 0.25;
            const std::string registro = "R" + std::to_string(++item % 75 + 1);
            dmdb->ADOConnection->Execute(
                "insert into nota_fiscal_item(id_registro, id_produto, quantidade, valor_total) values(:preg, "
                ":pprod, :pqtd, :ptotal)",
                {{"preg", Variant(registro)}, {"pprod", Variant(id)}, {"pqtd", Variant(q)}, {"ptotal", Variant(v)}});
            venda += v;
            quantidade += q;
        }
    auto* sales = Open<TfrmNota409>();
    sales->chkZebrado->SetChecked(true);
    const Output summary = PreviewThenPrint(sales);
    const Output& summed = StoringPrinter::Printed();
    EXPECT_EQ(summary.Only("rpDBCalc1"), FormatFloat("###,###,##0.00", venda));
    EXPECT_EQ(summary.Only("rpDBCalc2"), FormatFloat("###,###,##0.00", quantidade));
    for (const char* total : {"rpDBCalc1", "rpDBCalc2", "rpDBCalc3"})
        EXPECT_EQ(summed.Only(total), summary.Only(total)) << total;
    ASSERT_EQ(summed.stripes.size(), 9u);
    EXPECT_EQ(summed.stripes.front(), clWhite);
    EXPECT_EQ(summed.stripes, summary.stripes);
}

}  // namespace

// --- "&Imprimir" on a real print queue ---

namespace {

class ListingOnCups : public ListingForms {
protected:
    static void SetUpTestSuite() {
        spooler_ = new testsupport::PrivateSpooler();
        if (!spooler_->Running()) return;
        // The service turns the job's PDF into PostScript for the queue; its
        // default converter keeps the glyphs but loses which characters they
        // are, cairo's keeps both, so the file the queue writes reads as text.
        filetest::Shell("lpadmin -h " + spooler_->Server() + " -p " + spooler_->Queue() +
                        " -o pdftops-renderer-default=pdftocairo");
    }
    static void TearDownTestSuite() {
        delete spooler_;
        spooler_ = nullptr;
    }
    void SetUp() override {
        ListingForms::SetUp();
        if (!spooler_->Running()) GTEST_SKIP() << "no private print service: " << spooler_->SkipReason();
        backend_ = std::make_unique<TrpCupsBackend>(spooler_->Server());
        previousBackend_ = rpSetPrinterBackend(backend_.get());
        list_ = std::make_unique<TrpPrinterList>(backend_.get());
        previousList_ = rpSetPrinterList(list_.get());
    }
    void TearDown() override {
        if (list_ != nullptr) {
            rpSetPrinterList(previousList_);
            rpSetPrinterBackend(previousBackend_);
        }
        ListingForms::TearDown();
    }

    static testsupport::PrivateSpooler* spooler_;
    std::unique_ptr<TrpCupsBackend> backend_;
    std::unique_ptr<TrpPrinterList> list_;
    TrpPrinterBackend* previousBackend_ = nullptr;
    TrpPrinterList* previousList_ = nullptr;
};

testsupport::PrivateSpooler* ListingOnCups::spooler_ = nullptr;

TEST_F(ListingOnCups, PrintReachesTheQueueWithTheTotalsLine) {
    const TFormatSettings previous = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '.';
    struct Restore {
        TFormatSettings settings;
        ~Restore() { FormatSettings = settings; }
    } restore{previous};
    Invoice(1234, "Autorizada");
    Invoice(1235, "Cancelada");
    Invoice(1236, "Autorizada");
    auto* form = Open<TfrmNota403>();
    const std::size_t before = spooler_->OutputCount();
    // The print dialog offers the default printer, the queue: OK.
    previewtest::WhenOpen<TrpPrintDialogForm>([](TrpPrintDialogForm* dialog) { dialog->OK->Click(); });
    form->BitBtn2Click(nullptr);
    billtest::Pump();
    const std::string pdf = spooler_->WaitForOutput(before);
    ASSERT_FALSE(pdf.empty()) << "no output; the spooler's log:\n" << spooler_->Log();
    const std::string text = filetest::Shell("pdftotext -layout '" + pdf + "' -").Output;
    const size_t totais = text.find("TOTAIS");
    ASSERT_NE(totais, std::string::npos) << text;
    const std::string line = text.substr(totais, text.find('\n', totais) - totais);
    EXPECT_NE(line.find("200,00"), std::string::npos) << line;
    EXPECT_NE(line.find("36,00"), std::string::npos) << line;
    EXPECT_NE(line.find("2,000"), std::string::npos) << line;
    EXPECT_NE(text.find("001.234"), std::string::npos) << text;
    EXPECT_NE(text.find("* Não são consideradas na totalização"), std::string::npos) << text;
}

}  // namespace
