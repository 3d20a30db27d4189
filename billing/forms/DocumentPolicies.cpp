#include "billing/forms/DocumentPolicies.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/NFeSettings.h"
#include "billing/nfe/NFeWriter.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::forms {

const char* const MsgTransmitir = "Deseja Transmitir esta NF-e para Sefaz ?";
// The series' counter is never behind a saved number: passing over the
// series again takes the next free one, and keeps what was typed.
const char* const MsgNotaExistente =
    "Já existe uma Nota Fiscal com este Número e Série.\r\n\r\nPara tomar o próximo número da série, digite "
    "de novo a Série e saia do campo; os itens digitados ficam. Depois salve de novo.";
// A shipping list takes its number only when it is begun.
const char* const MsgRomaneioExistente =
    "Já existe um Romaneio com este Número.\r\n\r\nPara tomar o próximo número, clique em Desfazer e depois em "
    "Novo, e digite o Romaneio de novo.";
// A list's number is a 32-bit integer column: the counter stops after the
// last one instead of wrapping round to a number already used.
const char* const MsgRomaneiosEsgotados =
    "Os números de Romaneio se esgotaram: o último possível, 2.147.483.647, já foi usado. Não é possível "
    "lançar um novo Romaneio nesta base de dados.";
const char* const MsgDadosAdicionais =
    "BASE DE CALCULO RED P/ 58.334% CONF ART 1o DA LEI 15.182/2006, CONV ICMS 89/05. CREDITO PRESUMIDO CONF. "
    "ART 4º  DA LEI 13.212/2001";

namespace {

const char* const kMoney = "###,###,###,##0.00";

void Format(DocumentCore& Core, std::initializer_list<const char*> Fields, const char* Pattern) {
    for (const char* name : Fields)
        if (auto* f = dynamic_cast<TNumericField*>(Core.Header()->FindField(name))) f->SetDisplayFormat(Pattern);
}

void DressClient(DocumentCore& Core) {
    if (TField* f = Core.Header()->FindField("Id_Cliente")) f->SetEditMask("######-#;0; ");
}

// The item columns of both grids, in grid order; the shipping list's has no CFOP.
std::vector<std::string> ItemFields(bool Cfop) {
    std::vector<std::string> f = {"Quantidade",    "Id_Produto",          "id_cfop",
                                  "id_unidade_medida", "Descricao_Abreviada", "Aliquota_ICMS",
                                  "Id_Situacao_Tributaria", "Valor_Unitario", "Valor_Total",
                                  "Valor_ICMS"};
    if (!Cfop) f.erase(f.begin() + 2);
    return f;
}

GridKeyPolicy ItemKeys(bool Cfop) {
    return GridKeyPolicy(ItemFields(Cfop), "Id_Produto", "Valor_Unitario", "Quantidade");
}

LookupDef Lookup(const char* Name, const char* Field, const char* Table, const char* Key,
                 std::vector<std::string> Columns, bool Integer) {
    return LookupDef{Name, Field, Table, Key, std::move(Columns), Integer};
}

void Execute(const std::string& Sql, const std::vector<std::pair<std::string, Variant>>& Params) {
    dmdb->ADOConnection->Execute(Sql, Params);
}

// The values of an item row both item tables store alike; the caller adds
// its own key columns.
std::vector<std::pair<std::string, Variant>> ItemValues(const ItemRow& Item, const std::string& Cfop) {
    return {{"pId_Produto", Variant(Item.id_produto)},
            {"pId_Unidade_medida", Variant(Item.id_unidade_medida)},
            {"pId_Situacao_Tributaria", Variant(Item.id_situacao_tributaria)},
            {"pQuantidade", Variant(Item.quantidade)},
            {"pValor_Unitario", Variant(Item.valor_unitario)},
            {"pValor_Total", Variant(Item.valor_total)},
            {"pId_CFOP", Variant(Cfop)},
            {"pAliquota_icms", Variant(Item.aliquota_icms)},
            {"pValor_icms", Variant(Item.valor_icms)}};
}

bool Missing(const DocumentCore& Core, const char* Lookup) { return !Core.Found(Lookup); }

// Products - discount + freight (+ insurance), in cents as the NF-e states
// each part and its total, so that the stored total is the file's.
double Total(const DocumentCore& Core, bool Insurance) {
    using billing::nfe::CentsXML;
    long long t = CentsXML(Core.Field("Valor_Produto")->AsFloat());
    for (const char* part : {"Valor_Desconto", "Valor_Frete", "Valor_Seguro"}) {
        if (!Insurance && std::string(part) == "Valor_Seguro") continue;
        TField* f = Core.Field(part);
        if (f->IsNull()) continue;
        // A typed part keeps only the cents the file can state.
        const long long cents = CentsXML(f->AsFloat());
        if (f->AsFloat() != static_cast<double>(cents) / 100) f->SetAsFloat(static_cast<double>(cents) / 100);
        t += std::string(part) == "Valor_Desconto" ? -cents : cents;
    }
    return static_cast<double>(t) / 100;
}

}  // namespace

// ---------------------------------------------------------------------------
// Invoices

InvoicePolicy::InvoicePolicy() : keys_(ItemKeys(true)) {
    MakeKey = [](int Numero, int Serie, TDateTime Emissao) {
        return billing::nfe::Gerar_Chave_NFe(*dmdb->ADOConnection, Numero, Serie, Emissao);
    };
    Transmit = [](const std::string& Chave) {
        billing::nfe::Transmitir_NFE(*dmdb->ADOConnection, billing::nfe::Config_NFe(*dmdb), Chave);
    };
}

std::string InvoicePolicy::HeaderSql() const {
    return "select * from Nota_Fiscal order by Id_Serie_Documento, Id_Nota_Fiscal ";
}

std::vector<LookupDef> InvoicePolicy::Lookups() const {
    return {Lookup("CFOP", "Id_CFOP", "cfop", "id_cfop", {"descricao"}, false),
            Lookup("Cliente", "Id_Cliente", "cliente", "id_cliente", {"nome", "nome_fantasia"}, false),
            Lookup("Vendedor", "Id_Vendedor", "vendedor", "id_vendedor", {"nome"}, true),
            Lookup("Transportador", "Id_Transportador", "transportador", "id_transportador", {"nome"}, true),
            Lookup("Conta_Corrente", "Id_Conta_Corrente", "conta_corrente", "id_conta_corrente", {"descricao"}, true)};
}

void InvoicePolicy::DressHeader(DocumentCore& Core) const {
    Format(Core, {"Id_Nota_Fiscal"}, "000,00#");
    Format(Core, {"Id_Serie_Documento"}, "00#");
    Format(Core,
           {"Valor_Base_Calculo", "Valor_ICMS", "Valor_Produto", "Valor_Frete", "Valor_Seguro", "Valor_Desconto",
            "Valor_Servicos", "Valor_BC_ISS", "Valor_Total_Nota"},
           kMoney);
    Format(Core, {"Peso_Bruto", "Peso_Liquido"}, "###,###.###");
    DressClient(Core);
}

void InvoicePolicy::Defaults(DocumentCore& Core) {
    Core.Field("Situacao_NFE")->SetAsString("Em Digitação");
    Core.Field("Tipo_Emissao")->SetAsString("1 - Normal");
    Core.Field("Finalidade_Emissao")->SetAsString("1 - NF-e Normal");
    Core.Field("Modalidade_Frete")->SetAsString("0 - Por conta do Emitente");
    Core.Field("Forma_Pagamento")->SetAsString("0 - Pagamento a Vista");
    Core.Field("Tipo_Impressao_DANFE")->SetAsString("1 - Retrato");
    Core.Field("DANFE_Impresso")->SetAsString("Não");
    TDateTime now = Core.CurrentTime();
    Core.Field("Data_Emissao")->SetAsDateTime(DateOf(now));
    Core.Field("Data_Saida")->SetAsDateTime(DateOf(now));
    Core.Field("Hora_Saida")->SetAsString(FormatDateTime("hhnn", now));
    for (const char* f : {"Valor_Total_Nota", "Valor_Desconto", "Valor_Seguro", "Valor_Frete"})
        Core.Field(f)->SetAsFloat(0);
    Core.Field("Dados_Adicionais_Contribuinte")->SetAsString(MsgDadosAdicionais);
    std::map<std::string, Variant> settings = Core.Settings();
    if (!settings.empty()) {
        Core.CopySettings(settings, {"Id_Transportador", "Id_Conta_Corrente", "Id_CFOP", "Id_Cliente",
                                     "Id_Serie_Documento", "Id_Condicao_Pagamento"});
        NextNumber(Core);
    }
}

void InvoicePolicy::NextNumber(DocumentCore& Core) {
    if (!Core.Inserting()) return;
    std::map<std::string, Variant> series =
        Core.ReadRow("select * from serie_documento where id_serie_documento = :pid_serie_documento",
                     "pid_serie_documento", Variant(Core.Field("Id_Serie_Documento")->AsInteger()));
    if (series.empty()) return;
    const Variant& next = series["proximo_numero"];
    // A series never used has no counter yet: its first number is 1. A
    // number the authority voided is passed over: it would be refused.
    const int serie = Core.Field("Id_Serie_Documento")->AsInteger();
    Core.Field("Id_Nota_Fiscal")->SetAsInteger(billing::nfe::ProximoNumeroNaoInutilizado(
        *dmdb->ADOConnection, serie, next.IsNull() || next.IsEmpty() ? 1 : next.AsInteger()));
}

bool StateAllows(const std::string& State) {
    std::string upper = AnsiUpperCase(State);
    return upper == "EM DIGITAÇÃO" || upper == "ERRO";
}

namespace {

std::string StateRefusal(const std::string& State, const std::string& Action) {
    return "A Situação \"" + State + "\" não permita " + Action + ".";
}

}  // namespace

bool InvoicePolicy::StoredState(int Serie, int Numero, std::string& State) {
    TSQLQuery q(nullptr);
    q.SetConnection(dmdb->ADOConnection);
    q.SetSQL("select situacao_nfe from nota_fiscal where id_serie_documento = :pid_serie_documento and "
             "id_nota_fiscal = :pid_nota_fiscal");
    q.ParamByName("pid_serie_documento")->SetAsInteger(Serie);
    q.ParamByName("pid_nota_fiscal")->SetAsInteger(Numero);
    q.Open();
    bool found = !q.IsEmpty();
    State = found ? q.Fields()->Fields(0)->AsString() : std::string();
    q.Close();
    return found;
}

void InvoicePolicy::StateRule(DocumentCore& Core, const std::string& Action) const {
    std::string state = Core.Field("Situacao_NFE")->AsString();
    std::string stored;
    if (StoredState(Core.Field("Id_Serie_Documento")->AsInteger(), Core.Field("Id_Nota_Fiscal")->AsInteger(),
                    stored) &&
        stored != state) {
        Core.Refresh();
        state = stored;
    }
    if (!StateAllows(state)) Refuse(StateRefusal(state, Action));
}

void InvoicePolicy::CheckStored(DocumentCore& Core, bool Deleting) {
    int serie = Deleting ? Core.Field("Id_Serie_Documento")->AsInteger() : editedSerie_;
    int numero = Deleting ? Core.Field("Id_Nota_Fiscal")->AsInteger() : editedNumero_;
    std::string stored;
    if (StoredState(serie, numero, stored) && !StateAllows(stored))
        throw Exception(StateRefusal(stored, Deleting ? "Excluir" : "Salvar"));
}

void InvoicePolicy::BeforeEdit(DocumentCore& Core) {
    StateRule(Core, "Editar");
    editedSerie_ = Core.Field("Id_Serie_Documento")->AsInteger();
    editedNumero_ = Core.Field("Id_Nota_Fiscal")->AsInteger();
}

void InvoicePolicy::BeforeDelete(DocumentCore& Core) { StateRule(Core, "Excluir"); }

void InvoicePolicy::ClientExit(DocumentCore& Core, const std::string& Typed) {
    if (!Core.Editing()) {
        Core.Mostra("Cliente");
        return;
    }
    // A code that is not a number is kept as typed: the save reports it.
    if (!Trim(Typed).empty()) Core.Field("Id_Cliente")->SetAsString(DocumentCore::PadCode(Typed, 7));
    Core.Mostra("Cliente");
    std::map<std::string, Variant> client =
        Core.ReadRow("select id_vendedor from cliente where id_cliente = :pid_cliente", "pid_cliente",
                     Variant(Core.Field("Id_Cliente")->AsString()));
    int seller = 0;
    if (!client.empty() && !client["id_vendedor"].IsNull() && !client["id_vendedor"].IsEmpty())
        seller = client["id_vendedor"].AsInteger();
    if (!Core.Found("Vendedor")) {
        Core.Field("Id_Vendedor")->SetAsInteger(seller);
        Core.Mostra("Vendedor");
    }
    // A client without a seller of his own has nothing to offer instead.
    if (Core.Found("Vendedor") && seller != 0 && Core.Field("Id_Vendedor")->AsInteger() != seller &&
        AskYesNo("Deseja substituir o vendedor atual pelo padrão do cliente ?", "Atenção")) {
        Core.Field("Id_Vendedor")->SetAsInteger(seller);
        Core.Mostra("Vendedor");
    }
}

std::string InvoicePolicy::AccessKey(DocumentCore& Core, int Numero, int Serie, TDateTime Emissao) {
    // A save that failed after the key was made keeps it, while it still
    // names this series, number and month.
    std::string key = Core.Field("Numero_NFe")->AsString();
    if (billing::nfe::ChaveValida(key) && key.substr(2, 4) == FormatDateTime("yymm", Emissao) &&
        key.substr(22, 3) == IntToStrZero(Serie, 3) && key.substr(25, 9) == IntToStrZero(Numero, 9))
        return key;
    try {
        return MakeKey(Numero, Serie, Emissao);
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        Refuse(e.what(), "Erro");
    }
}

void InvoicePolicy::BeforePost(DocumentCore& Core) {
    const bool inserting = Core.Inserting();
    const int numero = Core.Field("Id_Nota_Fiscal")->AsInteger();
    const int serie = Core.Field("Id_Serie_Documento")->AsInteger();
    if (inserting && dmdb->JaExisteChave({Variant(numero), Variant(serie)}, {"id_nota_fiscal", "id_serie_documento"},
                                         "Nota_Fiscal"))
        Refuse(MsgNotaExistente);
    if (Core.ReadRow("select * from serie_documento where id_serie_documento = :pid_serie_documento",
                     "pid_serie_documento", Variant(serie))
            .empty()) {
        Box("A Série de Nota Fiscal Informada não existe.", "Atenção");
        if (Core.OnFocusField) Core.OnFocusField("Id_Serie_Documento");
        Abort();
    }
    // The key and the items name the invoice by its series and number.
    if (!inserting && (serie != editedSerie_ || numero != editedNumero_))
        Refuse("A Série e o Número de uma Nota Fiscal já salva não podem ser alterados.");
    if (numero < 1 || numero > kMaxNumero)
        Refuse("O Número da Nota Fiscal deve estar entre 1 e 9.999.999.");

    TField* emissao = Core.Field("Data_Emissao");
    TField* saida = Core.Field("Data_Saida");
    const std::string key = Core.Field("Numero_NFe")->AsString();
    bool keyMonth = !inserting && !emissao->IsNull() && key.size() == 44 &&
                    key.substr(2, 4) != FormatDateTime("yymm", emissao->AsDateTime());
    std::vector<DocumentCore::Check> checks = {
        {"O Cliente não foi informado.", Missing(Core, "Cliente")},
        {"O CFOP não foi informado.", Missing(Core, "CFOP")},
        {"O Transportador não foi informado.", Missing(Core, "Transportador")},
        {"A Conta Corrente não foi informado.", Missing(Core, "Conta_Corrente")},
        {"A Data da Emissão não foi Informada.", Core.Blank("Data_Emissao")},
        {"A Data da Saída não foi Informada.", Core.Blank("Data_Saida")},
        {"A Data de Saída não pode ser menor que a da Emissão.",
         !emissao->IsNull() && !saida->IsNull() && emissao->AsDateTime() > saida->AsDateTime()},
        {"A Data da Emissão deve ficar no mês da Chave de Acesso da NF-e (" + (key.size() == 44 ? key.substr(4, 2) + "/" + key.substr(2, 2) : std::string()) + ").",
         keyMonth},
    };
    for (DocumentCore::Check& c : Core.ItemChecks()) checks.push_back(std::move(c));
    checks.push_back({"O Valor da Nota Fiscal não pode ser negativo.", Core.Field("Valor_Total_Nota")->AsFloat() < 0});
    Core.Collect(checks);

    if (inserting) Core.Field("Numero_NFe")->SetAsString(AccessKey(Core, numero, serie, emissao->AsDateTime()));
    Core.Field("Id_Registro")->SetAsString(IntToStrZero(serie, 3) + IntToStrZero(numero, 7));
    Core.Field("Situacao_NFE")->SetAsString("Em Digitação");
    Core.Field("Erro_NFE")->Clear();
}

void InvoicePolicy::NewItem(DocumentCore& Core) {
    TField* cfop = Core.Items()->FieldByName("id_cfop");
    if (Trim(cfop->AsString()).empty()) cfop->SetAsString(Core.Field("Id_CFOP")->AsString());
}

void InvoicePolicy::CheckItem(DocumentCore& Core) {
    TmtMemTable* items = Core.Items();
    // A row started before the header's CFOP was typed takes it now.
    NewItem(Core);
    std::string cfop = items->FieldByName("id_cfop")->AsString();
    if (Core.ReadRow("select * from cfop where id_cfop = :pid_cfop", "pid_cfop", Variant(cfop)).empty())
        Refuse("Código " + QuotedStr(cfop) + " de CFOP não cadastrado.");
    std::string cst = items->FieldByName("Id_Situacao_Tributaria")->AsString();
    if (Core.ReadRow("select * from situacao_tributaria where id_situacao_tributaria = :pid_situacao_tributaria",
                     "pid_situacao_tributaria", Variant(cst))
            .empty())
        Refuse("Código " + QuotedStr(cst) + " da situação tributária não cadastrado.");
}

void InvoicePolicy::WriteSums(DocumentCore& Core, const ItemSums& Sums) {
    Core.Field("Valor_Base_Calculo")->SetAsFloat(Sums.base);
    Core.Field("Valor_Produto")->SetAsFloat(Sums.total);
    Core.Field("Valor_ICMS")->SetAsFloat(Sums.icms);
    // Both weights are the quantities: product weights are not kept per item.
    Core.Field("Peso_Bruto")->SetAsFloat(Sums.quantity);
    Core.Field("Peso_Liquido")->SetAsFloat(Sums.quantity);
}

void InvoicePolicy::WriteTotal(DocumentCore& Core) {
    Core.Field("Valor_Total_Nota")->SetAsFloat(Total(Core, true));
}

std::string InvoicePolicy::LoadSql() const {
    return "SELECT Nota_Fiscal_Item.*, Produto.Descricao_Abreviada AS Produto_Descricao, "
           "Produto.Id_Produto AS Produto_Cadastrado, Produto.RBC_Estadual "
           "FROM Nota_Fiscal_Item LEFT JOIN Produto ON Nota_Fiscal_Item.Id_Produto = Produto.Id_Produto "
           "WHERE Nota_Fiscal_Item.Id_Serie_Documento = :pid_serie_documento "
           "AND Nota_Fiscal_Item.Id_Nota_Fiscal = :pid_Nota_Fiscal "
           "ORDER BY Nota_Fiscal_Item.rowid";
}

void InvoicePolicy::BindHeaderKey(DocumentCore& Core, TSQLQuery& Query) const {
    Query.ParamByName("pid_serie_documento")->SetAsInteger(Core.Field("Id_Serie_Documento")->AsInteger());
    Query.ParamByName("pid_Nota_Fiscal")->SetAsInteger(Core.Field("Id_Nota_Fiscal")->AsInteger());
}

void InvoicePolicy::AdvanceCounter(DocumentCore& Core) {
    // Only ever up: another instance may have saved higher numbers since
    // this one took its own, and going back would hand them out again.
    // The counter passes over a range voided ahead of it when it reaches it.
    const int serie = Core.Field("Id_Serie_Documento")->AsInteger();
    const int proximo =
        billing::nfe::ProximoNumeroNaoInutilizado(*dmdb->ADOConnection, serie, Core.Field("Id_Nota_Fiscal")->AsInteger() + 1);
    Execute("update serie_documento set proximo_numero = max(coalesce(proximo_numero, 0), :pproximo_numero) "
            "where id_serie_documento = :pid_serie_documento",
            {{"pproximo_numero", Variant(proximo)}, {"pid_serie_documento", Variant(serie)}});
}

void InvoicePolicy::DeleteItems(DocumentCore& Core) {
    Execute("delete from Nota_Fiscal_Item where id_nota_fiscal = :pid_nota_fiscal and Id_serie_documento = "
            ":pid_serie_documento",
            {{"pid_nota_fiscal", Variant(Core.Field("Id_Nota_Fiscal")->AsInteger())},
             {"pid_serie_documento", Variant(Core.Field("Id_Serie_Documento")->AsInteger())}});
}

void InvoicePolicy::InsertItem(DocumentCore& Core, const ItemRow& Item) {
    std::vector<std::pair<std::string, Variant>> values = ItemValues(Item, Item.id_cfop);
    values.insert(values.begin(), {{"pId_registro", Variant(Core.Field("Id_Registro")->AsString())},
                                   {"pId_Nota_Fiscal", Variant(Core.Field("Id_Nota_Fiscal")->AsInteger())},
                                   {"pId_Serie_Documento", Variant(Core.Field("Id_Serie_Documento")->AsInteger())}});
    Execute("insert into Nota_Fiscal_Item(Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Produto, "
            "Id_Unidade_Medida, Id_Situacao_Tributaria, Quantidade, Valor_Unitario, Valor_Total, Id_CFOP, "
            "Aliquota_icms, Valor_icms) Values(:pId_registro, :pId_Nota_Fiscal, :pId_Serie_Documento, :pId_Produto, "
            ":pId_Unidade_medida, :pId_Situacao_Tributaria, :pQuantidade, :pValor_Unitario, :pValor_Total, "
            ":pId_CFOP, :pAliquota_icms, :pValor_icms)",
            values);
}

void InvoicePolicy::AfterCommit(DocumentCore& Core) {
    if (!AskYesNo(MsgTransmitir, "Transmitir NF-e")) return;
    // The invoice is saved whatever the writer answers.
    try {
        Transmit(Core.Field("Numero_NFe")->AsString());
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        Box(e.what(), "Erro");
    }
}

// ---------------------------------------------------------------------------
// Shipping lists

ShippingListPolicy::ShippingListPolicy() : keys_(ItemKeys(false)) {}

std::vector<LookupDef> ShippingListPolicy::Lookups() const {
    return {Lookup("Cliente", "Id_Cliente", "cliente", "id_cliente", {"nome"}, false),
            Lookup("Vendedor", "Id_Vendedor", "vendedor", "id_vendedor", {"nome"}, true),
            Lookup("Transportador", "Id_Transportador", "transportador", "id_transportador", {"nome"}, true),
            Lookup("Conta_Corrente", "Id_Conta_Corrente", "conta_corrente", "id_conta_corrente", {"descricao"}, true)};
}

void ShippingListPolicy::DressHeader(DocumentCore& Core) const {
    Format(Core, {"Id_Romaneio"}, "000,00#");
    if (auto* f = dynamic_cast<TNumericField*>(Core.Header()->FindField("Id_Romaneio"))) f->SetEditFormat("000,00#");
    Format(Core, {"Valor_Base_Calculo", "Valor_ICMS", "Valor_Desconto", "Valor_Total", "Valor_Produto", "Valor_Frete"},
           kMoney);
    DressClient(Core);
}

void ShippingListPolicy::Defaults(DocumentCore& Core) {
    Core.Field("Data_Emissao")->SetAsDateTime(DateOf(Core.CurrentTime()));
    Core.Field("Valor_Total")->SetAsFloat(0);
    Core.Field("Valor_Desconto")->SetAsFloat(0);
    std::map<std::string, Variant> settings = Core.Settings();
    if (!settings.empty()) {
        Core.CopySettings(settings,
                          {"Id_Vendedor", "Id_Transportador", "Id_Conta_Corrente", "Id_Cliente", "Id_condicao_pagamento"});
        Core.Field("Id_CFOP")->SetAsString("5102");
        NextNumber(Core);
    }
}

namespace {

// The shipping lists' counter as stored (a column's field would read it as
// a 32-bit integer): nullopt without an options row, 1 when never set.
std::optional<std::int64_t> StoredRomaneioCounter() {
    sqlite::Statement st(dmdb->ADOConnection->Database(), "select numero_proximo_romaneio from opcao");
    if (!st.Step()) return std::nullopt;
    return st.ColumnIsNull(0) ? 1 : st.ColumnInt64(0);
}

bool RomaneiosSpent() {
    const std::optional<std::int64_t> next = StoredRomaneioCounter();
    return next && *next > std::numeric_limits<std::int32_t>::max();
}

}  // namespace

void ShippingListPolicy::NextNumber(DocumentCore& Core) {
    if (!Core.Editing()) return;
    const std::optional<std::int64_t> numero = StoredRomaneioCounter();
    if (!numero) return;
    // Past the last number the list has none; the save says why.
    if (*numero > std::numeric_limits<std::int32_t>::max()) Core.Field("Id_Romaneio")->Clear();
    else Core.Field("Id_Romaneio")->SetAsInteger(static_cast<int>(*numero));
}

void ShippingListPolicy::BeforePost(DocumentCore& Core) {
    if (Core.Inserting() && Core.Field("Id_Romaneio")->IsNull() && RomaneiosSpent()) Refuse(MsgRomaneiosEsgotados);
    const int numero = Core.Field("Id_Romaneio")->AsInteger();
    if (Core.Inserting() && dmdb->JaExisteChave({Variant(numero)}, {"id_Romaneio"}, "Romaneio"))
        Refuse(MsgRomaneioExistente);
    if (numero < 1) Refuse("O Número do Romaneio deve ser maior que zero.");
    std::vector<DocumentCore::Check> checks = {
        {"O Cliente não foi informado.", Missing(Core, "Cliente")},
        {"O Transportador não foi informado.", Missing(Core, "Transportador")},
        {"A Conta Corrente não foi informado.", Missing(Core, "Conta_Corrente")},
        {"A Data da Emissão não foi Informada.", Core.Blank("Data_Emissao")},
    };
    for (DocumentCore::Check& c : Core.ItemChecks()) checks.push_back(std::move(c));
    checks.push_back({"O Valor do Romaneio não pode ser negativo.", Core.Field("Valor_Total")->AsFloat() < 0});
    Core.Collect(checks);
}

void ShippingListPolicy::WriteSums(DocumentCore& Core, const ItemSums& Sums) {
    Core.Field("Valor_Base_Calculo")->SetAsFloat(Sums.base);
    Core.Field("Valor_Produto")->SetAsFloat(Sums.total);
    Core.Field("Valor_ICMS")->SetAsFloat(Sums.icms);
}

void ShippingListPolicy::WriteTotal(DocumentCore& Core) {
    // No insurance on a shipping list.
    Core.Field("Valor_Total")->SetAsFloat(Total(Core, false));
}

std::string ShippingListPolicy::LoadSql() const {
    return "SELECT Romaneio_Item.*, Produto.Descricao_Abreviada AS Produto_Descricao, "
           "Produto.Id_Produto AS Produto_Cadastrado, Produto.RBC_Estadual "
           "FROM Romaneio_Item LEFT JOIN Produto ON Romaneio_Item.Id_Produto = Produto.Id_Produto "
           "WHERE Romaneio_Item.Id_Romaneio = :pid_Romaneio "
           "ORDER BY Romaneio_Item.rowid";
}

void ShippingListPolicy::BindHeaderKey(DocumentCore& Core, TSQLQuery& Query) const {
    Query.ParamByName("pid_Romaneio")->SetAsInteger(Core.Field("Id_Romaneio")->AsInteger());
}

void ShippingListPolicy::AdvanceCounter(DocumentCore& Core) {
    // Only ever up, as the invoices' series.
    Execute("update opcao set numero_proximo_romaneio = max(coalesce(numero_proximo_romaneio, 0), "
            ":pnumero_proximo_romaneio)",
            {{"pnumero_proximo_romaneio", Variant(std::int64_t{Core.Field("Id_Romaneio")->AsInteger()} + 1)}});
}

void ShippingListPolicy::DeleteItems(DocumentCore& Core) {
    Execute("delete from Romaneio_Item where id_Romaneio = :pid_Romaneio",
            {{"pid_Romaneio", Variant(Core.Field("Id_Romaneio")->AsInteger())}});
}

void ShippingListPolicy::InsertItem(DocumentCore& Core, const ItemRow& Item) {
    // Every item carries the list's CFOP.
    std::vector<std::pair<std::string, Variant>> values = ItemValues(Item, Core.Field("Id_CFOP")->AsString());
    values.insert(values.begin(), {"pId_Romaneio", Variant(Core.Field("Id_Romaneio")->AsInteger())});
    Execute("insert into Romaneio_Item(Id_Romaneio, Id_Produto, Id_Unidade_Medida, Id_Situacao_Tributaria, "
            "Quantidade, Valor_Unitario, Valor_Total, Id_CFOP, Aliquota_icms, Valor_icms) Values(:pId_Romaneio, "
            ":pId_Produto, :pId_Unidade_medida, :pId_Situacao_Tributaria, :pQuantidade, :pValor_Unitario, "
            ":pValor_Total, :pId_CFOP, :pAliquota_icms, :pValor_icms)",
            values);
}

// ---------------------------------------------------------------------------

DocumentCore* NewInvoiceCore(TComponent* Owner) {
    return new DocumentCore(Owner, std::make_unique<InvoicePolicy>());
}

DocumentCore* NewShippingListCore(TComponent* Owner) {
    return new DocumentCore(Owner, std::make_unique<ShippingListPolicy>());
}

}  // namespace billing::forms
