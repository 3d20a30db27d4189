#pragma once
// Invoice series with the next number to issue, which the invoice entry
// reads and advances. Typing into a field starts an edit; the series code
// is generated; a series that invoices use cannot be deleted. An empty next
// number is kept (the invoice entry counts it as 1).
#include "billing/forms/RegisterForm.h"

class TfrmNota118 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota118)
    explicit TfrmNota118(TComponent* AOwner);
    ~TfrmNota118() override;

    static constexpr const char* kSql = "select * from Serie_Documento order by Id_Serie_Documento";
    static constexpr const char* kCountSql = "select Count(id_nota_fiscal) as qtd_nota from Nota_Fiscal where "
                                             "id_serie_documento = :pid_serie_documento";

    TSQLQuery* qrySerie_Documento = nullptr;
    TDBEdit* dbeId_Serie_Documento = nullptr;
    TDBEdit* dbeProximo_Numero = nullptr;
};

extern TfrmNota118* frmNota118;
