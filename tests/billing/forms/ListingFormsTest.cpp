// The listings' forms: the criteria refused with their messages, and
// "&Visualizar" opening the preview maximised at 100 % on the report's
// first page.
#include <QTimer>

#include "billing/forms/Nota300.h"
#include "billing/forms/Nota403.h"
#include "billing/forms/Nota409.h"
#include "billing/listings/ListingReport.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "preview/rpPreview.h"
#include "preview/rpPreviewRegister.h"
#include "preview/rpViewer.h"
#include "report/rpMainReport.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"
#include "tests/billing/forms/FormFixture.h"

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
