#pragma once
// "Verificar Status Serviço NF-e": asks the monitor whether the tax
// authority's NF-e service is up and shows its answer when it comes, the
// window staying live meanwhile.
#include <memory>

#include <QWidget>

#include "billing/nfe/AnswerWait.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota230 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota230)
    explicit TfrmNota230(TComponent* AOwner);
    ~TfrmNota230() override;

    TButton* Button1 = nullptr;  // Verificar
    TButton* Button2 = nullptr;  // Fechar
    TMemo* mStatus = nullptr;

    void FormShow(TObject* Sender);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    bool Waiting() const { return wait_ && wait_->Waiting(); }

private:
    void Answered(const std::string& Text, const std::string& Failure);
    std::unique_ptr<billing::nfe::AnswerWait> wait_;
};

extern TfrmNota230* frmNota230;
