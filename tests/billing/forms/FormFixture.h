#pragma once
// Register forms opened the way the main window opens them (created, then
// shown inside a shown MDI frame), on a fresh database with scripted boxes.
#include <memory>
#include <string>
#include <vector>

#include "billing/forms/RegisterForm.h"
#include "tests/billing/forms/BillingFixture.h"

namespace billtest {

class Forms : public Session {
protected:
    void SetUp() override {
        Session::SetUp();
        frame = std::make_unique<TForm>(nullptr);
        frame->SetFormStyle(fsMDIForm);
        Application->SetMainForm(frame.get());
        frame->Show();  // children show (and run their OnShow) inside a shown frame
    }
    void TearDown() override {
        for (auto it = opened.rbegin(); it != opened.rend(); ++it) delete *it;
        Application->SetMainForm(nullptr);
        frame.reset();
        Session::TearDown();
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

    std::unique_ptr<TForm> frame;
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
