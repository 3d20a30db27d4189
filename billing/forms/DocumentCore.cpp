#include "billing/forms/DocumentCore.h"

#include <cmath>

#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/RecordRow.h"
#include "billing/nfe/NFeWriter.h"
#include "platform/db/SQLRowSet.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::forms {

namespace {

// What the description of an item shows when its product left the register:
// the row stays visible, and the save names it, instead of vanishing.
const char* const kMissingProduct = "PRODUTO NÃO CADASTRADO";

struct FieldSpec {
    const char* name;
    TFieldType type;
    int size;
    const char* label;
    const char* format;  // display (and edit) format of a number, edit mask of a text
    bool calculated;
};

}  // namespace

const char* const DocumentCore::kErrorsHeading = "Foram identificados erros, por favor corrija: ";

std::string DocumentCore::PadCode(const std::string& Typed, int Width) {
    std::string t = Trim(Typed);
    if (t.empty() || t.size() > 18 || t.find_first_not_of("0123456789") != std::string::npos) return t;
    return IntToStrZero(StrToInt64(t), Width);
}

// ---------------------------------------------------------------------------
// GridKeyPolicy

GridKeyPolicy::GridKeyPolicy(std::vector<std::string> Fields, std::string ProductField, std::string NewItemField,
                             std::string FirstField)
    : fields_(std::move(Fields)),
      productField_(std::move(ProductField)),
      newItemField_(std::move(NewItemField)),
      firstField_(std::move(FirstField)) {}

int GridKeyPolicy::ColumnOf(const std::string& Field) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (SameText(fields_[i], Field)) return static_cast<int>(i) + 1;
    return 0;
}

std::string GridKeyPolicy::FieldOf(int Column) const {
    if (Column < 1 || Column > static_cast<int>(fields_.size())) return {};
    return fields_[static_cast<std::size_t>(Column - 1)];
}

bool GridKeyPolicy::Typed(const std::string& Field) const {
    return SameText(Field, firstField_) || SameText(Field, productField_) || SameText(Field, newItemField_);
}

GridKeyResult GridKeyPolicy::Apply(int Column, char32_t Key, const std::string& ProductText) const {
    GridKeyResult r;
    r.key = Key;
    const std::string field = FieldOf(Column);
    if (Key != 13) return r;
    r.key = 0;
    if (field == productField_ && Trim(ProductText).empty()) r.searchProduct = true;
    if (field == newItemField_) {
        r.move = GridMove::NewItem;
        r.column = ColumnOf(firstField_);
    } else if (Column >= 1 && Column + 1 < ColumnCount()) {
        r.move = GridMove::NextColumn;
        r.column = Column + 1;
    }
    return r;
}

// ---------------------------------------------------------------------------
// DocumentQuery

void DocumentQuery::InternalPost() {
    InTransaction(false, [this] {
        if (WithinPost) WithinPost();
        TSQLQuery::InternalPost();
    });
}

void DocumentQuery::InternalDelete() {
    InTransaction(true, [this] {
        if (WithinDelete) WithinDelete();
        TSQLQuery::InternalDelete();
    });
}

void DocumentQuery::InTransaction(bool Deleting, const std::function<void()>& Work) {
    TSQLConnection* c = Connection();
    RowsMark mark = MarkRows();
    auto undo = [this, c, &mark] {
        try {
            if (c->InTransaction()) c->RollbackTrans();
        } catch (const std::exception&) {
            // The engine already undid it (a full disk rolls back by itself).
        }
        RestoreRows(std::move(mark));
    };
    if (Transactional) c->BeginTrans();
    try {
        Work();
        if (Transactional) c->CommitTrans();
    } catch (const EAbort&) {
        undo();
        throw;
    } catch (const ESQLiteError& e) {
        // Another instance saved the row, or took its number, meanwhile: the
        // save layer tells the clerk in its own words.
        const bool otherUser =
            dynamic_cast<const sqlite::ERowChanged*>(&e) != nullptr || !sqlite::UniqueViolationColumns(e).empty();
        std::string reason = e.what();
        undo();
        if (otherUser) throw;
        if (OnWriteFailed) OnWriteFailed(Deleting, reason);
        Abort();
    } catch (const std::exception& e) {
        std::string reason = e.what();
        undo();
        if (OnWriteFailed) OnWriteFailed(Deleting, reason);
        Abort();
    }
}

// ---------------------------------------------------------------------------
// DocumentPolicy

void DocumentPolicy::ClientExit(DocumentCore& Core, const std::string& Typed) {
    // Client codes are stored with seven digits: "27" is client 0000027 on
    // every document, as the registers number them.
    if (Core.Editing() && !Trim(Typed).empty())
        Core.Field("Id_Cliente")->SetAsString(DocumentCore::PadCode(Typed, 7));
    Core.Mostra("Cliente");
}

// ---------------------------------------------------------------------------
// DocumentCore

DocumentCore::DocumentCore(TComponent* AOwner, std::unique_ptr<DocumentPolicy> Policy)
    : TComponent(AOwner), policy_(std::move(Policy)) {
    lookups_ = policy_->Lookups();
    header_ = new DocumentQuery(this);
    header_->SetName("qry" + policy_->Table());
    header_->SetConnection(dmdb->ADOConnection);
    header_->SetSQL(policy_->HeaderSql());
    header_->AfterInsert = [this](TDataSet*) { HeaderAfterInsert(); };
    header_->BeforeEdit = [this](TDataSet*) { HeaderBeforeEdit(); };
    header_->BeforeDelete = [this](TDataSet*) { HeaderBeforeDelete(); };
    header_->BeforePost = [this](TDataSet*) { HeaderBeforePost(); };
    header_->AfterPost = [this](TDataSet*) { HeaderAfterPost(); };
    header_->AfterCancel = [this](TDataSet*) { HeaderAfterCancel(); };
    header_->AfterScroll = [this](TDataSet*) { Mostra_Tudo(); };
    header_->WithinPost = [this] { WriteWithinPost(); };
    header_->WithinDelete = [this] {
        policy_->CheckStored(*this, true);
        policy_->DeleteItems(*this);
    };
    header_->OnWriteFailed = [this](bool Deleting, const std::string& Reason) { WriteFailed(Deleting, Reason); };
    GuardAgainstOtherUsers(header_, [this](const std::vector<std::string>&) { return policy_->Duplicate(); });
    BuildItems();
}

DocumentCore::~DocumentCore() {
    // The handlers reach into this object: none may run while it goes.
    for (TDataSet* d : {static_cast<TDataSet*>(header_), static_cast<TDataSet*>(items_)}) {
        d->AfterInsert = nullptr;
        d->BeforeEdit = nullptr;
        d->BeforeDelete = nullptr;
        d->BeforePost = nullptr;
        d->AfterPost = nullptr;
        d->AfterCancel = nullptr;
        d->AfterScroll = nullptr;
        d->AfterDelete = nullptr;
        d->BeforeInsert = nullptr;
        d->OnCalcFields = nullptr;
    }
    header_->WithinPost = nullptr;
    header_->WithinDelete = nullptr;
    header_->OnWriteFailed = nullptr;
    header_->OnPostError = nullptr;
    header_->OnDeleteError = nullptr;
}

void DocumentCore::BuildItems() {
    items_ = new TmtMemTable(this);
    items_->SetName(policy_->ItemBufferName());
    const bool cfop = policy_->ItemsHaveCfop();
    std::vector<FieldSpec> specs = {
        {"Quantidade", ftFloat, 0, "Quantidade", "###,##0.000", false},
        {"Id_Produto", ftString, 9, "Produto", "#####;0; ", false},
        {"id_cfop", ftString, 4, "CFOP", "", false},
        {"id_unidade_medida", ftString, 3, "Unid", "", false},
        {"Descricao_Abreviada", ftString, 25, "Descricao", "", false},
        {"Aliquota_ICMS", ftFloat, 0, "Aliq ICMS", "#0.00", false},
        {"Id_Situacao_Tributaria", ftString, 3, "ST", "###;0; ", false},
        // A price shows the decimals it has, up to the four the NF-e states.
        {"Valor_Unitario", ftFloat, 0, "Valor Unitário", "###,###,##0.00##", false},
        {"Valor_Total", ftFloat, 0, "Valor Total", "###,###,##0.00", true},
        {"Valor_ICMS", ftFloat, 0, "Valor ICMS", "###,###,##0.00", true},
    };
    if (!cfop) specs.erase(specs.begin() + 2);
    for (const FieldSpec& s : specs)
        if (!s.calculated) items_->FieldDefs()->Add(s.name, s.type, s.size);
    items_->FieldDefs()->Add("Produto_Ausente", ftBoolean);
    items_->FieldDefs()->Add("RBC_Estadual", ftFloat);
    for (const FieldSpec& s : specs) {
        TField* f = nullptr;
        if (s.calculated) {
            auto* calc = new TFloatField(nullptr);
            calc->SetFieldName(s.name);
            calc->SetFieldKind(fkCalculated);
            calc->SetDataSet(items_);
            f = calc;
        } else {
            for (int i = 0; i < items_->FieldDefs()->Count(); ++i)
                if (items_->FieldDefs()->Items(i)->Name() == s.name) f = items_->FieldDefs()->Items(i)->CreateField(nullptr);
        }
        f->SetDisplayLabel(s.label);
        if (auto* n = dynamic_cast<TNumericField*>(f)) {
            n->SetDisplayFormat(s.format);
            if (std::string(s.name) == "Quantidade") n->SetEditFormat(s.format);
        } else if (*s.format != '\0') {
            f->SetEditMask(s.format);
        }
    }
    for (int i = 0; i < items_->FieldDefs()->Count(); ++i) {
        const std::string name = items_->FieldDefs()->Items(i)->Name();
        if (name != "Produto_Ausente" && name != "RBC_Estadual") continue;
        items_->FieldDefs()->Items(i)->CreateField(nullptr)->SetVisible(false);
    }
    items_->BeforeInsert = [this](TDataSet*) { ItemGuard(); };
    items_->BeforeEdit = [this](TDataSet*) { ItemGuard(); };
    items_->BeforeDelete = [this](TDataSet*) { ItemGuard(); };
    items_->OnCalcFields = [this](TDataSet*) { ItemCalc(); };
    // The defaults of a new item are no typing: a row the clerk leaves
    // untouched still counts as such, and goes.
    items_->OnNewRecord = [this](TDataSet*) { ItemAfterInsert(); };
    items_->BeforePost = [this](TDataSet*) { ItemBeforePost(); };
    items_->AfterPost = [this](TDataSet*) { ItemAfterPost(); };
    items_->AfterDelete = [this](TDataSet*) {
        if (!loading_) Calcula_Total_Produtos();
    };
    items_->Open();
}

void DocumentCore::Open() {
    // A document being typed stays as it is: moving to the last row would
    // post it behind the clerk's back.
    if (Editing()) return;
    newDocument_ = false;
    loading_ = false;
    if (!header_->Active()) {
        header_->Open();
        policy_->DressHeader(*this);
    }
    // The scroll fills the panels and the item buffer.
    header_->Last();
}

void DocumentCore::Refresh() {
    if (!header_->Active() || Editing()) return;
    header_->Refresh();
    Mostra_Tudo();
}

TDateTime DocumentCore::CurrentTime() const { return Clock ? Clock() : Now(); }

bool DocumentCore::Editing() const {
    return header_->Active() && (header_->State() == dsEdit || header_->State() == dsInsert);
}

bool DocumentCore::Inserting() const { return header_->Active() && header_->State() == dsInsert; }

bool DocumentCore::Blank(const std::string& Name) const { return Trim(Field(Name)->AsString()).empty(); }

// ---------------------------------------------------------------------------
// Lookups and reads

std::map<std::string, Variant> DocumentCore::ReadRow(const std::string& Sql, const std::string& Param,
                                                     const Variant& Value) const {
    TSQLQuery q(nullptr);
    q.SetConnection(dmdb->ADOConnection);
    q.SetSQL(Sql);
    if (!Param.empty()) q.ParamByName(Param)->SetValue(Value);
    q.Open();
    std::map<std::string, Variant> row;
    if (!q.IsEmpty()) {
        q.First();
        for (int i = 0; i < q.FieldCount(); ++i) {
            TField* f = q.Fields()->Fields(i);
            row[LowerCase(f->FieldName())] = f->Value();
        }
    }
    q.Close();
    return row;
}

std::map<std::string, Variant> DocumentCore::Settings() const { return ReadRow("select * from opcao", "", Variant()); }

void DocumentCore::CopySettings(const std::map<std::string, Variant>& Row, const std::vector<std::string>& Columns) {
    for (const std::string& c : Columns) {
        auto it = Row.find(LowerCase(c));
        if (it == Row.end() || it->second.IsNull() || it->second.IsEmpty())
            Field(c)->Clear();
        else
            Field(c)->SetValue(it->second);
    }
}

LookupResult DocumentCore::Find(const LookupDef& Def) const {
    LookupResult r;
    r.texts.assign(Def.columns.size(), std::string());
    TField* key = Field(Def.field);
    if (key->IsNull() || Trim(key->AsString()).empty()) return r;
    r.empty = false;
    std::string columns;
    for (const std::string& c : Def.columns) columns += (columns.empty() ? "" : ", ") + c;
    Variant value = Def.integerKey ? Variant(key->AsInteger()) : Variant(key->AsString());
    std::map<std::string, Variant> row =
        ReadRow("select " + columns + " from " + Def.table + " where " + Def.keyColumn + " = :pvalor", "pvalor", value);
    if (row.empty()) return r;
    r.found = true;
    for (std::size_t i = 0; i < Def.columns.size(); ++i) {
        const Variant& v = row[LowerCase(Def.columns[i])];
        r.texts[i] = v.IsNull() || v.IsEmpty() ? std::string() : v.AsString();
    }
    return r;
}

void DocumentCore::Mostra(const std::string& Name) {
    for (const LookupDef& d : lookups_) {
        if (d.name != Name) continue;
        LookupResult r = header_->Active() && !header_->IsEmpty() ? Find(d) : LookupResult{};
        if (r.texts.empty()) r.texts.assign(d.columns.size(), std::string());
        shown_[Name] = r;
        if (OnLookup) OnLookup(Name, r);
    }
}

void DocumentCore::ShowLookups() {
    for (const LookupDef& d : lookups_) Mostra(d.name);
}

void DocumentCore::Mostra_Tudo() {
    ShowLookups();
    LoadItems();
}

const LookupResult& DocumentCore::Shown(const std::string& Name) const {
    static const LookupResult none;
    auto it = shown_.find(Name);
    return it == shown_.end() ? none : it->second;
}

// ---------------------------------------------------------------------------
// Header events

void DocumentCore::HeaderAfterInsert() {
    policy_->Defaults(*this);
    Mostra_Tudo();
    newDocument_ = true;
}

void DocumentCore::HeaderBeforeEdit() { policy_->BeforeEdit(*this); }
void DocumentCore::HeaderBeforeDelete() { policy_->BeforeDelete(*this); }

void DocumentCore::HeaderBeforePost() {
    lastErrors_.clear();
    if (items_->State() == dsEdit || items_->State() == dsInsert) items_->Post();
    // Keys typed by hand count with what they name now.
    ShowLookups();
    policy_->BeforePost(*this);
}

void DocumentCore::HeaderAfterPost() {
    const bool wasNew = newDocument_;
    newDocument_ = false;
    storedItems_ = writtenItems_;
    // A new document takes its place in the order at once (the query's own
    // keeps it where it was typed), so that Primeiro and Próximo walk the
    // documents as a reopened window shows them; it stays the current one.
    if (wasNew) header_->Refresh();
    policy_->AfterCommit(*this);
}

void DocumentCore::HeaderAfterCancel() {
    // An undone new document is no longer new: a later save of another one
    // must not move the counter.
    newDocument_ = false;
    Mostra_Tudo();
}

void DocumentCore::WriteWithinPost() {
    // Every new document takes its number from the counter: its save moves
    // the counter, in this transaction, whatever else happened meanwhile.
    if (Inserting()) {
        policy_->AdvanceCounter(*this);
    } else {
        policy_->CheckStored(*this, false);
        // Items another instance saved since they were read are not replaced
        // (the header's own check covers its row).
        if (StoredItems() != storedItems_) throw sqlite::ERowChanged();
    }
    policy_->DeleteItems(*this);
    for (const ItemRow& item : BufferRows()) policy_->InsertItem(*this, item);
    writtenItems_ = StoredItems();
}

std::string DocumentCore::StoredItems() {
    TSQLQuery q(nullptr);
    q.SetConnection(dmdb->ADOConnection);
    q.SetSQL(policy_->LoadSql());
    policy_->BindHeaderKey(*this, q);
    q.Open();
    std::string text;
    const bool cfop = policy_->ItemsHaveCfop();
    for (q.First(); !q.Eof(); q.Next()) {
        for (const char* name : {"Id_Produto", "Quantidade", "Valor_Unitario", "Valor_Total", "Aliquota_icms",
                                 "Valor_icms", "Id_Situacao_Tributaria", "Id_Unidade_Medida"})
            text += q.FieldByName(name)->AsString() + '\x1f';
        if (cfop) text += q.FieldByName("Id_CFOP")->AsString();
        text += '\x1e';
    }
    q.Close();
    return text;
}

void DocumentCore::WriteFailed(bool Deleting, const std::string& Reason) {
    std::string what = Deleting ? "Não foi possível excluir " + policy_->Noun() + "; nada foi apagado."
                                : "Não foi possível salvar " + policy_->Noun() + "; nada foi gravado.";
    Box(what + "\r\n\r\n" + Reason, "Erro", mtError);
}

void DocumentCore::Collect(const std::vector<Check>& Checks) {
    std::string errors;
    for (const Check& c : Checks)
        if (c.failed) errors += c.message + "\r\n";
    lastErrors_ = errors;
    if (!errors.empty()) Refuse(std::string(kErrorsHeading) + "\r\n\r\n" + errors);
}

std::vector<DocumentCore::Check> DocumentCore::ItemChecks() const {
    std::vector<Check> checks;
    checks.push_back({"Não foram informados os produtos da Nota Fiscal.", items_->IsEmpty()});
    if (items_->IsEmpty()) return checks;
    TBookmark mark = items_->GetBookmark();
    items_->DisableControls();
    for (items_->First(); !items_->Eof(); items_->Next()) {
        if (items_->FieldByName("Produto_Ausente")->AsBoolean())
            checks.push_back({"O Produto " + QuotedStr(items_->FieldByName("Id_Produto")->AsString()) +
                                  " não está mais cadastrado; exclua o item ou cadastre o produto.",
                              true});
    }
    items_->GotoBookmark(mark);
    items_->EnableControls();
    return checks;
}

// ---------------------------------------------------------------------------
// Items

void DocumentCore::ItemGuard() {
    // Items change only with their document: while the header is browsed the
    // buffer shows what is stored.
    if (!loading_ && !Editing()) Abort();
}

namespace {

double Cents(double Value) { return std::round(Value * 100) / 100; }

}  // namespace

double IcmsBase(double Total, const std::string& Situacao, double Reducao) {
    // Only the situations taxed on a reduced base take the product's
    // reduction; the NF-e states that base rounded to the cent from the
    // item's value in cents, and the tax must be the rate of that base.
    const std::string st = Trim(Situacao);
    const std::string cst = st.size() == 3 ? st.substr(1) : std::string();
    if (Reducao == 0 || (cst != "20" && cst != "51" && cst != "70")) return Total;
    return Cents(Cents(Total) * (10000 - std::round(Reducao * 100)) / 10000);
}

void DocumentCore::ItemCalc() {
    double total = items_->FieldByName("Quantidade")->AsFloat() * items_->FieldByName("Valor_Unitario")->AsFloat();
    items_->FieldByName("Valor_Total")->SetAsFloat(total);
    const double base = IcmsBase(total, items_->FieldByName("Id_Situacao_Tributaria")->AsString(),
                                 items_->FieldByName("RBC_Estadual")->AsFloat());
    items_->FieldByName("Valor_ICMS")->SetAsFloat(base * (items_->FieldByName("Aliquota_ICMS")->AsFloat() / 100));
}

void DocumentCore::ItemAfterInsert() {
    if (!loading_) policy_->NewItem(*this);
}

void DocumentCore::ItemBeforePost() {
    if (loading_) return;
    if (Trim(items_->FieldByName("Descricao_Abreviada")->AsString()).empty()) {
        // A row nothing was typed into goes without a word once posted; one
        // with a figure or a code is the clerk's, and stays until its
        // product is right or it is deleted.
        const std::string code = Trim(items_->FieldByName("Id_Produto")->AsString());
        const bool typed = !code.empty() || items_->FieldByName("Quantidade")->AsFloat() != 0 ||
                           items_->FieldByName("Valor_Unitario")->AsFloat() != 0;
        if (!typed) return;
        if (code.empty())
            Refuse("O Produto do item não foi informado. Informe o produto ou exclua o item com Ctrl+Delete.");
        Refuse("O Produto " + QuotedStr(code) +
               " não está cadastrado. Corrija o código do produto ou exclua o item com Ctrl+Delete.");
    }
    policy_->CheckItem(*this);
}

void DocumentCore::ItemAfterPost() {
    if (loading_) return;
    // A row without a product never stays.
    if (Trim(items_->FieldByName("Descricao_Abreviada")->AsString()).empty()) items_->Delete();
    Calcula_Total_Produtos();
}

bool DocumentCore::ApplyProduct(const std::string& Typed) {
    if (Trim(Typed).empty()) return true;
    if (!Editing()) return false;
    std::string code = PadCode(Typed, 5);
    // Passing over the product of an item changes nothing, also when that
    // product has left the register: the save names it instead.
    if (!items_->IsEmpty() && code == items_->FieldByName("Id_Produto")->AsString() &&
        !Trim(items_->FieldByName("Descricao_Abreviada")->AsString()).empty())
        return !items_->FieldByName("Produto_Ausente")->AsBoolean();
    if (items_->State() == dsBrowse) {
        if (items_->IsEmpty())
            items_->Append();
        else
            items_->Edit();
    }
    items_->FieldByName("Id_Produto")->SetAsString(code);
    std::map<std::string, Variant> p =
        ReadRow("select * from produto where id_produto = :pid_produto", "pid_produto", Variant(code));
    auto text = [&p](const char* column) {
        const Variant& v = p[column];
        return v.IsNull() || v.IsEmpty() ? std::string() : v.AsString();
    };
    if (p.empty()) {
        // What an earlier product filled in must not stay under an unknown
        // code: without a description the row is dropped when posted.
        items_->FieldByName("Descricao_Abreviada")->Clear();
        return false;
    }
    items_->FieldByName("Descricao_Abreviada")->SetAsString(text("descricao_abreviada"));
    items_->FieldByName("Id_Situacao_Tributaria")->SetAsString(text("id_cst_estadual"));
    const Variant& rate = p["aliq_icms_estadual"];
    if (rate.IsNull() || rate.IsEmpty())
        items_->FieldByName("Aliquota_ICMS")->Clear();
    else
        items_->FieldByName("Aliquota_ICMS")->SetAsFloat(rate.AsDouble());
    items_->FieldByName("id_unidade_medida")->SetAsString(text("id_unidade_medida"));
    const Variant& reduction = p["rbc_estadual"];
    items_->FieldByName("RBC_Estadual")->SetAsFloat(reduction.IsNull() || reduction.IsEmpty() ? 0 : reduction.AsDouble());
    items_->FieldByName("Produto_Ausente")->SetAsBoolean(false);
    return true;
}

bool DocumentCore::SearchItemProduct() {
    if (!Editing()) return false;
    std::string found = SearchProduct ? SearchProduct() : Pesquisa_Produto();
    if (found.empty()) return false;
    ApplyProduct(found);
    return true;
}

void DocumentCore::NewItemRow() {
    if (!Editing()) return;
    items_->Append();
}

void DocumentCore::DeleteItem() {
    if (!Editing() || items_->IsEmpty()) return;
    if (items_->State() == dsInsert)
        items_->Cancel();
    else
        items_->Delete();
}

void DocumentCore::Calcula_Total_Produtos() {
    if (!Editing()) return;
    // The totals are the items' amounts as the NF-e states them, each to the
    // cent, added up: the authority validates that sum, and a total rounded
    // from unrounded parts can be a cent away from it.
    ItemSums sums;
    std::vector<billing::nfe::NFeItem> rows;
    if (!items_->IsEmpty()) {
        TBookmark mark = items_->GetBookmark();
        items_->DisableControls();
        for (items_->First(); !items_->Eof(); items_->Next()) {
            billing::nfe::NFeItem r;
            r.valor_total = items_->FieldByName("Valor_Total")->AsFloat();
            r.valor_icms = items_->FieldByName("Valor_ICMS")->AsFloat();
            r.id_situacao_tributaria = items_->FieldByName("Id_Situacao_Tributaria")->AsString();
            r.reducao_base_calculo = items_->FieldByName("RBC_Estadual")->AsFloat();
            rows.push_back(std::move(r));
            sums.quantity += items_->FieldByName("Quantidade")->AsFloat();
        }
        items_->GotoBookmark(mark);
        items_->EnableControls();
    }
    const billing::nfe::NFeTotals cents = billing::nfe::InvoiceTotals(rows);
    sums.total = static_cast<double>(cents.vProd) / 100;
    sums.icms = static_cast<double>(cents.vICMS) / 100;
    sums.base = static_cast<double>(cents.vBC) / 100;
    policy_->WriteSums(*this, sums);
    Calcula_Total_Nota();
}

void DocumentCore::Calcula_Total_Nota() {
    if (Editing()) policy_->WriteTotal(*this);
}

void DocumentCore::LoadItems() {
    if (!items_->Active()) items_->Open();
    items_->EmptyTable();
    // A new document starts empty, whatever rows a deleted document of the
    // same number left behind.
    storedItems_.clear();
    if (!header_->Active() || header_->IsEmpty() || Inserting()) return;
    storedItems_ = StoredItems();
    loading_ = true;
    items_->DisableControls();
    try {
        TSQLQuery q(nullptr);
        q.SetConnection(dmdb->ADOConnection);
        q.SetSQL(policy_->LoadSql());
        policy_->BindHeaderKey(*this, q);
        q.Open();
        const bool cfop = policy_->ItemsHaveCfop();
        for (q.First(); !q.Eof(); q.Next()) {
            items_->Append();
            bool missing = q.FieldByName("Produto_Cadastrado")->IsNull();
            items_->FieldByName("Id_Produto")->SetValue(q.FieldByName("Id_Produto")->Value());
            items_->FieldByName("Descricao_Abreviada")
                ->SetAsString(missing ? std::string(kMissingProduct) : q.FieldByName("Produto_Descricao")->AsString());
            items_->FieldByName("Quantidade")->SetValue(q.FieldByName("Quantidade")->Value());
            items_->FieldByName("Valor_Unitario")->SetValue(q.FieldByName("Valor_Unitario")->Value());
            items_->FieldByName("Aliquota_ICMS")->SetValue(q.FieldByName("Aliquota_icms")->Value());
            items_->FieldByName("Id_Situacao_Tributaria")->SetValue(q.FieldByName("Id_Situacao_Tributaria")->Value());
            items_->FieldByName("id_unidade_medida")->SetValue(q.FieldByName("Id_Unidade_Medida")->Value());
            if (cfop) items_->FieldByName("id_cfop")->SetValue(q.FieldByName("Id_CFOP")->Value());
            items_->FieldByName("RBC_Estadual")->SetValue(q.FieldByName("RBC_Estadual")->Value());
            items_->FieldByName("Produto_Ausente")->SetAsBoolean(missing);
            items_->Post();
        }
        q.Close();
        items_->First();
    } catch (...) {
        loading_ = false;
        items_->EnableControls();
        throw;
    }
    loading_ = false;
    items_->EnableControls();
}

std::vector<ItemRow> DocumentCore::BufferRows() const {
    std::vector<ItemRow> rows;
    if (items_->IsEmpty()) return rows;
    const bool cfop = policy_->ItemsHaveCfop();
    TBookmark mark = items_->GetBookmark();
    items_->DisableControls();
    for (items_->First(); !items_->Eof(); items_->Next()) {
        if (Trim(items_->FieldByName("Descricao_Abreviada")->AsString()).empty()) continue;
        ItemRow r;
        r.id_produto = items_->FieldByName("Id_Produto")->AsString();
        r.id_unidade_medida = items_->FieldByName("id_unidade_medida")->AsString();
        r.id_situacao_tributaria = items_->FieldByName("Id_Situacao_Tributaria")->AsString();
        if (cfop) r.id_cfop = items_->FieldByName("id_cfop")->AsString();
        r.quantidade = items_->FieldByName("Quantidade")->AsFloat();
        r.valor_unitario = items_->FieldByName("Valor_Unitario")->AsFloat();
        r.valor_total = items_->FieldByName("Valor_Total")->AsFloat();
        r.aliquota_icms = items_->FieldByName("Aliquota_ICMS")->AsFloat();
        r.valor_icms = items_->FieldByName("Valor_ICMS")->AsFloat();
        rows.push_back(std::move(r));
    }
    items_->GotoBookmark(mark);
    items_->EnableControls();
    return rows;
}

}  // namespace billing::forms
