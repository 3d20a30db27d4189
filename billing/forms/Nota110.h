#pragma once
// The issuer: the company that issues the invoices, the one row of table
// emitente. Its CNPJ, registration and address go into every NF-e, its name
// into the main window's status bar, its logo file into printed documents.
// There is only ever one row: no new, delete, navigation or search buttons;
// an empty table opens with its row ready to be filled.
#include <string>

#include "billing/forms/RegisterForm.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota110 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota110)
    explicit TfrmNota110(TComponent* AOwner);
    ~TfrmNota110() override;

    TSQLQuery* qryEmitente = nullptr;  // the register's query
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeNome_Fantasia = nullptr;
    TDBEdit* dbeCnpj = nullptr;
    TDBEdit* dbeInscricao_Estadual = nullptr;
    TDBEdit* dbeInscricao_Estadual_ST = nullptr;
    TDBEdit* dbeInscricao_Municipal = nullptr;
    TDBEdit* dbeEndereco = nullptr;
    TDBEdit* dbeNumero_Endereco = nullptr;
    TDBEdit* dbeBairro = nullptr;
    TDBEdit* dbeCep = nullptr;
    TexDBComboDlg* exDBComboDlg1 = nullptr;  // the municipality
    TPanel* PMunicipio = nullptr;
    TPanel* PUF = nullptr;
    TDBEdit* dbeTelefone = nullptr;
    TDBEdit* dbeTelefax = nullptr;
    TDBEdit* dbeEmail = nullptr;
    TDBEdit* dbeWebsite = nullptr;
    TPanel* pnlLogotipo = nullptr;
    TImage* imgLogoTipo = nullptr;
    TButton* btnSelecionar = nullptr;  // "Selecionar..."
    TButton* btnLimpar = nullptr;      // "Limpar"
    TOpenDialog* OpenDialog = nullptr;

    void btnSelecionarClick(TObject* Sender);
    void btnLimparClick(TObject* Sender);
    // The picture of the logo file; a file that cannot be read as a picture
    // is reported and shows none.
    void Mostra_Logotipo();
    void Mostra_Municipio();
    void Mostra_Tudo() override;

private:
    void IssuerShow(TObject* Sender);
    // The unreadable file last reported: the checks before a save show the
    // row again, and one message per file is enough.
    std::string reportedLogo_;
};

extern TfrmNota110* frmNota110;
