#pragma once
// Carriers: who takes the goods, named in the transport block of invoices,
// with the vehicle they use. The CPF or CNPJ is checked by the carrier's
// nature; a new carrier takes the next code and the settings' municipality.
#include "billing/forms/RegisterForm.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota103 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota103)
    explicit TfrmNota103(TComponent* AOwner);
    ~TfrmNota103() override;

    TSQLQuery* qryTransportador = nullptr;  // the register's query
    TDBEdit* dbeId_Transportador = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeEndereco = nullptr;
    TexDBComboDlg* dbeId_Municipio = nullptr;
    TPanel* PMunicipio = nullptr;
    TPanel* PUF_Municipio = nullptr;
    TDBComboBox* dbeNatureza = nullptr;
    TDBEdit* dbeCPF_CNPJ = nullptr;
    TDBEdit* dbeIE_RG = nullptr;
    TGroupBox* gbVeiculo = nullptr;
    TDBEdit* dbePlaca_Veiculo = nullptr;
    TDBEdit* dbeModelo_Veiculo = nullptr;
    TDBEdit* dbeCidade_Veiculo = nullptr;
    TDBEdit* dbeUF_Veiculo = nullptr;

    void Mascara_CPF_CNPJ();
    void Mostra_Municipio();
    void Mostra_Tudo() override;

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
};

extern TfrmNota103* frmNota103;
