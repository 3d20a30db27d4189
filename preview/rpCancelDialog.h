#pragma once
// The dialog shown while pages go to a printer or a file. Shown modally it
// runs the job itself: 10 ms after it appears its timer calls the start
// hook, so that the window is on the screen (and its cancel button alive)
// while the producer generates. Whatever ends the job closes it by setting
// its modal result to OK; a failure of the job closes it too and is raised
// again once the dialog is gone, never inside the event loop.
#include <exception>
#include <memory>

#include "preview/rpForm.h"
#include "report/rpDialogs.h"

class TButton;
class TLabel;
class TTimer;
class TrpCancelDialogForm;

class TrpCancelDialog : public TrpCustomCancelDialog {
public:
    explicit TrpCancelDialog(TComponent* AOwner);
    ~TrpCancelDialog() override;
    FAT_CLASS(TrpCancelDialog)

    void SetReport(TrpProducer* Value) override;
    void SetLanguageIndex(int Value) override;
    bool ShowModal() override;
    void ExecuteModal() override;
    void Show() override;
    void Close() override;
    void ReportFreeing() override;

    // The cancel button: asks the producer to stop; a dialog whose job is
    // not running closes at once.
    void CancelPressed();
    bool JobRunning() const { return jobRunning_; }
    TrpCancelDialogForm* Form() const { return form_.get(); }

    static constexpr int StartDelay = 10;

protected:
    void PrintProgressChanged() override;

private:
    void StartJob();
    std::unique_ptr<TrpCancelDialogForm> form_;
    TTimer* timer_ = nullptr;
    bool jobRunning_ = false;
    bool cancelled_ = false;
    std::exception_ptr failure_;
};

class TrpCancelDialogForm : public TrpForm {
public:
    FAT_CLASS_NAME(TrpCancelDialogForm)
    TrpCancelDialogForm(TComponent* AOwner, TrpCancelDialog* Dialog);

    TLabel* Progress;
    TButton* Cancel;

protected:
    void LanguageChanged() override;

private:
    TrpCancelDialog* dialog_;
};
