#pragma once
// The root of the class hierarchy: what every persistent object, list item and
// event sender has in common.
#include <functional>
#include <string>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    // The class name as streams, messages and the class registry spell it.
    // Every class that can be named overrides it (see FAT_CLASS_NAME).
    virtual std::string ClassName() const { return "TObject"; }
};

// Declares ClassName() for a class, inside its body: FAT_CLASS_NAME(TButton)
#define FAT_CLASS_NAME(Name) \
    std::string ClassName() const override { return #Name; }

using TNotifyEvent = std::function<void(TObject* Sender)>;
