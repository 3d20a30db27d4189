#pragma once
// The accounting export form: the company's code at the accounting firm,
// the period and the folder; OK writes the two export files.
#include <string>

#include <QWidget>

#include "platform/db/DB.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota233 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota233)
    explicit TfrmNota233(TComponent* AOwner);
    ~TfrmNota233() override;

    TDataSet* tbTemp = nullptr;  // Codigo_Empresa, Data_Inicial, Data_Final, Pasta_Salvar
    TDataSource* dsTemp = nullptr;
    TDBEdit* DBEdit1 = nullptr;
    TexDBDateTimePicker* dbeData_Inicial = nullptr;
    TexDBDateTimePicker* dbeData_Final = nullptr;
    TexDBComboDlg* dbePasta_Salvar = nullptr;
    TProgressBar* ProgressBar = nullptr;
    TButton* btnOk = nullptr;
    TButton* btnCancel = nullptr;

    void FormShow(TObject* Sender);
    // The folder browser, starting from the folder typed.
    void dbePasta_SalvarCustomDlg(TObject* Sender);
    // Writes the files from what the controls show (the text being typed
    // included); every refusal and the result are messages.
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);

    // The folder proposed on show: the program's own.
    static std::string ProgramFolder();
};

extern TfrmNota233* frmNota233;
