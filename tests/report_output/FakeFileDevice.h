#pragma once
// A file device for the e-mail and background tests: it writes a line per
// page it outputs and one per draw command (class, position, text), or
// fails its job when told to, and can stall each page to be slow.
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpPage.h"

namespace outputtest {

class FakeFileDevice : public TrpFileDevice {
public:
    // It writes its file itself, at the end of the job.
    explicit FakeFileDevice(TComponent* AOwner) : TrpFileDevice(AOwner) { SetCreateFile(false); }
    FAT_CLASS(FakeFileDevice)
    static inline std::atomic<bool> FailNext{false};
    static inline std::atomic<int> PageDelayMs{0};

    void StartJob() override {
        TrpFileDevice::StartJob();
        if (FailNext.exchange(false)) throw EPrintError("FakeFileDevice.StartJob: falhou");
        text_.clear();
    }
    void ReceivePage(TrpPage* Page) override {
        TrpFileDevice::ReceivePage(Page);
        if (!ShouldOutput()) return;
        if (PageDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(PageDelayMs.load()));
        text_ += "page " + std::to_string(Page->AbsolutePageNo()) + "\n";
        for (int i = 0; i < Page->DrawCommandCount(); ++i) {
            TrpDrawCommand* c = Page->DrawCommands(i);
            text_ += std::string(c->ClassName()) + " " + std::to_string(c->Left()) + " " + std::to_string(c->Top());
            if (auto* t = dynamic_cast<TrpDrawText*>(c)) text_ += " " + t->Text();
            text_ += "\n";
        }
    }
    void EndJob() override {
        std::ofstream(FileName(), std::ios::binary) << text_;
        TrpFileDevice::EndJob();
    }

private:
    std::string text_;
};

}  // namespace outputtest

inline TClass outputtest::FakeFileDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeFileDevice>("FakeFileDevice", TrpFileDevice::StaticClassType()).Build();
    return &info;
}
