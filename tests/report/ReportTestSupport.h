#pragma once
// What every report test stands on: the library registered as the program
// registers it, a screen of 96 pixels per inch and a clock tests set.
#include <gtest/gtest.h>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace reporttest {

// A component as its stored text form.
inline std::string StoredText(TComponent* Component) {
    TMemoryStream binary;
    WriteComponent(binary, Component);
    binary.SetPosition(0);
    TStringStream text;
    ObjectBinaryToText(binary, text);
    return text.DataString();
}

// A stored text form read back; Instance nullptr makes the root anew.
inline TComponent* ReadStoredText(const std::string& Text, TComponent* Instance) {
    TMemoryStream text, binary;
    text.WriteBytes(Text);
    text.Seek(0, soBeginning);
    ObjectTextToBinary(text, binary);
    binary.Seek(0, soBeginning);
    return ReadComponent(binary, Instance);
}

// Fixes "now" for the life of the object.
class FixedClock {
public:
    explicit FixedClock(TDateTime Moment) : previous_(rpSetClock([Moment] { return Moment; })) {}
    ~FixedClock() { rpSetClock(previous_); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

private:
    TrpClock previous_;
};

// A printer as the conversions see it: its resolution per axis.
class FakePrinter : public TObject, public TrpDeviceResolution {
public:
    FakePrinter(int Horizontal, int Vertical) : h_(Horizontal), v_(Vertical) {}
    int PixelsPerInch(int Axis) const override { return Axis == 1 ? v_ : h_; }

private:
    int h_, v_;
};

}  // namespace reporttest
