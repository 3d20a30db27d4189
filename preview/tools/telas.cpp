// Pictures of the preview window for the documentation: a sample listing of
// issued invoices (150 invoices, two passes, "Página n de m" in the header)
// previewed maximised at 100 %, then at whole page, then the print dialog
// when one is registered, then the e-mail window. The exit code is 0 when
// every picture was written.
//   preview-telas <folder>  ->  <folder>/previa-100.png, previa-pagina.png,
//                               impressao.png, email.png
// Run it under a virtual screen: xvfb-run -s "-screen 0 1280x800x24" ...
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "memtable/mtMemTable.h"
#include "platform/ui/Forms.h"
#include "preview/rpPreview.h"
#include "preview/rpPreviewRegister.h"
#include "preview/rpViewer.h"
#include "report/rpBandedReport.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpGeneration.h"
#include "report/rpRegister.h"
#include "report_output/rpDBText.h"
#include "report_output/rpEmail.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"

namespace {

int32_t mm(double Value) { return static_cast<int32_t>(std::lround(Value * 1000)); }

// The invoices the listing walks.
struct Invoices {
    Invoices() {
        table.FieldDefs()->Add("Serie", ftString, 3);
        table.FieldDefs()->Add("Numero", ftInteger);
        table.FieldDefs()->Add("Emissao", ftString, 10);
        table.FieldDefs()->Add("Cliente", ftString, 60);
        table.FieldDefs()->Add("Total", ftFloat);
        table.FieldDefs()->Add("Situacao", ftString, 20);
        table.Open();
        const char* clients[] = {"Ana Comércio de Tecidos Ltda", "Bruno & Filhos", "Carla Ltda ME",
                                 "Distribuidora São João", "Elétrica Paraná"};
        for (int n = 1; n <= 150; ++n)
            table.AppendRecord({Variant("1"), Variant(1000 + n), Variant("14/03/2026"), Variant(clients[n % 5]),
                                Variant((n * 7919 % 100000) / 100.0 + 35.0),
                                Variant(n % 11 == 0 ? "Cancelada" : "Autorizada")});
        table.First();
        source.SetDataSet(&table);
        pipeline.SetName("plNotas");
        pipeline.SetDataSource(&source);
    }
    TmtMemTable table{nullptr};
    TDataSource source{nullptr};
    TrpDBPipeline pipeline{nullptr};
};

template <class T>
T* Place(TComponent* Owner, TrpBand* Band, double Left, double Top, double Width, TrpTextAlignment Align) {
    auto* c = new T(Owner);
    c->SetBand(Band);
    c->SetAutoSize(false);
    c->SetBounds(mm(Left), mm(Top), mm(Width), mm(4.0));
    c->SetTextAlignment(Align);
    return c;
}

void Label(TComponent* Owner, TrpBand* Band, const std::string& Caption, double Left, double Top, double Width,
           TrpTextAlignment Align = taLeftJustified) {
    Place<TrpLabel>(Owner, Band, Left, Top, Width, Align)->SetCaption(Caption);
}

void Field(TComponent* Owner, TrpBand* Band, TrpDBPipeline* Pipeline, const std::string& Name, double Left,
           double Width, const std::string& Format = "", TrpTextAlignment Align = taLeftJustified) {
    auto* t = Place<TrpDBText>(Owner, Band, Left, 0.3, Width, Align);
    t->SetDataPipeline(Pipeline);
    t->SetDataField(Name);
    t->SetDisplayFormat(Format);
}

// The listing of issued invoices, laid out as the billing form lays it.
TrpBandedReport* MakeListing(TComponent* Owner, TrpDBPipeline* Pipeline) {
    auto* r = new TrpBandedReport(Owner);
    TrpPageDef* def = r->PrinterSetup()->PageDef();
    def->SetmmWidth(210000);
    def->SetmmHeight(297000);
    for (auto set : {&TrpPageDef::SetmmMarginLeft, &TrpPageDef::SetmmMarginRight, &TrpPageDef::SetmmMarginTop,
                     &TrpPageDef::SetmmMarginBottom})
        (def->*set)(6350);
    r->SetDataPipeline(Pipeline);
    r->CreateDefaultBands();
    r->SetPassSetting(psTwoPass);
    r->HeaderBand()->SetmmHeight(mm(24.1));
    r->DetailBand()->SetmmHeight(mm(4.5));
    r->FooterBand()->SetmmHeight(mm(5.8));
    Label(Owner, r->HeaderBand(), "Faturamento Exemplo Ltda", 25.7, 2.4, 154.5, taCentered);
    Label(Owner, r->HeaderBand(), "Prg: NOTA403", 3.4, 7.9, 23.1);
    Label(Owner, r->HeaderBand(), "Notas Fiscais Emitidas entre: 14/03/2026 E 14/03/2026", 41.5, 7.4, 115.4,
          taCentered);
    auto* pages = Place<TrpSystemVariable>(Owner, r->HeaderBand(), 150.6, 7.4, 43.9, taRightJustified);
    pages->SetVarType(vtPageSetDesc);
    const std::pair<const char*, double> titles[] = {{"Série", 4.0},   {"NF", 15.1},         {"Emissão", 34.7},
                                                     {"Cliente", 53.4}, {"Total Nota", 136.9}, {"Situação", 165.2}};
    for (const auto& [title, left] : titles) Label(Owner, r->HeaderBand(), title, left, 19.1, 20);
    Field(Owner, r->DetailBand(), Pipeline, "Serie", 4.0, 8.2);
    Field(Owner, r->DetailBand(), Pipeline, "Numero", 14.8, 14.8, "000,000");
    Field(Owner, r->DetailBand(), Pipeline, "Emissao", 34.1, 17.2);
    Field(Owner, r->DetailBand(), Pipeline, "Cliente", 53.2, 79.8);
    Field(Owner, r->DetailBand(), Pipeline, "Total", 136.4, 17.2, "##,###,##0.00", taRightJustified);
    Field(Owner, r->DetailBand(), Pipeline, "Situacao", 165.4, 25.3);
    Label(Owner, r->FooterBand(), "Emitido pelo sistema de faturamento", 2.9, 0.5, 193.1, taRightJustified);
    return r;
}

bool Save(QWidget* W, const std::string& Path) {
    QApplication::processEvents();
    // The whole screen: what a clerk sees, window manager included.
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap picture = screen != nullptr ? screen->grabWindow(0) : W->window()->grab();
    const bool ok = picture.save(QString::fromStdString(Path), "PNG");
    if (ok)
        std::printf("gravado %s\n", Path.c_str());
    else
        std::fprintf(stderr, "FALHOU: não foi possível gravar %s\n", Path.c_str());
    return ok;
}

void Later(int Milliseconds, std::function<void()> Step) { QTimer::singleShot(Milliseconds, qApp, std::move(Step)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <pasta de saída>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    ui::StartApplication(argc, argv);
    Application->Initialize();
    rpUseScreenResolution();
    report::registerAll();
    report_output::registerAll();
    preview::registerAll();
    rpInstallApplicationMessagePump();

    int saved = 0, wanted = 2;
    {
        Invoices data;
        TComponent owner(nullptr);
        TrpBandedReport* report = MakeListing(&owner, &data.pipeline);
        report->SetModalPreview(true);
        report->PreviewFormSettings()->SetZoomSetting(zs100Percent);
        // Waits for the job, then takes the pictures one after the other.
        std::function<void()> step;
        report->OnPreviewFormCreate = [&](TObject*) {
            auto* preview = dynamic_cast<TrpPrintPreview*>(report->PreviewForm());
            preview->SetWindowState(wsMaximized);
            step = [&, preview] {
                if (preview->Viewer()->Printing()) {
                    Later(200, step);
                    return;
                }
                saved += Save(preview->Form()->Widget(), out + "/previa-100.png");
                preview->Viewer()->SetZoomSetting(zsWholePage);
                preview->UpdateButtons();
                Later(500, [&, preview] {
                    saved += Save(preview->Form()->Widget(), out + "/previa-pagina.png");
                    if (GetFormClass(TrpCustomPrintDialog::StaticClassType()) == nullptr) {
                        std::printf("sem diálogo de impressão registrado: impressao.png não foi gravada\n");
                        preview->Close();
                        return;
                    }
                    ++wanted;
                    // The print dialog is modal: its picture is taken from
                    // inside its loop, then it is cancelled with Esc.
                    Later(800, [&] {
                        saved += Save(QApplication::activeWindow(), out + "/impressao.png");
                        if (QWidget* w = QApplication::activeModalWidget()) w->close();
                        Later(300, [preview] { preview->Close(); });
                    });
                    preview->PrintClick();
                });
            };
            Later(500, step);
        };
        report->PrintReport();
    }
    // The e-mail window as the clerk sees it: menus, toolbar, fields and
    // status bar, taken from inside its modal loop.
    if (TClass kind = GetFormClass(TrpCustomEmailDialog::StaticClassType())) {
        ++wanted;
        std::unique_ptr<TrpCustomEmailDialog> mail(static_cast<TrpCustomEmailDialog*>(CreateInstance(kind, nullptr)));
        TrpEmailSettings settings;
        TStringList to, body;
        to.Add("financeiro@cliente.com.br");
        body.Add("Segue em anexo a relação de notas fiscais emitidas.");
        settings.SetRecipients(&to);
        settings.SetBody(&body);
        settings.SetSubject("Notas Fiscais Emitidas - 14/03/2026");
        settings.SetFileName("notas-emitidas.pdf");
        mail->SetEmailSettings(&settings);
        Later(800, [&] {
            saved += Save(QApplication::activeWindow(), out + "/email.png");
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        mail->ShowModal();
    }
    preview::unregisterAll();
    report_output::unregisterAll();
    report::unregisterAll();
    return saved == wanted ? 0 : 1;
}
