#pragma once
// Placing report controls on a band in code, as the listings and the bank
// slip lay themselves out: positions and sizes in millimetres from the
// band's top-left corner, names shown to scripts as they are given.
#include <cmath>
#include <cstdint>
#include <string>

class TComponent;
class TrpBand;

namespace billing::listings {

// Millimetres as the report's units (thousandths of a millimetre).
inline int32_t mm(double Value) { return static_cast<int32_t>(std::lround(Value * 1000)); }

template <class T>
T* Put(TComponent* Owner, TrpBand* Band, const std::string& Name, double Left, double Top, double Width,
       double Height) {
    auto* c = new T(Owner);
    c->SetName(Name);
    c->SetUserName(Name);
    c->SetBand(Band);
    c->SetBounds(mm(Left), mm(Top), mm(Width), mm(Height));
    return c;
}

}  // namespace billing::listings
