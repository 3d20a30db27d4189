#pragma once
// Document entry on a fresh database: fixture rows for every register an
// invoice or a shipping list names (issuer, clients with their sellers,
// carrier, bank account, CFOP, tax situations, products, series 1 at 57 and
// series 2 never used, the settings' defaults and list counter 120), a fixed
// clock, and helpers to type items and to dump tables for comparisons.
#include <memory>
#include <string>
#include <vector>

#include "billing/forms/DocumentCore.h"
#include "billing/forms/DocumentPolicies.h"
#include "platform/db/SQLiteDatabase.h"
#include "tests/billing/forms/BillingFixture.h"

namespace billtest {

// Base is Session, or MdiSession for the windows.
template <typename Base>
class DocumentSessionOn : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        Exec("insert into uf (id_uf, uf) values (41, 'PR')");
        Exec("insert into municipio (id_municipio, nome, id_uf) values (4106902, 'Curitiba', 41)");
        // Opening a new file made an issuer of its own: ours replaces it.
        Exec("delete from emitente");
        Exec("insert into emitente (Nome, Nome_Fantasia, Cnpj, Inscricao_Estadual, Endereco, Numero_Endereco, "
             "Bairro, Cep, Telefone, Id_Municipio, Id_Uf) values ('Indústria de Parafusos Ltda', 'Parafusos', "
             "'12345678000195', '10123456-89', 'Rua XV de Novembro', '100', 'Centro', '80020000', '4133334444', "
             "4106902, '41')");
        Exec("insert into vendedor (Id_Vendedor, Nome) values (3, 'Ana Souza'), (4, 'Bruno Lima')");
        AddClient("0000042", "Comercial Silva Ltda", "Silva", "3");
        AddClient("0000043", "Mercado Costa Ltda", "Costa", "4");
        AddClient("0000044", "Loja Sem Vendedor Ltda", "Sem Vendedor", "null");
        Exec("insert into transportador (Id_Transportador, Nome, Endereco, Id_Municipio, Natureza, CPF_CNPJ, "
             "Placa_Veiculo, UF_Veiculo) values (7, 'Transportes Rápidos', 'Rod. BR-116', 4106902, 'Jurídica', "
             "'33444555000181', 'ABC1234', 'PR')");
        Exec("insert into conta_corrente (id_conta_corrente, descricao) values (1, 'Banco do Brasil')");
        Exec("insert into cfop (Id_CFOP, Descricao) values ('5102', 'Venda de mercadoria'), "
             "('6102', 'Venda fora do estado')");
        Exec("insert into situacao_tributaria (Id_Situacao_Tributaria, Descricao) values "
             "('000', 'Tributada integralmente'), ('020', 'Com redução de base')");
        Exec("insert into produto (Id_Produto, Descricao, Descricao_Abreviada, Id_Unidade_Medida, "
             "Id_CST_Estadual, Aliq_ICMS_Estadual) values "
             "('00001', 'Parafuso sextavado', 'PARAFUSO', 'UN', '000', 18), "
             "('00007', 'Porca sextavada', 'PORCA', 'PC', '020', 12), "
             "('00012', 'Arruela lisa', 'ARRUELA', 'UN', '999', 18)");
        Exec("insert into serie_documento (Id_Serie_Documento, Proximo_Numero) values (1, 57), (2, null)");
        Exec("update opcao set id_transportador = 7, id_conta_corrente = 1, id_cfop = '5102', "
             "id_cliente = '0000042', id_serie_documento = 1, id_vendedor = 3, numero_proximo_romaneio = 120, "
             "ambiente = '2 - Homologação'");
    }
    void TearDown() override {
        owner.reset();
        Base::TearDown();
    }

    void Exec(const std::string& Sql, const std::vector<std::pair<std::string, Variant>>& Params = {}) {
        dmdb->ADOConnection->Execute(Sql, Params);
    }
    void AddClient(const std::string& Id, const std::string& Nome, const std::string& Fantasia,
                   const std::string& Seller) {
        Exec("insert into cliente (Id_Cliente, Nome, Nome_Fantasia, Endereco, Numero_Endereco, Bairro, Cep, "
             "Telefone, Id_Municipio, CPF_CNPJ, Natureza, IE_RG, Id_Vendedor) values (:pid, :pnome, :pfant, "
             "'Av. Sete de Setembro', '200', 'Batel', '80240000', '4132221111', 4106902, '11222333000181', "
             "'Jurídica', 'ISENTO', " + Seller + ")",
             {{"pid", Variant(Id)}, {"pnome", Variant(Nome)}, {"pfant", Variant(Fantasia)}});
    }

    // The core of a document kind, with the clock at 15 June 2010, 09:41.
    billing::forms::DocumentCore* Invoices() { return Open(billing::forms::NewInvoiceCore(Owner())); }
    billing::forms::DocumentCore* Lists() { return Open(billing::forms::NewShippingListCore(Owner())); }
    billing::forms::DocumentCore* Open(billing::forms::DocumentCore* Core) {
        Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        Core->Open();
        return Core;
    }
    static billing::forms::InvoicePolicy& Invoice(billing::forms::DocumentCore* Core) {
        return static_cast<billing::forms::InvoicePolicy&>(Core->Policy());
    }
    TComponent* Owner() {
        if (!owner) owner = std::make_unique<TComponent>(nullptr);
        return owner.get();
    }

    // Types an item the way the grid does: quantity, product, unit price.
    static void AddItem(billing::forms::DocumentCore* Core, double Quantidade, const std::string& Produto,
                        double Preco) {
        Core->NewItemRow();
        TDataSet* items = Core->Items();
        items->FieldByName("Quantidade")->SetAsFloat(Quantidade);
        Core->ApplyProduct(Produto);
        items->FieldByName("Valor_Unitario")->SetAsFloat(Preco);
        items->Post();
    }
    static double Num(billing::forms::DocumentCore* Core, const std::string& Field) {
        return Core->Field(Field)->AsFloat();
    }

    // Saves an invoice, answering the transmit question with No.
    void SaveInvoice(billing::forms::DocumentCore* Core) {
        this->dialogs.Expect(billing::forms::MsgTransmitir, mrNo, "Transmitir NF-e");
        Core->Header()->Post();
    }

    // Every row of a table, in storage order, one line each.
    std::string Dump(const std::string& Table) {
        sqlite::Statement st(dmdb->ADOConnection->Database(), "select * from " + Table + " order by rowid");
        std::string out;
        while (st.Step()) {
            for (int i = 0; i < st.ColumnCount(); ++i)
                out += (st.ColumnIsNull(i) ? std::string("<null>") : st.ColumnText(i)) + "|";
            out += "\n";
        }
        return out;
    }
    std::string Dump(std::initializer_list<const char*> Tables) {
        std::string out;
        for (const char* t : Tables) out += std::string(t) + ":\n" + Dump(std::string(t));
        return out;
    }

    std::unique_ptr<TComponent> owner;
};

using DocumentSession = DocumentSessionOn<Session>;

}  // namespace billtest
