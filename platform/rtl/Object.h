#pragma once
// The root of the class hierarchy: what every persistent object, list item and
// event sender has in common.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

// Metadata of one class: name, parent, factory and published properties
// (platform/rtl/TypInfo.h). A class reference is a pointer to it.
class TClassInfo;
using TClass = const TClassInfo*;

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    // The class name as streams, messages and the class registry spell it.
    // Every class that can be named overrides it (see FAT_CLASS_NAME).
    virtual std::string ClassName() const { return "TObject"; }

    // The nearest class with metadata (see FAT_CLASS in TypInfo.h); a class
    // that declares only its name shares its parent's metadata.
    virtual TClass ClassType() const;
    static TClass StaticClassType();

    // True when this object's class is AClass or descends from it.
    bool InheritsFrom(TClass AClass) const;
};

// Declares ClassName() for a class, inside its body: FAT_CLASS_NAME(TButton)
#define FAT_CLASS_NAME(Name) \
    std::string ClassName() const override { return #Name; }

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A small set over an enumeration whose values are below 64, as the class
// library's "set of" types (ComponentState, font styles, options).
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) bits_ |= Bit(e);
    }
    static constexpr TSet FromBits(std::uint64_t bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSet& Include(E e) { bits_ |= Bit(e); return *this; }
    constexpr TSet& Exclude(E e) { bits_ &= ~Bit(e); return *this; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint64_t Bits() const { return bits_; }
    constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
    constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
    constexpr TSet& operator+=(TSet o) { bits_ |= o.bits_; return *this; }
    constexpr TSet& operator-=(TSet o) { bits_ &= ~o.bits_; return *this; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr std::uint64_t Bit(E e) { return std::uint64_t{1} << static_cast<unsigned>(e); }
    std::uint64_t bits_ = 0;
};
