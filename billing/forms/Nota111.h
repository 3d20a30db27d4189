#pragma once
// Users and their rights over the program codes.
#include "billing/forms/RegisterForm.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota111 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota111)
    explicit TfrmNota111(TComponent* AOwner);
    ~TfrmNota111() override;

    TSQLQuery* qryUsuario = nullptr;  // the register's query
    TDBEdit* dbeId_usuario = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeSenha = nullptr;
    TDBCheckBox* dbeInativo = nullptr;
    TDataSet* tbTemp = nullptr;  // Permitido, Id_programa, Tipo, descricao
    TDataSource* dsTemp = nullptr;
    TexDBGrid* exDBGrid1 = nullptr;
    TButton* Button1 = nullptr;  // Marca Todos
    TButton* Button2 = nullptr;  // Desmarca Todos

    // The rights grid of the current user.
    void Mostra_Programas();
    // Replaces the user's rights by the ticked rows, all in one transaction.
    void Salva_Programas();
    // Every row of the grid takes Value ("Sim" or "Não"), while the user
    // row is edited.
    void Marca(const std::string& Value);
    // Ticks or unticks the grid's current row while the user row is edited.
    void AlternaPermissao();
    void Button1Click(TObject* Sender) { (void)Sender; Marca("Sim"); }
    void Button2Click(TObject* Sender) { (void)Sender; Marca("Não"); }

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;

private:
    // Whether the user row is being inserted or edited (the only time the
    // rights may change).
    bool EditingUser() const;
    std::string encrypted_;  // the stored form written by the last save attempt
};

extern TfrmNota111* frmNota111;
