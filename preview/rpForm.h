#pragma once
// TrpForm: the window under every report dialog. The dialog classes the
// producer talks to (report/rpDialogs.h) keep the values the producer sets
// and reads; each builds one of these to show them, so that the values can
// be driven without a window. The form knows the report it serves and its
// language: changing the language reads every caption again.
#include <string>

#include <QWidget>

#include "platform/ui/Forms.h"

class TrpProducer;

// Text N of the language modules, or Default when none supplies it: the
// dialogs' captions have texts of their own in our table only where a
// module lacks them.
std::string rpCaption(int N, const char* Default);

class TrpForm : public TForm {
public:
    FAT_CLASS_NAME(TrpForm)
    explicit TrpForm(TComponent* AOwner);

    TrpProducer* Report() const { return report_; }
    // Stores the report and lets the form show what it needs of it.
    void SetReport(TrpProducer* Value);
    int LanguageIndex() const { return languageIndex_; }
    // Stores the language and reads every caption again.
    void SetLanguageIndex(int Value);

protected:
    virtual void ReportChanged() {}
    // Sets every caption from the language texts.
    virtual void LanguageChanged() {}

private:
    TrpProducer* report_ = nullptr;
    int languageIndex_ = 0;
};
