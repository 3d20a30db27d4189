#pragma once
// Payment terms with their installments. The installments are edited in a
// grid over a memory table, checked with the term and written in the term's
// own transaction: a failure keeps the stored installments as they were, and
// deleting a term deletes its installments with it.
#include <vector>

#include "billing/forms/Installments.h"
#include "billing/forms/RegisterForm.h"
#include "platform/ui/DBGrids.h"

class TfrmNota108 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota108)
    explicit TfrmNota108(TComponent* AOwner);
    ~TfrmNota108() override;

    static constexpr const char* kSql = "select * from condicao_pagamento order by id_condicao_pagamento";
    static constexpr const char* kSelectParcelas =
        "select * from Condicao_Pagamento_Parcela where id_condicao_pagamento = :pid_condicao_Pagamento "
        "order by prazo_dias";
    static constexpr const char* kDeleteParcelas =
        "delete from Condicao_Pagamento_Parcela where id_condicao_pagamento = :pid_condicao_pagamento";
    static constexpr const char* kInsertParcela =
        "insert into Condicao_Pagamento_Parcela(id_condicao_pagamento,prazo_dias, percentual)\n"
        "values(:pid_condicao_Pagamento, :pprazo_dias, :ppercentual)";

    TSQLQuery* qryCondicao_Pagamento = nullptr;
    TDBEdit* dbeId_Condicao_Pagamento = nullptr;
    TDBEdit* dbeDescricao = nullptr;
    TDBCheckBox* dbeInativo = nullptr;
    TDataSet* tbTemp = nullptr;  // prazo_dias, percentual
    TDataSource* dsTemp = nullptr;
    TexDBGrid* exDBGrid1 = nullptr;

    // The grid from the stored installments of the current term (empty for
    // a new one).
    void Mostra_Parcelas();
    // The stored installments replaced by the grid's rows (runs inside the
    // term's save).
    void Salva_Parcelas();
    // The grid's rows in grid order (a pending grid row is posted first); a
    // row with neither days nor share is none.
    std::vector<billing::forms::Installment> Parcelas();
    void exDBGrid1Enter(TObject* Sender);
    void exDBGrid1Exit(TObject* Sender);

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
    void BeforeChecks(TDataSet* DataSet) override;

private:
    void PostPendingGridRow();
};

extern TfrmNota108* frmNota108;
