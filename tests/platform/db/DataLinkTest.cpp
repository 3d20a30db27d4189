// Data sources and links: master/detail, field links for controls, the
// notifications a link receives, and what disabling controls holds back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "tests/platform/db/VectorDataSet.h"

using testsupport::VectorDataSet;

namespace {

// Invoices and their items, linked by invoice number.
class MasterDetail : public ::testing::Test {
protected:
    void SetUp() override {
        nota.FieldDefs()->Add("Numero", ftInteger);
        nota.FieldDefs()->Add("Cliente", ftString, 20);
        nota.Open();
        nota.AppendRecord({Variant(1), Variant("Ana")});
        nota.AppendRecord({Variant(2), Variant("Bruno")});
        nota.AppendRecord({Variant(3), Variant("Carla")});
        nota.First();

        item.FieldDefs()->Add("Nota", ftInteger);
        item.FieldDefs()->Add("Produto", ftString, 20);
        item.Open();
        for (auto [n, p] : std::vector<std::pair<int, const char*>>{
                 {1, "caneta"}, {2, "lápis"}, {1, "caderno"}, {3, "régua"}, {2, "borracha"}, {2, "cola"}})
            item.AppendRecord({Variant(n), Variant(p)});
        item.Close();

        source.SetDataSet(&nota);
        item.SetMasterSource(&source);
        item.SetMasterFields("Numero");
        item.SetDetailFields("Nota");
        item.Open();
    }

    std::vector<std::string> Items() {
        std::vector<std::string> out;
        for (item.First(); !item.Eof(); item.Next()) out.push_back(item.FieldByName("Produto")->AsString());
        return out;
    }

    VectorDataSet nota;
    VectorDataSet item;
    TDataSource source{nullptr};
};

TEST_F(MasterDetail, DetailFollowsTheMastersScrolling) {
    EXPECT_EQ(Items(), (std::vector<std::string>{"caneta", "caderno"}));
    nota.Next();
    EXPECT_EQ(item.FieldByName("Produto")->AsString(), "lápis");
    EXPECT_EQ(Items(), (std::vector<std::string>{"lápis", "borracha", "cola"}));
    EXPECT_EQ(item.RecordCount(), 3);
    nota.Last();
    EXPECT_EQ(Items(), (std::vector<std::string>{"régua"}));
    ASSERT_TRUE(nota.Locate("Cliente", Variant("Ana"), {}));
    EXPECT_EQ(Items(), (std::vector<std::string>{"caneta", "caderno"}));
    nota.MoveBy(1);
    EXPECT_EQ(item.FieldByName("Nota")->AsInteger(), 2);
}

TEST_F(MasterDetail, NewDetailRowsTakeTheMasterKey) {
    nota.Next();
    item.Append();
    EXPECT_EQ(item.FieldByName("Nota")->AsInteger(), 2);
    item.FieldByName("Produto")->SetAsString("grampo");
    item.Post();
    EXPECT_EQ(item.RecordCount(), 4);
    nota.First();
    EXPECT_EQ(item.RecordCount(), 2);
}

TEST_F(MasterDetail, EditingTheMasterKeyMovesTheDetailAndAPendingDetailEditIsPosted) {
    item.Edit();
    item.FieldByName("Produto")->SetAsString("caneta azul");
    nota.Next();  // the master moves: the detail's edit is posted first
    EXPECT_EQ(item.State(), dsBrowse);
    nota.First();
    EXPECT_EQ(Items(), (std::vector<std::string>{"caneta azul", "caderno"}));

    nota.Edit();
    nota.FieldByName("Numero")->SetAsInteger(3);
    EXPECT_EQ(Items(), (std::vector<std::string>{"régua"}));
    nota.Cancel();
    EXPECT_EQ(Items(), (std::vector<std::string>{"caneta azul", "caderno"}));
}

TEST_F(MasterDetail, ClosingTheMasterReleasesTheDetail) {
    nota.Close();
    EXPECT_EQ(item.RecordCount(), 6);
    nota.Open();
    EXPECT_EQ(item.RecordCount(), 2);
    source.SetEnabled(false);
    EXPECT_EQ(item.RecordCount(), 6);
}

TEST_F(MasterDetail, ControlsDisabledOnTheMasterHoldTheDetailBack) {
    nota.DisableControls();
    nota.Next();
    EXPECT_EQ(item.FieldByName("Nota")->AsInteger(), 1);
    nota.EnableControls();
    EXPECT_EQ(item.FieldByName("Nota")->AsInteger(), 2);
}

TEST_F(MasterDetail, CircularLinksAreRefused) {
    TDataSource itemSource(nullptr);
    itemSource.SetDataSet(&item);
    EXPECT_THROW(nota.SetMasterSource(&itemSource), EDatabaseError);
    EXPECT_THROW(item.SetMasterSource(&itemSource), EDatabaseError);
    EXPECT_EQ(nota.DataSource(), nullptr);
    EXPECT_TRUE(item.IsLinkedTo(&itemSource));
    EXPECT_TRUE(source.IsLinkedTo(&item));
    EXPECT_FALSE(itemSource.IsLinkedTo(&nota));
}

TEST_F(MasterDetail, MasterFieldsMustExist) {
    item.Close();
    item.Open();
    EXPECT_THROW(item.SetMasterFields("NaoExiste"), EDatabaseError);
}

TEST_F(MasterDetail, AMasterReopenedWhileItsControlsAreDisabledIsFollowedWithItsNewFields) {
    // Closing frees the master's fields; the link must not keep them past
    // the reopening that the disabled controls hid from it.
    nota.DisableControls();
    nota.Close();
    nota.Open();
    nota.Next();
    nota.EnableControls();
    ASSERT_EQ(item.MasterLink()->Fields().size(), 1u);
    EXPECT_EQ(item.MasterLink()->Fields()[0], nota.FieldByName("Numero"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"lápis", "borracha", "cola"}));
    nota.Next();
    EXPECT_EQ(Items(), (std::vector<std::string>{"régua"}));
}

// --- field links, as data-aware edits use them ---------------------------------

class EditControl {
public:
    explicit EditControl(TDataSource* src, const std::string& field) {
        link.OnDataChange = [this](TObject*) {
            text = link.Field() != nullptr ? link.Field()->Text() : "";
            ++shown;
        };
        link.OnUpdateData = [this](TObject*) { link.Field()->SetText(text); };
        link.OnEditingChange = [this](TObject*) { editing.push_back(link.Editing()); };
        link.OnActiveChange = [this](TObject*) { ++activeChanges; };
        link.SetDataSource(src);
        link.SetFieldName(field);
    }
    // The user types: the control starts an edit when the source allows it.
    bool Type(const std::string& value) {
        if (!link.Edit()) return false;
        text = value;
        link.Modified();
        return true;
    }

    TFieldDataLink link;
    std::string text;
    int shown = 0;
    int activeChanges = 0;
    std::vector<bool> editing;
};

TEST(FieldDataLink, ShowsTheFieldAndWritesTypedTextAtPost) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 20);
    d.FieldDefs()->Add("Idade", ftInteger);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    EditControl nome(&src, "Nome");
    EditControl idade(&src, "Idade");
    EXPECT_EQ(nome.link.Field(), nullptr);
    d.Open();
    EXPECT_EQ(nome.activeChanges, 1);
    ASSERT_NE(nome.link.Field(), nullptr);
    d.AppendRecord({Variant("Ana"), Variant(30)});
    EXPECT_EQ(nome.text, "Ana");
    EXPECT_EQ(idade.text, "30");
    nome.editing.clear();

    EXPECT_TRUE(nome.Type("Beatriz"));  // AutoEdit starts the edit
    EXPECT_EQ(d.State(), dsEdit);
    EXPECT_EQ(d.FieldByName("Nome")->AsString(), "Ana");  // not yet written
    d.Post();  // the pending text reaches the field before posting
    EXPECT_EQ(d.FieldByName("Nome")->AsString(), "Beatriz");
    EXPECT_EQ(nome.text, "Beatriz");
    EXPECT_EQ(nome.editing, (std::vector<bool>{true, false}));

    // A field change repaints only the controls of that field.
    int idadeShown = idade.shown;
    d.Edit();
    idadeShown = idade.shown;
    int nomeShown = nome.shown;
    d.FieldByName("Nome")->SetAsString("Bia");
    EXPECT_EQ(idade.shown, idadeShown);
    EXPECT_EQ(nome.shown, nomeShown + 1);
    EXPECT_EQ(nome.text, "Bia");
    d.Cancel();
    EXPECT_EQ(nome.text, "Beatriz");
}

TEST(FieldDataLink, DisplaySettersRepaintTheBoundControls) {
    VectorDataSet d;
    d.FieldDefs()->Add("Cnpj", ftString, 20);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    EditControl cnpj(&src, "Cnpj");
    d.Open();
    d.AppendRecord({Variant("12345678000195")});
    // The clients register switches between the CPF and CNPJ masks per row:
    // a bound edit must hear of it at once, and only when it really changes.
    int shown = cnpj.shown;
    d.FieldByName("Cnpj")->SetEditMask("00.000.000/0000-00;0;_");
    EXPECT_GT(cnpj.shown, shown);
    shown = cnpj.shown;
    d.FieldByName("Cnpj")->SetEditMask("00.000.000/0000-00;0;_");
    EXPECT_EQ(cnpj.shown, shown);
}

TEST(FieldDataLink, AMissingRequiredValueAsksForItsControl) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 20);
    d.FieldDefs()->Add("Cidade", ftString, 20);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    EditControl nome(&src, "Nome");
    EditControl cidade(&src, "Cidade");
    int nomeFocus = 0, cidadeFocus = 0;
    nome.link.OnFocusControl = [&](TObject*) { ++nomeFocus; };
    cidade.link.OnFocusControl = [&](TObject*) { ++cidadeFocus; };
    d.Open();
    d.FieldByName("Cidade")->SetRequired(true);
    d.Append();
    d.FieldByName("Nome")->SetAsString("Ana");
    EXPECT_THROW(d.Post(), EDatabaseError);
    EXPECT_EQ(cidadeFocus, 1);
    EXPECT_EQ(nomeFocus, 0);
    d.Cancel();
}

TEST(FieldDataLink, WithoutAutoEditTypingDoesNotStartAnEdit) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 20);
    TDataSource src(nullptr);
    src.SetAutoEdit(false);
    src.SetDataSet(&d);
    EditControl nome(&src, "Nome");
    d.Open();
    d.AppendRecord({Variant("Ana")});
    EXPECT_FALSE(nome.Type("X"));
    EXPECT_EQ(d.State(), dsBrowse);
    d.Edit();
    EXPECT_TRUE(nome.Type("Ada"));
    d.Post();
    EXPECT_EQ(d.FieldByName("Nome")->AsString(), "Ada");
}

TEST(FieldDataLink, AMissingFieldLeavesTheLinkWithoutField) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 20);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    d.Open();
    TFieldDataLink link;
    link.SetDataSource(&src);
    link.SetFieldName("Outro");
    EXPECT_EQ(link.Field(), nullptr);
    EXPECT_FALSE(link.CanModify());
    link.SetFieldName("nome");
    EXPECT_EQ(link.Field(), d.FieldByName("Nome"));
    d.Close();
    EXPECT_EQ(link.Field(), nullptr);
}

TEST(FieldDataLink, AReopeningHiddenByDisabledControlsLeavesNoFreedField) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 20);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    EditControl nome(&src, "Nome");
    d.Open();
    d.AppendRecord({Variant("Ana")});
    TField* before = nome.link.Field();
    ASSERT_NE(before, nullptr);

    d.DisableControls();
    d.Close();
    // A field freed under a link that cannot hear yet is dropped at once.
    EXPECT_EQ(nome.link.Field(), nullptr);
    d.Open();
    d.EnableControls();
    EXPECT_EQ(nome.link.Field(), d.FieldByName("Nome"));
    EXPECT_EQ(nome.text, "Ana");
    EXPECT_TRUE(nome.Type("Bia"));
    d.Post();
    EXPECT_EQ(d.FieldByName("Nome")->AsString(), "Bia");

    // The same through a disabled data source.
    src.SetEnabled(false);
    d.Close();
    EXPECT_EQ(nome.link.Field(), nullptr);
    d.Open();
    src.SetEnabled(true);
    EXPECT_EQ(nome.link.Field(), d.FieldByName("Nome"));
    EXPECT_EQ(nome.text, "Bia");
}

// --- what the data source and a plain link are told ------------------------------

class RecordingLink : public TDataLink {
public:
    std::vector<std::string> log;

protected:
    void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
    void DataSetChanged() override { log.push_back("changed"); }
    void DataSetScrolled(int) override { log.push_back("scrolled"); }
    void RecordChanged(TField* f) override { log.push_back("record " + (f ? f->FieldName() : std::string("*"))); }
    void CheckBrowseMode() override { log.push_back("check"); }
    void UpdateData() override { log.push_back("update"); }
};

TEST(DataLinkNotifications, FollowOpenEditPostAndClose) {
    VectorDataSet d;
    d.FieldDefs()->Add("A", ftInteger);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    RecordingLink link;
    link.SetDataSource(&src);
    d.Open();
    d.AppendRecord({Variant(1)});
    d.AppendRecord({Variant(2)});
    link.log.clear();

    d.First();
    EXPECT_EQ(link.log, (std::vector<std::string>{"check", "changed"}));
    link.log.clear();
    d.Next();
    EXPECT_EQ(link.log, (std::vector<std::string>{"check", "scrolled"}));
    link.log.clear();
    d.Edit();
    d.FieldByName("A")->SetAsInteger(5);
    d.Post();
    EXPECT_EQ(link.log, (std::vector<std::string>{"check", "editing", "record *", "record A", "update", "check",
                                                  "browsing", "changed"}));
    link.log.clear();
    d.Close();
    EXPECT_EQ(link.log, (std::vector<std::string>{"inactive"}));
    link.SetDataSource(nullptr);
}

TEST(DataLinkNotifications, DisabledControlsHearOneChangeAtTheEnd) {
    VectorDataSet d;
    d.FieldDefs()->Add("A", ftInteger);
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    int dataChanges = 0, stateChanges = 0;
    src.OnDataChange = [&](TObject*, TField*) { ++dataChanges; };
    src.OnStateChange = [&](TObject*) { ++stateChanges; };
    d.Open();
    dataChanges = stateChanges = 0;
    d.DisableControls();
    EXPECT_TRUE(d.ControlsDisabled());
    for (int i = 0; i < 5; ++i) d.AppendRecord({Variant(i)});
    d.First();
    d.Edit();
    EXPECT_EQ(dataChanges, 0);
    EXPECT_EQ(stateChanges, 0);
    d.EnableControls();
    EXPECT_FALSE(d.ControlsDisabled());
    EXPECT_EQ(stateChanges, 1);  // browse -> edit, told once
    EXPECT_EQ(dataChanges, 1);
    EXPECT_EQ(src.State(), dsEdit);
    d.Cancel();
}

TEST(DataLinkNotifications, FreeingTheDatasetLeavesTheSourceEmpty) {
    TDataSource src(nullptr);
    RecordingLink link;
    link.SetDataSource(&src);
    {
        VectorDataSet d;
        d.FieldDefs()->Add("A", ftInteger);
        src.SetDataSet(&d);
        d.Open();
        EXPECT_TRUE(link.Active());
    }
    EXPECT_EQ(src.DataSet(), nullptr);
    EXPECT_EQ(src.State(), dsInactive);
    EXPECT_FALSE(link.Active());
    link.SetDataSource(nullptr);
}

}  // namespace
