#pragma once
// What every report test stands on: the library registered as the program
// registers it, a screen of 96 pixels per inch and a clock tests set.
#include <gtest/gtest.h>

#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace reporttest {

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
