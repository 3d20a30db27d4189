#pragma once
// The two kinds of document the entry forms type: invoices (numbered from
// their series, with an access key and a state, handed to the NF-e writer
// after the save) and shipping lists (numbered from the settings' counter,
// CFOP 5102, neither state nor transmission).
#include <functional>
#include <memory>
#include <string>

#include "billing/forms/DocumentCore.h"

namespace billing::forms {

// A new document whose number is taken, and how to take another.
extern const char* const MsgNotaExistente;
extern const char* const MsgRomaneioExistente;
// The shipping lists' counter has passed the last number a list can take.
extern const char* const MsgRomaneiosEsgotados;

class InvoicePolicy : public DocumentPolicy {
public:
    InvoicePolicy();

    // The access key of a new invoice (number, series, issue date); the NF-e
    // routine on the data module's connection unless replaced. Raises with
    // the message to show when the issuer register cannot make one.
    std::function<std::string(int Numero, int Serie, TDateTime Emissao)> MakeKey;
    // Writes the NF-e file of a saved invoice; raises with the message to
    // show when the writer refuses it.
    std::function<void(const std::string& Chave)> Transmit;

    // The largest number Id_Registro can hold (7 digits).
    static constexpr int kMaxNumero = 9999999;

    std::string Table() const override { return "Nota_Fiscal"; }
    std::string HeaderSql() const override;
    std::string ItemBufferName() const override { return "tbNota_Fiscal_Item"; }
    std::string Noun() const override { return "a Nota Fiscal"; }
    std::string Duplicate() const override { return MsgNotaExistente; }
    bool ItemsHaveCfop() const override { return true; }
    std::vector<LookupDef> Lookups() const override;
    const GridKeyPolicy& Keys() const override { return keys_; }
    void DressHeader(DocumentCore& Core) const override;
    void Defaults(DocumentCore& Core) override;
    void NextNumber(DocumentCore& Core) override;
    void BeforeEdit(DocumentCore& Core) override;
    void BeforeDelete(DocumentCore& Core) override;
    void ClientExit(DocumentCore& Core, const std::string& Typed) override;
    void BeforePost(DocumentCore& Core) override;
    void NewItem(DocumentCore& Core) override;
    void CheckItem(DocumentCore& Core) override;
    void WriteSums(DocumentCore& Core, const ItemSums& Sums) override;
    void WriteTotal(DocumentCore& Core) override;
    std::string LoadSql() const override;
    void BindHeaderKey(DocumentCore& Core, TSQLQuery& Query) const override;
    void AdvanceCounter(DocumentCore& Core) override;
    void DeleteItems(DocumentCore& Core) override;
    void InsertItem(DocumentCore& Core, const ItemRow& Item) override;
    void CheckStored(DocumentCore& Core, bool Deleting) override;
    void AfterCommit(DocumentCore& Core) override;

private:
    // The state stored for this series and number; false when no row has them.
    static bool StoredState(int Serie, int Numero, std::string& State);
    // Refuses an action the state does not allow, as the stored row has it:
    // a window left open may show a state the answers changed since, and
    // then shows the stored row first.
    void StateRule(DocumentCore& Core, const std::string& Action) const;
    std::string AccessKey(DocumentCore& Core, int Numero, int Serie, TDateTime Emissao);
    GridKeyPolicy keys_;
    // Series and number of the row being edited: a saved invoice keeps them.
    int editedSerie_ = 0;
    int editedNumero_ = 0;
};

class ShippingListPolicy : public DocumentPolicy {
public:
    ShippingListPolicy();

    std::string Table() const override { return "Romaneio"; }
    std::string HeaderSql() const override { return "select * from Romaneio order by Id_Romaneio"; }
    std::string ItemBufferName() const override { return "tbRomaneio_Item"; }
    std::string Noun() const override { return "o Romaneio"; }
    std::string Duplicate() const override { return MsgRomaneioExistente; }
    bool ItemsHaveCfop() const override { return false; }
    std::vector<LookupDef> Lookups() const override;
    const GridKeyPolicy& Keys() const override { return keys_; }
    void DressHeader(DocumentCore& Core) const override;
    void Defaults(DocumentCore& Core) override;
    void NextNumber(DocumentCore& Core) override;
    void BeforePost(DocumentCore& Core) override;
    void WriteSums(DocumentCore& Core, const ItemSums& Sums) override;
    void WriteTotal(DocumentCore& Core) override;
    std::string LoadSql() const override;
    void BindHeaderKey(DocumentCore& Core, TSQLQuery& Query) const override;
    void AdvanceCounter(DocumentCore& Core) override;
    void DeleteItems(DocumentCore& Core) override;
    void InsertItem(DocumentCore& Core, const ItemRow& Item) override;

private:
    GridKeyPolicy keys_;
};

// Whether an invoice in this NF-e state may be edited or deleted ("Em
// Digitação" or "Erro", any case).
bool StateAllows(const std::string& State);

// A document core of each kind, owned by Owner.
DocumentCore* NewInvoiceCore(TComponent* Owner);
DocumentCore* NewShippingListCore(TComponent* Owner);

// The messages both kinds share with the invoice form.
extern const char* const MsgTransmitir;
extern const char* const MsgDadosAdicionais;

}  // namespace billing::forms
