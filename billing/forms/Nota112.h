#pragma once
// Printer models: the control sequences that switch a text printer to
// condensed print and back. No menu opens this register yet.
#include "billing/forms/RegisterForm.h"

class TfrmNota112 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota112)
    explicit TfrmNota112(TComponent* AOwner);
    ~TfrmNota112() override;

    static constexpr const char* kSql = "select * from Modelo_Impressora order by Id_Modelo_Impressora";

    TSQLQuery* qryModelo_Impressora = nullptr;
    TDBEdit* dbeId_Modelo_Impressora = nullptr;
    TDBEdit* dbeCondensa_15cpp = nullptr;
    TDBEdit* dbeImpressao_Normal = nullptr;
    TDBEdit* dbeCondensa_20cpp = nullptr;
};

extern TfrmNota112* frmNota112;
