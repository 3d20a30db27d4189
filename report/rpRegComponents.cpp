#include "report/rpRegComponents.h"

#include <memory>
#include <mutex>

#include "platform/rtl/SysUtils.h"

namespace {

struct State {
    std::recursive_mutex lock;
    TrpRegisterComponentProc registerProc = nullptr;
    TrpUnregisterComponentProc unregisterProc = nullptr;
    std::unique_ptr<TrpRegList> list;  // created on first use
};

State& TheState() {
    static State s;
    return s;
}

TrpRegList& List(State& s) {
    if (!s.list) s.list = std::make_unique<TrpRegList>();
    return *s.list;
}

void FreeEntry(TrpRegList& list, int index) {
    delete list.Objects(index);
    list.Delete(index);
}

}  // namespace

void rpSetComponentProcs(TrpRegisterComponentProc Register, TrpUnregisterComponentProc Unregister) {
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    s.registerProc = Register;
    s.unregisterProc = Unregister;
}

void rpRegisterComponent(TClass ComponentClass, const std::string& PageName, int32_t Position, int32_t Reserved,
                         const std::string& Caption, int32_t LanguageText) {
    TrpRegisterComponentProc proc;
    {
        State& s = TheState();
        std::lock_guard<std::recursive_mutex> guard(s.lock);
        proc = s.registerProc;
    }
    if (proc == nullptr) throw EComponentError("Unable to register component classes.");
    proc(ComponentClass, PageName, Position, Reserved, Caption, LanguageText);
}

void rpUnregisterComponent(TClass ComponentClass) {
    TrpUnregisterComponentProc proc;
    {
        State& s = TheState();
        std::lock_guard<std::recursive_mutex> guard(s.lock);
        proc = s.unregisterProc;
    }
    if (proc == nullptr) throw EComponentError("Unable to unregister component classes.");
    proc(ComponentClass);
}

void RegisterComponentClass(TClass ComponentClass, const std::string& PageName, int32_t Position, int32_t Reserved,
                            const std::string& Caption, int32_t LanguageText) {
    if (ComponentClass == nullptr) return;
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    TrpRegList& list = List(s);
    const int existing = list.IndexOf(ComponentClass->Name);
    if (existing >= 0) {
        FreeEntry(list, existing);
        UnRegisterClass(ComponentClass);
    }
    auto entry = std::make_unique<TrpRegComponent>();
    entry->Reserved = Reserved;
    entry->ComponentClass = ComponentClass;
    entry->Position = Position;
    entry->PageName = PageName;
    entry->Caption = Caption;
    entry->LanguageText = LanguageText;
    RegisterClass(ComponentClass);
    list.AddObject(ComponentClass->Name, entry.release());
}

void UnregisterComponentClass(TClass ComponentClass) {
    if (ComponentClass == nullptr) return;
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    UnRegisterClass(ComponentClass);
    if (!s.list) return;
    const int index = s.list->IndexOf(ComponentClass->Name);
    if (index < 0) return;
    UnRegisterClass(ComponentClass);
    FreeEntry(*s.list, index);
}

std::vector<TrpRegComponent> rpRegisteredComponents() {
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    std::vector<TrpRegComponent> entries;
    if (!s.list) return entries;
    for (int i = 0; i < s.list->Count(); ++i) entries.push_back(*static_cast<TrpRegComponent*>(s.list->Objects(i)));
    return entries;
}

bool rpFindRegisteredComponent(const std::string& ClassName, TrpRegComponent& Entry) {
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    if (!s.list) return false;
    const int index = s.list->IndexOf(ClassName);
    if (index < 0) return false;
    Entry = *static_cast<TrpRegComponent*>(s.list->Objects(index));
    return true;
}

namespace report {

void InstallComponentRegistry() { rpSetComponentProcs(&RegisterComponentClass, &UnregisterComponentClass); }

void UninstallComponentRegistry() {
    State& s = TheState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    s.registerProc = nullptr;
    s.unregisterProc = nullptr;
    if (!s.list) return;
    while (s.list->Count() > 0) FreeEntry(*s.list, s.list->Count() - 1);
    s.list.reset();
}

}  // namespace report
