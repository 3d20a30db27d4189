#pragma once
// The enumerated types the scripting layer may show, by name: a member
// descriptor that names an enumeration ("TrpUnitType") is resolved here to
// its value names. One list for the process, made on first use and safe to
// use from any thread; registering a name again replaces its type.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/TypInfo.h"

class TrpEnumRegistry {
public:
    int Count() const;
    std::string Names(int Index) const;
    const TTypeInfo* TypeInfos(int Index) const;
    // Case-insensitive; -1 / nullptr when the name is not listed.
    int IndexOf(const std::string& Name) const;
    const TTypeInfo* Find(const std::string& Name) const;

    void Register(const std::string& Name, const TTypeInfo* TypeInfo);
    void Unregister(const std::string& Name);

private:
    mutable std::mutex lock_;
    std::vector<std::pair<std::string, const TTypeInfo*>> entries_;
    int IndexOfLocked(const std::string& Name) const;
};

TrpEnumRegistry& EnumRegistry();
void RegisterEnum(const std::string& Name, const TTypeInfo* TypeInfo);
void UnregisterEnum(const std::string& Name);

namespace report {
// The library's own enumerations and the platform's that reports publish, in
// their fixed order (see registerAll).
void RegisterLibraryEnums();
void UnregisterLibraryEnums();
// Their types, in registration order.
const std::vector<const TTypeInfo*>& LibraryEnums();
}  // namespace report
