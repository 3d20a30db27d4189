#pragma once
// Titles receivable: one bank-collection title per invoice installment. No
// menu opens this register yet and nothing prints its bank slips; it is
// built so that the financial menu can open it later.
//
// The form also holds the bank slip's layout (rpBloqueto): one slip per
// title, the payer's receipt above the cut line and the bank's part below,
// fed by four pipelines: the titles (the register's own query), the holder
// (the issuer), the title's client and the title's bank account with its
// bank. The client and the account follow the title being printed: the
// detail band reads them again before each slip. Nothing calls it yet, so
// the layout is made when first asked for: opening the register loads no
// part of the report library.
#include <memory>

#include "billing/forms/RegisterForm.h"

namespace billing::listings {
class ColumnFit;
}
class TrpReport;
class TrpDBPipeline;
class TrpMemo;
class TrpDBImage;
class TrpDBBarCode;

class TfrmNota117 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota117)
    explicit TfrmNota117(TComponent* AOwner);
    ~TfrmNota117() override;

    static constexpr const char* kSql = "select * from titulo_receber order by id_titulo_receber";

    TSQLQuery* qryTitulo_Receber = nullptr;
    TDBEdit* dbeId_Titulo_Receber = nullptr;  // numbered by the database
    TexDBComboDlg* dbeId_Cliente = nullptr;
    TPanel* PCliente = nullptr;
    TexDBComboDlg* dbeId_Conta_Corrente = nullptr;
    TPanel* PConta_Corrente = nullptr;
    TDBCheckBox* dbeGerou_Arquivo = nullptr;

    // The bank slip's layout, made on the first call; the members below
    // are empty until then.
    TrpReport* Bloqueto();

    // The bank slip's layout and what feeds it.
    TSQLQuery* qryEmitente = nullptr;
    TSQLQuery* qryCliente = nullptr;
    TSQLQuery* qryConta_Corrente = nullptr;
    TDataSource* dsTitulo = nullptr;
    TDataSource* dsEmitente = nullptr;
    TDataSource* dsCliente = nullptr;
    TDataSource* dsConta_Corrente = nullptr;
    TrpDBPipeline* plTitulo_Receber = nullptr;
    TrpDBPipeline* plEmitente = nullptr;
    TrpDBPipeline* plCliente = nullptr;
    TrpDBPipeline* plConta_Corrente = nullptr;
    TrpReport* rpBloqueto = nullptr;
    TrpDBImage* imgLogotipo_Emitente = nullptr;
    TrpDBImage* imgLogotipo_Banco_Recibo = nullptr;
    TrpDBImage* imgLogotipo_Banco = nullptr;
    TrpMemo* mmoCedente = nullptr;
    TrpMemo* mmoSacado = nullptr;
    TrpMemo* mmoInstrucoes = nullptr;
    TrpDBBarCode* bcNosso_Numero = nullptr;

    // Reads the client and the bank account of the title the titles'
    // query stands on and fills the slip's three memos from them.
    void Le_Titulo();

private:
    void CriaBloqueto();
    // The payer's name keeps to its box on the receipt as a listing's names
    // keep to their columns.
    std::unique_ptr<billing::listings::ColumnFit> fit_;
};

extern TfrmNota117* frmNota117;
