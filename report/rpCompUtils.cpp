#include "report/rpCompUtils.h"

#include "platform/rtl/Strings.h"

TComponent* rpCreateComponent(TrpCommunicator* Parent, TClass ComponentClass) {
    if (ComponentClass == nullptr || !ComponentClass->IsComponent || !ComponentClass->Create) return nullptr;
    TComponent* owner = Parent == nullptr ? nullptr : Parent->Owner() ? Parent->Owner() : Parent;
    TObject* made = ComponentClass->Create(owner);
    auto* component = dynamic_cast<TComponent*>(made);
    if (component == nullptr) {
        delete made;
        return nullptr;
    }
    if (Parent != nullptr) {
        component->SetName(Parent->GetUniqueName(component));
        if (auto* c = dynamic_cast<TrpCommunicator*>(component)) c->SetUserName(Parent->GetUniqueUserName(component));
    }
    return component;
}

bool rpNameSuffix(const std::string& Prefix, TComponent* Component, int& Number) {
    Number = 0;
    auto* c = dynamic_cast<TrpCommunicator*>(Component);
    if (c == nullptr) return false;
    const std::string name = c->GetUserName();
    if (name.size() <= Prefix.size() || !SameText(name.substr(0, Prefix.size()), Prefix)) return false;
    Number = report::NameNumber(name.substr(0, Prefix.size()), name);
    return Number > 0;
}
