#include "cipher/CxClass.h"

TClass TLBBase::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TLBBase>("TLBBase", TComponent::StaticClassType()).Build();
    return &info;
}

TClass TLBBaseComponent::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TLBBaseComponent>("TLBBaseComponent", TLBBase::StaticClassType())
            .String("Version", &TLBBaseComponent::Version, &TLBBaseComponent::SetVersion)
            .NotStored()
            .Build();
    return &info;
}
