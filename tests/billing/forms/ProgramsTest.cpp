// The programs register and the users' rights grid: a program's description
// is shown, typed and stored whole, the longest built-in one included.
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota114.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

const std::string kLongest = "Inutiliza Faixa de Numeração NF-e";  // 33 characters

class Programs : public billtest::MdiSession {
protected:
    template <class F>
    std::unique_ptr<F> Open() {
        auto form = std::make_unique<F>(nullptr);
        form->DoCreate();
        form->Show();
        billtest::Pump();
        return form;
    }
};

}  // namespace

TEST_F(Programs, TheRegisterShowsAndStoresADescriptionWhole) {
    auto form = Open<TfrmNota114>();
    ASSERT_TRUE(form->qryPrograma->Locate("Id_Programa", "NOTA231", {}));
    EXPECT_EQ(form->qryPrograma->FieldByName("Descricao")->AsString(), kLongest);
    EXPECT_EQ(form->dbeDescricao->Text(), kLongest);

    const std::string typed = "Relatório de Inutilizações de NF-e";  // 34 characters
    form->btnInsert->Click();
    form->qryPrograma->FieldByName("Id_Programa")->SetAsString("NOTA998");
    form->qryPrograma->FieldByName("Descricao")->SetAsString(typed);
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from programa where id_programa = 'NOTA998'"), typed);
}

TEST_F(Programs, TheRightsGridShowsEveryDescriptionWhole) {
    auto form = Open<TfrmNota111>();
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "Admin", {}));
    form->Mostra_Programas();
    ASSERT_TRUE(form->tbTemp->Locate("Id_programa", "NOTA231", {}));
    EXPECT_EQ(form->tbTemp->FieldByName("descricao")->AsString(), kLongest);
    int rows = 0;
    for (form->tbTemp->First(); !form->tbTemp->Eof(); form->tbTemp->Next(), ++rows) {
        const std::string id = form->tbTemp->FieldByName("Id_programa")->AsString();
        EXPECT_EQ(form->tbTemp->FieldByName("descricao")->AsString(),
                  Scalar("select descricao from programa where id_programa = '" + id + "'"))
            << id;
    }
    EXPECT_EQ(rows, Count("select count(*) from programa"));
}
