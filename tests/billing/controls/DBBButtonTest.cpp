// The record buttons: which ones the dataset's state enables, what a click
// does to the dataset, and when the form's own handler runs.
#include <map>

#include <QWidget>
#include <gtest/gtest.h>

#include "billing/controls/DBBButton.h"
#include "memtable/mtMemTable.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

namespace {

class Buttons : public ::testing::Test {
protected:
    void SetUp() override {
        ui::EnsureQtApplication();
        form = std::make_unique<TForm>(nullptr);
        table = new TmtMemTable(form.get());
        table->FieldDefs()->Add("Codigo", ftString, 5);
        table->FieldDefs()->Add("Nome", ftString, 20);
        source = new TDataSource(form.get());
        source->SetDataSet(table);
        for (int a = Novo; a <= Pesquisar; ++a) {
            auto* b = new TDBButton(form.get());
            b->SetParent(form.get());
            b->SetAcao(static_cast<TAcao>(a));
            b->SetDataSource(source);
            buttons[static_cast<TAcao>(a)] = b;
        }
    }
    void AddRows(int n) {
        for (int i = 1; i <= n; ++i) {
            table->Append();
            table->FieldByName("Codigo")->SetAsString(std::to_string(i));
            table->Post();
        }
    }
    // The actions whose button is enabled, as one text ("Novo Atualizar ...").
    std::string Enabled() const {
        static const char* names[] = {"Novo", "Excluir", "Editar", "Gravar", "Cancelar", "Apply", "Primeiro",
                                      "Proximo", "Anterior", "Ultimo", "Atualizar", "Fechar", "Pesquisar"};
        std::string out;
        for (const auto& [acao, b] : buttons)
            if (b->Enabled()) out += (out.empty() ? "" : " ") + std::string(names[acao]);
        return out;
    }

    ui::ScriptedDialogs dialogs{[](const std::string& m) { ADD_FAILURE() << m; }};
    std::unique_ptr<TForm> form;
    TmtMemTable* table = nullptr;
    TDataSource* source = nullptr;
    std::map<TAcao, TDBButton*> buttons;
};

}  // namespace

TEST_F(Buttons, EveryButtonIsDisabledWhileTheDatasetIsClosedFecharIncluded) {
    EXPECT_EQ(Enabled(), "");
    auto* unbound = new TDBButton(form.get());
    unbound->SetAcao(Fechar);
    EXPECT_FALSE(unbound->Enabled());
}

TEST_F(Buttons, TheStateOfTheDatasetDecidesWhichActionsAreOffered) {
    table->Open();
    EXPECT_EQ(Enabled(), "Novo Atualizar Fechar");

    table->Insert();
    EXPECT_EQ(Enabled(), "Gravar Cancelar Atualizar Fechar");
    table->Cancel();

    AddRows(3);
    table->First();
    EXPECT_EQ(Enabled(), "Novo Excluir Editar Proximo Ultimo Atualizar Fechar Pesquisar");
    table->Next();
    EXPECT_EQ(Enabled(), "Novo Excluir Editar Primeiro Proximo Anterior Ultimo Atualizar Fechar Pesquisar");
    table->Last();
    EXPECT_EQ(Enabled(), "Novo Excluir Editar Primeiro Anterior Atualizar Fechar Pesquisar");

    table->Edit();
    EXPECT_EQ(Enabled(), "Gravar Cancelar Atualizar Fechar");
    table->Cancel();
    table->Close();
    EXPECT_EQ(Enabled(), "");
}

TEST_F(Buttons, SettingTheActionLoadsItsCaptionAndGlyph) {
    TDBButton fresh(nullptr);
    EXPECT_EQ(fresh.Acao(), Novo);
    EXPECT_EQ(fresh.Caption(), "Novo");
    EXPECT_TRUE(fresh.HasGlyph());
    fresh.SetAcao(Gravar);
    EXPECT_EQ(fresh.Caption(), "&Salvar");
    EXPECT_EQ(TDBBitBtn::GlyphName(Gravar), "BXTGRAVAR");
    fresh.SetAcao(Fechar);
    EXPECT_EQ(fresh.Caption(), "Fechar");
    EXPECT_FALSE(fresh.HasGlyph());
    fresh.SetAcao(Proximo);
    EXPECT_EQ(fresh.Caption(), "Próximo");
}

TEST_F(Buttons, AClickRunsTheActionAndThenTheFormsHandler) {
    table->Open();
    std::vector<std::string> order;
    TDBButton* novo = buttons[Novo];
    novo->OnClick = [&](TObject*) { order.push_back(DataSetStateName(table->State())); };
    novo->Click();
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0], "dsInsert");
    table->FieldByName("Codigo")->SetAsString("9");
    buttons[Gravar]->Click();
    EXPECT_EQ(table->State(), dsBrowse);
    EXPECT_EQ(table->RecordCount(), 1);
}

TEST_F(Buttons, ARefusedSaveStopsBeforeTheFormsHandler) {
    table->Open();
    table->BeforePost = [](TDataSet*) { Abort(); };
    bool handlerRan = false;
    buttons[Gravar]->OnClick = [&](TObject*) { handlerRan = true; };
    table->Insert();
    EXPECT_THROW(buttons[Gravar]->Click(), EAbort);
    EXPECT_FALSE(handlerRan);
    EXPECT_EQ(table->State(), dsInsert);
}

TEST_F(Buttons, DeleteAsksFirstAndNoKeepsTheRecordButStillRunsTheHandler) {
    table->Open();
    AddRows(2);
    int handlerRuns = 0;
    buttons[Excluir]->OnClick = [&](TObject*) { ++handlerRuns; };

    dialogs.Expect("Confirma a exclusão do Registro ?", mrNo, "Excluir");
    buttons[Excluir]->Click();
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(handlerRuns, 1);

    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    buttons[Excluir]->Click();
    EXPECT_EQ(table->RecordCount(), 1);
    EXPECT_EQ(handlerRuns, 2);
}

TEST_F(Buttons, NavigationButtonsMoveTheCursor) {
    table->Open();
    AddRows(3);
    buttons[Primeiro]->Click();
    EXPECT_EQ(table->FieldByName("Codigo")->AsString(), "1");
    buttons[Proximo]->Click();
    EXPECT_EQ(table->FieldByName("Codigo")->AsString(), "2");
    buttons[Ultimo]->Click();
    EXPECT_EQ(table->FieldByName("Codigo")->AsString(), "3");
    buttons[Anterior]->Click();
    EXPECT_EQ(table->FieldByName("Codigo")->AsString(), "2");
}

TEST_F(Buttons, AFreedDataSourceIsForgotten) {
    table->Open();
    TDBButton* b = buttons[Novo];
    EXPECT_TRUE(b->Enabled());
    delete source;
    source = nullptr;
    EXPECT_EQ(b->DataSource(), nullptr);
    EXPECT_FALSE(b->Enabled());
    b->Click();  // nothing to act on; must not touch the freed source
}
