#pragma once
// The base classes of the cipher components.
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/TypInfo.h"

class TCxBase : public TComponent {
public:
    FAT_CLASS(TCxBase)
    explicit TCxBase(TComponent* AOwner) : TComponent(AOwner) {}
};

class TCxBaseComponent : public TCxBase {
public:
    FAT_CLASS(TCxBaseComponent)
    explicit TCxBaseComponent(TComponent* AOwner) : TCxBase(AOwner) {}

    // The library's version; published so that it shows, never stored, and
    // setting it changes nothing.
    std::string Version() const { return "2.07"; }
    void SetVersion(const std::string&) {}
};
