#pragma once
// The user log, newest entry selected.
#include <QWidget>

#include "platform/db/SQLQuery.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"

class TfrmNota221 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota221)
    explicit TfrmNota221(TComponent* AOwner);
    ~TfrmNota221() override;

    TSQLQuery* qryLog_Usuario = nullptr;
    TDataSource* dsMain = nullptr;
    TexDBGrid* exDBGrid1 = nullptr;
    TDBMemo* dbmDescricao = nullptr;
    TButton* Button1 = nullptr;

    void FormShow(TObject* Sender);
    void Button1Click(TObject* Sender);
};

extern TfrmNota221* frmNota221;
