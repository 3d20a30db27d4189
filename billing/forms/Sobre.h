#pragma once
// The about box.
#include <QWidget>

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmSobre : public TForm {
public:
    FAT_CLASS_NAME(TfrmSobre)
    explicit TfrmSobre(TComponent* AOwner);

    TLabel* lblNomeAplicativo = nullptr;
    TButton* Button1 = nullptr;
};
