#pragma once
// ICMS tax situation codes (CST) that products carry and invoice items
// record: three digits, the goods' origin and then the ICMS treatment. A
// code typed into a new row is zero-filled on leaving the field; the help
// window lists the two tables the code is made of.
#include <string_view>

#include "billing/forms/RegisterForm.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"

// Whether the trimmed code is a valid CST: three characters, the origin
// "0", "1" or "2", then one of the treatments 00, 10, 20, 30, 40, 41, 50,
// 51, 60, 70, 90.
bool Valida_CST(std::string_view Code);

class TfrmNota106 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota106)
    explicit TfrmNota106(TComponent* AOwner);
    ~TfrmNota106() override;

    static constexpr const char* kSql = "select * from Situacao_Tributaria order by Id_Situacao_Tributaria";
    static constexpr const char* kCountSql =
        "select Count(id_nota_fiscal) as qtd_nota from Nota_Fiscal_Item where id_situacao_tributaria = "
        ":pid_situacao_tributaria";

    TSQLQuery* qrySituacao_Tributaria = nullptr;
    TDBEdit* dbeId_Situacao_Tributaria = nullptr;
    TDBEdit* dbeDescricao = nullptr;
    TButton* SpeedButton1 = nullptr;  // the help

    // A code typed into a new row is left-filled with zeros ("90" -> "090").
    void dbeId_Situacao_TributariaExit(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);

protected:
    std::string Search() override;
};

// The help window with the CST tables.
class TfrmNota106a : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota106a)
    explicit TfrmNota106a(TComponent* AOwner);
    ~TfrmNota106a() override;

    // The window's face (and the text's): light yellow, RGB 255, 255, 225.
    static constexpr TColor kColor = 0xE1FFFF;
    static const char* const kText;

    TMemo* RichEdit1 = nullptr;
    TButton* Button1 = nullptr;  // Fechar

    void Button1Click(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
};

extern TfrmNota106* frmNota106;
extern TfrmNota106a* frmNota106a;
