#pragma once
// The product listing: the products of a code range as a 120-column text
// report, shown in the text-report printer's preview.
#include <string>

#include <QWidget>

#include "billing/controls/JLPSay.h"
#include "platform/db/DB.h"
#include "platform/db/SQLQuery.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota301 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota301)
    explicit TfrmNota301(TComponent* AOwner);
    ~TfrmNota301() override;

    TDataSet* tbTemp = nullptr;  // Id_Produto_Inicial, Id_Produto_Final
    TDataSource* dsTemp = nullptr;
    TDBEdit* DBEdit1 = nullptr;
    TDBEdit* DBEdit2 = nullptr;
    TSay* Say1 = nullptr;
    TSQLQuery* qryEmitente = nullptr;  // part of the form; the report does not read it
    TDataSource* dsEmitente = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;

    void FormShow(TObject* Sender);
    // Refuses a range whose initial code sorts after the final one (codes
    // compare as text: "9" after "10"), else builds the report.
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Gera_Relatorio();
    void FormClose(TObject* Sender, TCloseAction& Action);
};

extern TfrmNota301* frmNota301;
