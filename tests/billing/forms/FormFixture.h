#pragma once
// Register forms opened the way the main window opens them (created, then
// shown inside the shown MDI frame), on a fresh database with scripted boxes;
// the forms opened are freed before the frame.
#include <string>
#include <vector>

#include "billing/forms/RegisterForm.h"
#include "tests/billing/forms/BillingFixture.h"

namespace billtest {

class Forms : public MdiSession {
protected:
    void TearDown() override {
        for (auto it = opened.rbegin(); it != opened.rend(); ++it) delete *it;
        MdiSession::TearDown();
    }
    template <typename T>
    T* Open() {
        T* form = new T(nullptr);
        opened.push_back(form);
        form->DoCreate();
        form->Show();
        return form;
    }
    // The text of the last box shown, whole (Expect matches a part only).
    std::string LastBox() const { return dialogs.Shown().empty() ? std::string() : dialogs.Shown().back().text; }
    void Exec(const std::string& Sql) { dmdb->ADOConnection->Execute(Sql); }

    std::vector<TCustomForm*> opened;
};

// The refused save's box: the heading, a blank line, then each message on
// its own line.
inline std::string ErrorBox(const std::vector<std::string>& Messages) {
    std::string text = "Foram identificados erros, por favor corrija: \r\n\r\n";
    for (const std::string& m : Messages) text += m + "\r\n";
    return text;
}

}  // namespace billtest
