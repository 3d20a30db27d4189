#include "cipher/CxClass.h"

TClass TCxBase::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCxBase>("TCxBase", TComponent::StaticClassType()).Build();
    return &info;
}

TClass TCxBaseComponent::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCxBaseComponent>("TCxBaseComponent", TCxBase::StaticClassType())
            .String("Version", &TCxBaseComponent::Version, &TCxBaseComponent::SetVersion)
            .NotStored()
            .Build();
    return &info;
}
