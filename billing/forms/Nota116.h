#pragma once
// Bank codes (Febraban) with the bank's logo file. No menu opens this
// register yet; the pages for bank instructions, return occurrences, title
// kinds and currencies hold empty grids until the bank-slip work needs them.
#include "billing/forms/RegisterForm.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"

class TfrmNota116 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota116)
    explicit TfrmNota116(TComponent* AOwner);
    ~TfrmNota116() override;

    static constexpr const char* kSql = "select * from Febraban order by Id_Febraban";
    static constexpr const char* kFiltroImagem =
        "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp";

    TSQLQuery* qryFebraban = nullptr;
    TPageControl* PageControl1 = nullptr;
    TDBEdit* dbeId_Febraban = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeNome_Fantasia = nullptr;
    TImage* imgLogotipo = nullptr;
    TButton* Button3 = nullptr;  // Selecionar...
    TButton* Button4 = nullptr;  // Limpar

    // Picks the logo file (only while the row is edited); a file that is no
    // picture is refused with a message.
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    // The picture of the trimmed path, or none.
    void Mostra_Logotipo();
    void Mostra_Tudo() override { Mostra_Logotipo(); }
};

extern TfrmNota116* frmNota116;
