#include "report/rpEnumRegistry.h"

#include "platform/rtl/Strings.h"
#include "report/rpTypes.h"

int TrpEnumRegistry::IndexOfLocked(const std::string& Name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (SameText(entries_[i].first, Name)) return static_cast<int>(i);
    return -1;
}

int TrpEnumRegistry::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(entries_.size());
}

std::string TrpEnumRegistry::Names(int Index) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (Index < 0 || Index >= static_cast<int>(entries_.size()))
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return entries_[static_cast<std::size_t>(Index)].first;
}

const TTypeInfo* TrpEnumRegistry::TypeInfos(int Index) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (Index < 0 || Index >= static_cast<int>(entries_.size()))
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return entries_[static_cast<std::size_t>(Index)].second;
}

int TrpEnumRegistry::IndexOf(const std::string& Name) const {
    std::lock_guard<std::mutex> guard(lock_);
    return IndexOfLocked(Name);
}

const TTypeInfo* TrpEnumRegistry::Find(const std::string& Name) const {
    std::lock_guard<std::mutex> guard(lock_);
    const int i = IndexOfLocked(Name);
    return i < 0 ? nullptr : entries_[static_cast<std::size_t>(i)].second;
}

void TrpEnumRegistry::Register(const std::string& Name, const TTypeInfo* TypeInfo) {
    std::lock_guard<std::mutex> guard(lock_);
    const int i = IndexOfLocked(Name);
    if (i >= 0)
        entries_[static_cast<std::size_t>(i)].second = TypeInfo;
    else
        entries_.emplace_back(Name, TypeInfo);
}

void TrpEnumRegistry::Unregister(const std::string& Name) {
    std::lock_guard<std::mutex> guard(lock_);
    const int i = IndexOfLocked(Name);
    if (i >= 0) entries_.erase(entries_.begin() + i);
}

TrpEnumRegistry& EnumRegistry() {
    static TrpEnumRegistry registry;
    return registry;
}

void RegisterEnum(const std::string& Name, const TTypeInfo* TypeInfo) { EnumRegistry().Register(Name, TypeInfo); }

void UnregisterEnum(const std::string& Name) { EnumRegistry().Unregister(Name); }

namespace report {

const std::vector<const TTypeInfo*>& LibraryEnums() {
    static const std::vector<const TTypeInfo*> list = {
        rpTypeInfo<bool>(),
        rpTypeInfo<TBrushStyle>(),
        rpTypeInfo<TPenStyle>(),
        rpTypeInfo<TAlignment>(),
        rpTypeInfo<TrpBarCodeType>(),
        rpTypeInfo<TrpBarCodeOrientation>(),
        rpTypeInfo<Trp2DBarCodeType>(),
        rpTypeInfo<TrpBreakType>(),
        rpTypeInfo<TrpCalcType>(),
        rpTypeInfo<TrpDataType>(),
        rpTypeInfo<TrpDatabaseType>(),
        rpTypeInfo<TrpDBCalcType>(),
        rpTypeInfo<TrpDuplexType>(),
        rpTypeInfo<TrpFileType>(),
        rpTypeInfo<TrpFormatType>(),
        rpTypeInfo<TrpLanguageType>(),
        rpTypeInfo<TrpLinePositionType>(),
        rpTypeInfo<TrpLineStyleType>(),
        rpTypeInfo<TrpOutlineNodeType>(),
        rpTypeInfo<TrpPassSettingType>(),
        rpTypeInfo<TrpPrintBehaviorType>(),
        rpTypeInfo<TrpPrintHeightType>(),
        rpTypeInfo<TrpRangeBeginType>(),
        rpTypeInfo<TrpRangeEndType>(),
        rpTypeInfo<TrpSaveToType>(),
        rpTypeInfo<TrpSearchOperatorType>(),
        rpTypeInfo<TShapeType>(),
        rpTypeInfo<TrpSortOrderType>(),
        rpTypeInfo<TrpTextAlignment>(),
        rpTypeInfo<TrpUnitType>(),
        rpTypeInfo<TrpVarEventType>(),
        rpTypeInfo<TrpVarType>(),
        rpTypeInfo<TPrinterOrientation>(),
    };
    return list;
}

void RegisterLibraryEnums() {
    for (const TTypeInfo* t : LibraryEnums()) RegisterEnum(t->Name, t);
}

void UnregisterLibraryEnums() {
    for (const TTypeInfo* t : LibraryEnums()) UnregisterEnum(t->Name);
}

}  // namespace report
