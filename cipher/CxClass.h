#pragma once
// The base classes of the cipher components.
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/TypInfo.h"

class TLBBase : public TComponent {
public:
    FAT_CLASS(TLBBase)
    explicit TLBBase(TComponent* AOwner) : TComponent(AOwner) {}
};

class TLBBaseComponent : public TLBBase {
public:
    FAT_CLASS(TLBBaseComponent)
    explicit TLBBaseComponent(TComponent* AOwner) : TLBBase(AOwner) {}

    // The library's version; published so that it shows, never stored, and
    // setting it changes nothing.
    std::string Version() const { return "2.07"; }
    void SetVersion(const std::string&) {}
};
