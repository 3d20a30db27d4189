#pragma once
// Products: a structured code of nine digits shown through the configurable
// product mask, a five-digit reduced code taken from it by default, the
// unit of measure and the ICMS data for sales inside and outside the state.
#include <string>

#include "billing/forms/RegisterForm.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota101 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota101)
    explicit TfrmNota101(TComponent* AOwner);
    ~TfrmNota101() override;

    TSQLQuery* qryProduto = nullptr;  // the register's query
    TDBEdit* dbeId_Produto_estrutura = nullptr;
    TDBEdit* dbeDescricao_Abreviada = nullptr;
    TDBEdit* dbeDescricao = nullptr;
    TDBComboBox* dbeTipo = nullptr;
    TDBEdit* dbeId_Produto = nullptr;
    TexDBComboDlg* dbeId_Unidade_Medida = nullptr;
    TPanel* PUnidade_Medida = nullptr;
    TDBEdit* dbePreco_Venda = nullptr;
    TDBEdit* dbeFator_Peso = nullptr;
    TDBEdit* dbeEAN = nullptr;
    TDBEdit* dbePeca = nullptr;
    TGroupBox* gbEstadual = nullptr;
    TDBEdit* dbeAliq_ICMS_Estadual = nullptr;
    TexDBComboDlg* dbeId_CST_Estadual = nullptr;
    TPanel* PSituacao_Tributaria_Estadual = nullptr;
    TDBEdit* dbeRBC_Estadual = nullptr;
    TGroupBox* gbInterestadual = nullptr;
    TDBEdit* dbeAliq_ICMS_Interestadual = nullptr;
    TexDBComboDlg* dbeId_CST_Interestadual = nullptr;
    TPanel* PSituacao_Tributaria_Interestadual = nullptr;
    TDBEdit* dbeRBC_Interestadual = nullptr;

    // A new product's reduced code: the one typed, zero-filled, or else the
    // structured code's first five digits.
    void Atribui_Codigo_Produto();
    // A blank description takes the short one.
    void dbeDescricao_AbreviadaExit(TObject* Sender);
    void Mostra_Unidade_Medida();
    void Mostra_Situacao_Tributaria();

    // The reduced code for a typed one (Reduzida) and the structured code:
    // five digits, "00000" when what decides is not a number.
    static std::string CodigoReduzido(const std::string& Reduzida, const std::string& Estruturado);

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
    void btnInsertClick(TObject* Sender) override;
    void btnEditClick(TObject* Sender) override;

private:
    Lookup unidade_{};
    Lookup cstEstadual_{};
    Lookup cstInterestadual_{};
};

extern TfrmNota101* frmNota101;
