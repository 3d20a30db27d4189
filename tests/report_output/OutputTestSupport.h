#pragma once
// What the control tests share: placing a control on a band of a rig,
// finding on the captured pages the commands one control made, and a form
// that streams the report it owns.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "tests/support/report/ReportHarness.h"

namespace outputtest {

template <class T>
T* Place(reporttest::ReportRig& Rig, TrpBand* Band, const std::string& Name, int32_t Left, int32_t Top, int32_t Width,
         int32_t Height) {
    auto* c = new T(Rig.Owner());
    c->SetName(Name);
    c->SetUserName(Name);
    c->SetBand(Band);
    c->SetBounds(Left, Top, Width, Height);
    return c;
}

struct Placed {
    int Page;  // from 1
    TrpDrawCommand* Command;
};

inline std::vector<Placed> CommandsOf(const std::vector<const reporttest::CapturedPage*>& Pages,
                                      const std::string& Name) {
    std::vector<Placed> out;
    for (std::size_t p = 0; p < Pages.size(); ++p)
        for (int i = 0; i < Pages[p]->Page->DrawCommandCount(); ++i)
            if (Pages[p]->Makers[static_cast<std::size_t>(i)].second == Name)
                out.push_back({static_cast<int>(p) + 1, Pages[p]->Page->DrawCommands(i)});
    return out;
}

// A form that streams the report objects it owns at its top level.
class TOutputForm : public TComponent {
public:
    explicit TOutputForm(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TOutputForm)
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override {
        for (int i = 0; i < ComponentCount(); ++i)
            if (Components(i)->GetParentComponent() == nullptr && Root == this) Proc(Components(i));
    }
};

// The form written to the component stream and read into a new form.
inline std::unique_ptr<TOutputForm> StreamedCopy(TOutputForm* Form) {
    RegisterClass(TOutputForm::StaticClassType());
    TMemoryStream stream;
    WriteComponent(stream, Form);
    stream.Seek(0, soBeginning);
    auto copy = std::make_unique<TOutputForm>(nullptr);
    ReadComponent(stream, copy.get());
    return copy;
}

template <class T>
T* FindIn(TComponent* Form, const std::string& Name) {
    return dynamic_cast<T*>(Form->FindComponent(Name));
}

}  // namespace outputtest

inline TClass outputtest::TOutputForm::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TOutputForm>("TOutputForm", TComponent::StaticClassType()).Build();
    return &info;
}
