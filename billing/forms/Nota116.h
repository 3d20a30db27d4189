#pragma once
// Bank codes (Febraban) with the bank's logo file. No menu opens this
// register yet; the pages for bank instructions, return occurrences, title
// kinds and currencies hold empty grids until the bank-slip work needs them.
#include "billing/forms/RegisterForm.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"

class TfrmNota116 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota116)
    explicit TfrmNota116(TComponent* AOwner);
    ~TfrmNota116() override;

    static constexpr const char* kSql = "select * from Febraban order by Id_Febraban";

    TSQLQuery* qryFebraban = nullptr;
    TPageControl* PageControl1 = nullptr;
    TDBEdit* dbeId_Febraban = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeNome_Fantasia = nullptr;
    TImage* imgLogotipo = nullptr;
    TButton* Button3 = nullptr;  // Selecionar...
    TButton* Button4 = nullptr;  // Limpar
    TOpenDialog* OpenDialog = nullptr;

    // The logo file, as the issuer form chooses and shows its own.
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Mostra_Logotipo();
    void Mostra_Tudo() override { Mostra_Logotipo(); }

private:
    std::string reportedLogo_;
};

extern TfrmNota116* frmNota116;
