#include "preview/rpCancelDialog.h"

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace {

enum : int {
    txPrinting = 1061,
    txCancelling = 1062,
    txCancel = 1053,
};

}  // namespace

TClass TrpCancelDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCancelDialog>("TrpCancelDialog", TrpCustomCancelDialog::StaticClassType()).Build();
    return &info;
}

TrpCancelDialog::TrpCancelDialog(TComponent* AOwner)
    : TrpCustomCancelDialog(AOwner), form_(std::make_unique<TrpCancelDialogForm>(nullptr, this)) {
    form_->OnClose = [this](TObject*, TCloseAction&) {
        if (OnClose) OnClose();
    };
}

TrpCancelDialog::~TrpCancelDialog() {
    form_->OnClose = nullptr;
    delete timer_;
}

void TrpCancelDialog::SetReport(TrpProducer* Value) {
    TrpCustomCancelDialog::SetReport(Value);
    form_->SetReport(Value);
}

void TrpCancelDialog::SetLanguageIndex(int Value) {
    TrpCustomCancelDialog::SetLanguageIndex(Value);
    form_->SetLanguageIndex(Value);
}

void TrpCancelDialog::ReportFreeing() {
    TrpCustomCancelDialog::ReportFreeing();
    form_->SetReport(nullptr);
    OnCancel = OnClose = OnStart = nullptr;
}

bool TrpCancelDialog::ShowModal() {
    ExecuteModal();
    return !cancelled_;
}

void TrpCancelDialog::ExecuteModal() {
    failure_ = nullptr;
    cancelled_ = false;
    delete timer_;
    timer_ = new TTimer(nullptr);
    timer_->SetInterval(StartDelay);
    timer_->OnTimer = [this](TObject*) {
        timer_->SetEnabled(false);
        StartJob();
    };
    timer_->SetEnabled(true);
    form_->ShowModal();
    delete timer_;
    timer_ = nullptr;
    if (failure_) {
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        std::rethrow_exception(failure);
    }
}

void TrpCancelDialog::StartJob() {
    jobRunning_ = true;
    try {
        if (OnStart) OnStart();
    } catch (...) {
        failure_ = std::current_exception();
    }
    jobRunning_ = false;
    // A job that ended without closing the dialog would leave a modal
    // window up whose button does nothing.
    if (form_->Modal()) form_->SetModalResult(failure_ ? mrAbort : mrOk);
}

void TrpCancelDialog::Show() { form_->Show(); }

void TrpCancelDialog::Close() {
    if (form_->Modal())
        form_->SetModalResult(mrOk);
    else if (form_->Visible())
        form_->Close();
}

void TrpCancelDialog::CancelPressed() {
    cancelled_ = true;
    form_->Progress->SetCaption(rpCaption(txCancelling, "Cancelando..."));
    if (OnCancel) OnCancel();
    if (!jobRunning_) {
        if (form_->Modal())
            form_->SetModalResult(mrCancel);
        else
            form_->Close();
    }
}

void TrpCancelDialog::PrintProgressChanged() {
    if (!cancelled_) form_->Progress->SetCaption(PrintProgress());
}

// ---------------------------------------------------------------------------

TrpCancelDialogForm::TrpCancelDialogForm(TComponent* AOwner, TrpCancelDialog* Dialog)
    : TrpForm(AOwner), dialog_(Dialog) {
    SetBorderIcons({});
    SetBounds(0, 0, 380, 120);
    Progress = new TLabel(this);
    Progress->SetParent(this);
    Progress->SetAutoSize(false);
    Progress->SetWordWrap(true);
    Progress->SetBounds(12, 12, 356, 48);
    Cancel = new TButton(this);
    Cancel->SetParent(this);
    Cancel->SetBounds(150, 76, 80, 26);
    Cancel->SetCancel(true);
    Cancel->OnClick = [this](TObject*) { dialog_->CancelPressed(); };
    LanguageChanged();
}

void TrpCancelDialogForm::LanguageChanged() {
    SetCaption(rpCaption(txPrinting, "Imprimindo"));
    Cancel->SetCaption(rpCaption(txCancel, "Cancelar"));
}
