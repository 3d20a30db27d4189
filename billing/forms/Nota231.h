#pragma once
// "Inutilizar Faixa Numeração NF-e": the voiding of a range of NF-e numbers
// of a series, asked of the monitor once the input is checked and confirmed.
#include <memory>
#include <vector>

#include <QWidget>

#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/NFeServices.h"

#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota231 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota231)
    explicit TfrmNota231(TComponent* AOwner);
    ~TfrmNota231() override;

    TDataSet* tbTemp = nullptr;
    TDataSource* dsTemp = nullptr;
    TDBEdit* dbeId_Serie_Documento = nullptr;
    TDBEdit* DBEdit2 = nullptr;
    TDBEdit* DBEdit3 = nullptr;
    TDBMemo* dbeMotivo = nullptr;
    TButton* Button1 = nullptr;  // Inutilizar
    TButton* Button2 = nullptr;  // Fechar

    void FormShow(TObject* Sender);
    // Never raises on bad input: the message is shown and the form stays.
    // A request written is followed by its answer: the outcome (status 102
    // with its protocol, or the refusal) is shown when it comes, the form
    // staying live meanwhile.
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    bool Waiting() const { return wait_ && wait_->Waiting(); }

private:
    void Answered(const std::vector<billing::nfe::PollerMessage>& Shown, bool Voided);
    // An accepted voiding empties the range typed.
    void ClearVoidedRange();
    std::unique_ptr<billing::nfe::AnswerWait> wait_;
};

extern TfrmNota231* frmNota231;
