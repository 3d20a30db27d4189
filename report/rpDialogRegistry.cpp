#include "report/rpDialogRegistry.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/rtl/Strings.h"
#include "report/rpExcept.h"

namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::pair<std::string, TClass>> entries;

    // Under lock.
    std::vector<std::pair<std::string, TClass>>::iterator Find(const std::string& Name) {
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (SameText(it->first, Name)) return it;
        return entries.end();
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterFormClass(TClass Abstract, TClass Concrete) {
    if (Abstract == nullptr || Concrete == nullptr)
        throw ETessaryError("RegisterFormClass: Informe a classe abstrata e a classe do formulário.");
    if (!Concrete->InheritsFrom(Abstract))
        throw ETessaryError("RegisterFormClass: A classe " + Concrete->Name + " não descende de " + Abstract->Name +
                            ".");
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto it = r.Find(Abstract->Name);
    if (it != r.entries.end())
        it->second = Concrete;
    else
        r.entries.emplace_back(Abstract->Name, Concrete);
}

void UnregisterFormClass(TClass Abstract) {
    if (Abstract != nullptr) UnregisterFormClass(Abstract->Name);
}

void UnregisterFormClass(const std::string& AbstractName) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto it = r.Find(AbstractName);
    if (it != r.entries.end()) r.entries.erase(it);
}

TClass GetFormClass(TClass Abstract) { return Abstract != nullptr ? GetFormClass(Abstract->Name) : nullptr; }

TClass GetFormClass(const std::string& AbstractName) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto it = r.Find(AbstractName);
    return it != r.entries.end() ? it->second : nullptr;
}
