#include "billing/forms/RegisterExtras.h"

#include <filesystem>

#include "billing/data/AppFiles.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Strings.h"

namespace billing::forms {

std::string MascaraCpfCnpj(const std::string& Natureza) {
    return Natureza == "Jurídica" ? kMascaraCNPJ : kMascaraCPF;
}

void AplicaMascaraCpfCnpj(TDataSet* DataSet) {
    if (!DataSet->Active()) return;
    DataSet->FieldByName("cpf_cnpj")->SetEditMask(MascaraCpfCnpj(DataSet->FieldByName("natureza")->AsString()));
}

TPanel* PlaceDescricao(TComponent* Owner, TWinControl* Parent, const std::string& Name, int Left, int Top,
                       int Width) {
    auto* p = Place<TPanel>(Owner, Parent, Name, Left, Top + 16, Width, 23);
    p->SetAlignment(taLeftJustify);
    p->SetBevelOuter(bvLowered);
    p->SetCaption("");
    return p;
}

TDBComboBox* PlaceLista(RegisterForm* Form, TWinControl* Parent, const std::string& Field, const std::string& Caption,
                        int Left, int Top, int Width, std::initializer_list<const char*> Items) {
    auto* c = PlaceField<TDBComboBox>(Form, Parent, Field, Caption, Left, Top, Width);
    c->SetStyle(csDropDownList);
    for (const char* i : Items) c->Items()->Add(i);
    return c;
}

std::unique_ptr<TSQLQuery> Opcoes() {
    auto q = std::make_unique<TSQLQuery>(nullptr);
    q->SetConnection(dmdb->ADOConnection);
    q->SetSQL("select * from opcao");
    q->Open();
    return q;
}

void MostraMunicipio(const TField* Field, TPanel* Nome, TPanel* Uf) {
    // An empty register shows no row: there is no municipality to miss.
    const TDataSet* data = Field != nullptr ? Field->DataSet() : nullptr;
    // Nor is there one while no code is typed (a new row): "?" marks only a
    // code that names no municipality.
    const bool noRow = data == nullptr || !data->Active() || (data->State() == dsBrowse && data->IsEmpty());
    const bool noCode = Field == nullptr || Field->IsNull() || Trim(Field->AsString()).empty();
    Nome->SetCaption(noRow || noCode ? "" : "?");
    Uf->SetCaption(noRow || noCode ? "" : "?");
    if (noCode) return;
    TSQLQuery q(nullptr);
    q.SetConnection(dmdb->ADOConnection);
    q.SetSQL(kMunicipioSql);
    q.ParamByName("pid_municipio")->SetValue(Field->Value());
    q.Open();
    if (!q.IsEmpty()) {
        Nome->SetCaption(q.FieldByName("nome")->AsString());
        Uf->SetCaption(q.FieldByName("uf")->AsString());
    }
    q.Close();
}

void BindMunicipio(TDataSet* DataSet, TexDBComboDlg* Edit, TPanel* Nome, TPanel* Uf,
                   std::function<std::string()> Search) {
    if (!Search) Search = [] { return Pesquisa_Municipio(); };
    Edit->OnExit = [Edit, Nome, Uf](TObject*) { MostraMunicipio(Edit->Field(), Nome, Uf); };
    Edit->OnCustomDlg = [DataSet, Edit, Nome, Uf, Search](TObject*) {
        std::string found = Search();
        if (found.empty()) return;  // cancelled: the field stays as it was
        if (DataSet->State() != dsEdit && DataSet->State() != dsInsert) return;
        // A result that is no number leaves the key as it was.
        if (TField* f = Edit->Field(); StoreSearchResult(f, found)) MostraMunicipio(f, Nome, Uf);
    };
}

TOpenDialog* NewLogoDialog(TComponent* Owner) {
    auto* dialog = new TOpenDialog(Owner);
    dialog->SetName("OpenDialog");
    dialog->SetDefaultExt("*.jpg");
    dialog->SetFilter(kFiltroImagem);
    return dialog;
}

bool EscolheLogotipo(TDataSet* DataSet, const std::string& Column, TOpenDialog* Dialog) {
    if (DataSet->State() != dsEdit && DataSet->State() != dsInsert) return false;
    std::string exe = billing::data::AppFiles::CurrentExecutable();
    Dialog->SetInitialDir(std::filesystem::path(exe).parent_path().string());
    if (!Dialog->Execute()) return false;
    DataSet->FieldByName(Column)->SetAsString(Dialog->FileName());
    return true;
}

void MostraLogotipo(TDataSet* DataSet, const std::string& Column, TImage* Image, std::string& Reported) {
    TField* field = DataSet->Active() ? DataSet->FindField(Column) : nullptr;
    std::string file = field != nullptr ? Trim(field->AsString()) : std::string();
    if (file.empty()) {
        Image->Clear();
        Reported.clear();
        return;
    }
    if (Image->LoadFromFile(file)) {
        Reported.clear();
    } else if (file != Reported) {
        Reported = file;
        Box("Não foi possível carregar o logotipo \"" + file + "\".", "Atenção");
    }
}

void ReportKeyClash(TDataSet* DataSet, std::function<std::string()> Message) {
    // Whatever the save layer does with other failures (a row another user
    // changed) stays as it was.
    TDataSetErrorEvent previous = DataSet->OnPostError;
    DataSet->OnPostError = [Message, previous](TDataSet* D, EDatabaseError& E, TDataAction& Action) {
        auto* sql = dynamic_cast<ESQLiteError*>(&E);
        if (sql == nullptr || !sql->IsConstraintViolation()) {
            if (previous) previous(D, E, Action);
            return;
        }
        Box(Message(), "Atenção", mtWarning);
        Action = daAbort;
    };
}

void DressFields(TDataSet* DataSet, std::vector<FieldDress> Dress) {
    auto apply = [Dress](TDataSet* d) {
        for (const FieldDress& f : Dress) {
            TField* field = d->FindField(f.field);
            if (field == nullptr) continue;
            if (*f.editMask) field->SetEditMask(f.editMask);
            if (*f.displayFormat) {
                if (auto* n = dynamic_cast<TNumericField*>(field)) n->SetDisplayFormat(f.displayFormat);
                else if (auto* t = dynamic_cast<TDateTimeField*>(field)) t->SetDisplayFormat(f.displayFormat);
            }
        }
    };
    if (DataSet->Active()) apply(DataSet);
    TDataSetNotifyEvent previous = DataSet->AfterOpen;
    DataSet->AfterOpen = [apply, previous](TDataSet* d) {
        apply(d);
        if (previous) previous(d);
    };
}

}  // namespace billing::forms
