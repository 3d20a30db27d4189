// Published properties of the memory table, so that forms and data modules
// stream it and other code reaches its properties by name, as every other
// component.
#include "memtable/mtDelta.h"
#include "memtable/mtMemTable.h"
#include "memtable/mtStreamFormat.h"
#include "platform/rtl/TypInfo.h"

namespace {

using typinfo::Keep;

const TTypeInfo* PerformanceType() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TmtPerformance", {"mtpfFast", "mtpfBalanced", "mtpfSmall"}));
    return t;
}

const TTypeInfo* VersioningModeType() {
    static const TTypeInfo* t =
        Keep(MakeEnumTypeInfo("TmtVersioningMode", {"mtvm1SinceCheckPoint", "mtvmAllSinceCheckPoint"}));
    return t;
}

const TTypeInfo* CompareOptionsType() {
    static const TTypeInfo* element = Keep(MakeEnumTypeInfo(
        "TmtMemTableCompareOption", {"mtcoDescending", "mtcoCaseInsensitive", "mtcoPartialKey", "mtcoIgnoreNullKey",
                                     "mtcoIgnoreLocale", "mtcoUnique", "mtcoNonMaintained"}));
    static const TTypeInfo* t = Keep(MakeSetTypeInfo("TmtMemTableCompareOptions", *element));
    return t;
}

const TTypeInfo* ProgressCodesType() {
    static const TTypeInfo* element =
        Keep(MakeEnumTypeInfo("TmtProgressCode", {"mtpcLoad", "mtpcSave", "mtpcEmpty", "mtpcPack", "mtpcCheckPoint",
                                                  "mtpcSearch", "mtpcCopy", "mtpcUpdate", "mtpcSort"}));
    static const TTypeInfo* t = Keep(MakeSetTypeInfo("TmtProgressCodes", *element));
    return t;
}

const TTypeInfo* FilterOptionsType() {
    static const TTypeInfo* element =
        Keep(MakeEnumTypeInfo("TFilterOption", {"foCaseInsensitive", "foNoPartialCompare"}));
    static const TTypeInfo* t = Keep(MakeSetTypeInfo("TFilterOptions", *element));
    return t;
}

const TTypeInfo* Method(const char* name) { return Keep(MakeMethodTypeInfo(name)); }

using Table = TmtCustomMemTable;

// The definitions are owned by the table: a stream fills them in place, and
// setting them copies another list's definitions, as the class library does.
void AssignFieldDefs(Table* t, TFieldDefs* Value) {
    if (Value != nullptr && Value != t->FieldDefs()) t->FieldDefs()->Assign(Value);
}
void AssignIndexDefs(Table* t, TIndexDefs* Value) {
    if (Value != nullptr && Value != t->IndexDefs()) t->IndexDefs()->Assign(Value);
}
// The version is the engine's own: a stored value is read and dropped, so
// that a form saved by another version still loads.
void KeepVersion(Table*, const std::string&) {}

}  // namespace

TClass TmtCustomMemTable::StaticClassType() {
    // AttachedTo names this very class, so the class exists (empty) before
    // its properties are described.
    static TClassInfo info;
    static const bool built = [] {
        info.Name = "TmtCustomMemTable";
        info =
            TClassBuilder<TmtCustomMemTable>("TmtCustomMemTable", TDataSet::StaticClassType())
                .Object("FieldDefs", TFieldDefs::StaticClassType(), &TmtCustomMemTable::FieldDefs, &AssignFieldDefs)
                .Boolean("DesignActivation", &TmtCustomMemTable::DesignActivation, &TmtCustomMemTable::SetDesignActivation, 1)
                .Object("AttachedTo", &info, &TmtCustomMemTable::AttachedTo,
                        &TmtCustomMemTable::SetAttachedTo)
                .Boolean("AttachedAutoRefresh", &TmtCustomMemTable::AttachedAutoRefresh, &TmtCustomMemTable::SetAttachedAutoRefresh, 1)
                .Integer("AttachMaxCount", &TmtCustomMemTable::AttachMaxCount, &TmtCustomMemTable::SetAttachMaxCount, 1)
                .Integer("AutoIncMinValue", &TmtCustomMemTable::AutoIncMinValue, &TmtCustomMemTable::SetAutoIncMinValue, 0)
                .Object("DeltaHandler", TmtCustomDeltaHandler::StaticClassType(), &TmtCustomMemTable::DeltaHandler,
                        &TmtCustomMemTable::SetDeltaHandler)
                .Boolean("EnableIndexes", &TmtCustomMemTable::EnableIndexes, &TmtCustomMemTable::SetEnableIndexes, 1)
                .Boolean("AutoAddIndexes", &TmtCustomMemTable::AutoAddIndexes, &TmtCustomMemTable::SetAutoAddIndexes, 0)
                .Boolean("AutoReposition", &TmtCustomMemTable::AutoReposition, &TmtCustomMemTable::SetAutoReposition, 0)
                .String("IndexFieldNames", &TmtCustomMemTable::IndexFieldNames, &TmtCustomMemTable::SetIndexFieldNames)
                .String("IndexName", &TmtCustomMemTable::IndexName, &TmtCustomMemTable::SetIndexName)
                .Object("IndexDefs", TIndexDefs::StaticClassType(), &TmtCustomMemTable::IndexDefs, &AssignIndexDefs)
                .Boolean("RecalcOnIndex", &TmtCustomMemTable::RecalcOnIndex, &TmtCustomMemTable::SetRecalcOnIndex, 0)
                .Boolean("RecalcOnFetch", &TmtCustomMemTable::RecalcOnFetch, &TmtCustomMemTable::SetRecalcOnFetch, 1)
                .String("SortFields", &TmtCustomMemTable::SortFields, &TmtCustomMemTable::SetSortFields)
                .Set("SortOptions", CompareOptionsType(), &TmtCustomMemTable::SortOptions, &TmtCustomMemTable::SetSortOptions, 0)
                .Boolean("ReadOnly", &TmtCustomMemTable::ReadOnly, &TmtCustomMemTable::SetReadOnly, 0)
                .Enum("Performance", PerformanceType(), &TmtCustomMemTable::Performance, &TmtCustomMemTable::SetPerformance, 0)
                .Boolean("Standalone", &TmtCustomMemTable::Standalone, &TmtCustomMemTable::SetStandalone, 0)
                .String("PersistentFile", &TmtCustomMemTable::PersistentFile, &TmtCustomMemTable::SetPersistentFile)
                .Boolean("StoreDataOnForm", &TmtCustomMemTable::StoreDataOnForm, &TmtCustomMemTable::SetStoreDataOnForm, 0)
                .Boolean("Persistent", &TmtCustomMemTable::Persistent, &TmtCustomMemTable::SetPersistent, 0)
                .Boolean("PersistentBackup", &TmtCustomMemTable::PersistentBackup, &TmtCustomMemTable::SetPersistentBackup, 0)
                .String("PersistentBackupExt", &TmtCustomMemTable::PersistentBackupExt, &TmtCustomMemTable::SetPersistentBackupExt)
                .Set("ProgressFlags", ProgressCodesType(), &TmtCustomMemTable::ProgressFlags, &TmtCustomMemTable::SetProgressFlags,
                     TmtProgressCodes{mtpcLoad, mtpcSave, mtpcCopy}.Bits())
                .Integer("LoadLimit", &TmtCustomMemTable::LoadLimit, &TmtCustomMemTable::SetLoadLimit, -1)
                .Integer("SaveLimit", &TmtCustomMemTable::SaveLimit, &TmtCustomMemTable::SetSaveLimit, -1)
                .Boolean("LoadedCompletely", &TmtCustomMemTable::LoadedCompletely, &TmtCustomMemTable::SetLoadedCompletely, 0)
                .Boolean("SavedCompletely", &TmtCustomMemTable::SavedCompletely, &TmtCustomMemTable::SetSavedCompletely, 0)
                .Boolean("EnableVersioning", &TmtCustomMemTable::EnableVersioning, &TmtCustomMemTable::SetEnableVersioning, 0)
                .Enum("VersioningMode", VersioningModeType(), &TmtCustomMemTable::VersioningMode, &TmtCustomMemTable::SetVersioningMode,
                      0)
                .Set("FilterOptions", FilterOptionsType(), &TmtCustomMemTable::FilterOptions,
                     &TmtCustomMemTable::SetFilterOptions, 0)
                .String("MasterFields", &TmtCustomMemTable::MasterFields, &TmtCustomMemTable::SetMasterFields)
                .String("DetailFields", &TmtCustomMemTable::DetailFields, &TmtCustomMemTable::SetDetailFields)
                .Object("MasterSource", TDataSource::StaticClassType(), &TmtCustomMemTable::MasterSource,
                        &TmtCustomMemTable::SetMasterSource)
                .String("Version", &TmtCustomMemTable::Version, &KeepVersion)
                .Integer("LanguageID", &TmtCustomMemTable::LanguageID, &TmtCustomMemTable::SetLanguageID, 0)
                .Integer("SortID", &TmtCustomMemTable::SortID, &TmtCustomMemTable::SetSortID, 0)
                .Integer("SubLanguageID", &TmtCustomMemTable::SubLanguageID, &TmtCustomMemTable::SetSubLanguageID, 1)
                .Integer("LocaleID", &TmtCustomMemTable::LocaleID, &TmtCustomMemTable::SetLocaleID, 1024)
                .Object("DefaultFormat", TmtCustomStreamFormat::StaticClassType(), &TmtCustomMemTable::DefaultFormat,
                        &TmtCustomMemTable::SetDefaultFormat)
                .Object("CommaTextFormat", TmtCustomStreamFormat::StaticClassType(), &TmtCustomMemTable::CommaTextFormat,
                        &TmtCustomMemTable::SetCommaTextFormat)
                .Object("PersistentFormat", TmtCustomStreamFormat::StaticClassType(),
                        &TmtCustomMemTable::PersistentFormat, &TmtCustomMemTable::SetPersistentFormat)
                .Object("AllDataFormat", TmtCustomStreamFormat::StaticClassType(), &TmtCustomMemTable::AllDataFormat,
                        &TmtCustomMemTable::SetAllDataFormat)
                .Object("FormFormat", TmtCustomStreamFormat::StaticClassType(), &TmtCustomMemTable::FormFormat,
                        &TmtCustomMemTable::SetFormFormat)
                .Boolean("RangeIgnoreNullKeyValues", &TmtCustomMemTable::RangeIgnoreNullKeyValues,
                         &TmtCustomMemTable::SetRangeIgnoreNullKeyValues, 1)
                .Event("OnProgress", &TmtCustomMemTable::OnProgress, Method("TmtProgressEvent"))
                .Event("OnLoadRecord", &TmtCustomMemTable::OnLoadRecord, Method("TmtOnLoadRecordEvent"))
                .Event("OnSaveRecord", &TmtCustomMemTable::OnSaveRecord, Method("TmtOnSaveRecordEvent"))
                .Event("OnLoadField", &TmtCustomMemTable::OnLoadField, Method("TmtOnLoadFieldEvent"))
                .Event("OnSaveField", &TmtCustomMemTable::OnSaveField, Method("TmtOnSaveFieldEvent"))
                .Event("OnCompressBlobStream", &TmtCustomMemTable::OnCompressBlobStream, Method("TmtOnCompressBlobStream"))
                .Event("OnDecompressBlobStream", &TmtCustomMemTable::OnDecompressBlobStream,
                       Method("TmtOnDecompressBlobStream"))
                .Event("OnSetupField", &TmtCustomMemTable::OnSetupField, Method("TmtOnSetupFieldEvent"))
                .Event("OnSetupFieldProperties", &TmtCustomMemTable::OnSetupFieldProperties,
                       Method("TmtOnSetupFieldPropertiesEvent"))
                .Event("OnCompressField", &TmtCustomMemTable::OnCompressField, Method("TmtOnCompressFieldEvent"))
                .Event("OnDecompressField", &TmtCustomMemTable::OnDecompressField, Method("TmtOnDecompressFieldEvent"))
                .Event("OnSave", &TmtCustomMemTable::OnSave, Method("TmtOnSaveEvent"))
                .Event("OnLoad", &TmtCustomMemTable::OnLoad, Method("TmtOnLoadEvent"))
                .Event("OnCompareFields", &TmtCustomMemTable::OnCompareFields, Method("TmtOnCompareFields"))
                .Event("OnFilterIndex", &TmtCustomMemTable::OnFilterIndex, Method("TmtOnFilterIndexEvent"))
                .Build();
        return true;
    }();
    (void)built;
    return &info;
}

// Streams name the concrete descendants; these bases only give the type of
// the table's references to them.
TClass TmtCustomDeltaHandler::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TmtCustomDeltaHandler>("TmtCustomDeltaHandler", TComponent::StaticClassType()).Build();
    return &info;
}

TClass TmtCustomStreamFormat::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TmtCustomStreamFormat>("TmtCustomStreamFormat", TComponent::StaticClassType()).Build();
    return &info;
}

// The component placed on forms publishes what its base holds.
TClass TmtMemTable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TmtMemTable>("TmtMemTable", TmtCustomMemTable::StaticClassType()).Build();
    return &info;
}

namespace {

const bool registered = (RegisterClasses({TmtMemTable::StaticClassType()}), true);

}  // namespace
