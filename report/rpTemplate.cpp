#include "report/rpTemplate.h"

#include "report/rpDialogs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/rtl/Filer.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpDialogRegistry.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpMainReport.h"
#include "report/rpParameters.h"
#include "report/rpReport.h"

namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

TrpBusyCursorHook& BusyHook() {
    static TrpBusyCursorHook hook;
    return hook;
}

// The busy cursor for as long as the object lives, when asked for.
class BusyCursor {
public:
    explicit BusyCursor(bool Show) {
        if (!Show) return;
        std::lock_guard<std::mutex> guard(HookLock());
        hook_ = BusyHook();
        if (hook_) hook_(true);
    }
    ~BusyCursor() {
        if (hook_) try {
                hook_(false);
            } catch (...) {
            }
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    TrpBusyCursorHook hook_;
};

bool FileExists(const std::string& Name) {
    struct stat st {};
    return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Which form of the component stream starts at Pos (counted from the
// stream's beginning); -1 for none. Pos past the end finds nothing.
int SignatureAt(TStream* Stream, std::int64_t Pos) {
    const std::int64_t size = Stream->Size();
    if (Pos < 0 || Pos >= size) return -1;
    char bytes[6] = {};
    Stream->SetPosition(Pos);
    const std::int64_t got = Stream->Read(bytes, std::min<std::int64_t>(6, size - Pos));
    if (got >= 6 && std::memcmp(bytes, "object", 6) == 0) return ftASCII;
    if (got >= 4 && std::memcmp(bytes, "TPF0", 4) == 0) return ftBinary;
    return -1;
}

bool IsTemplateError(const std::exception& E) {
    return dynamic_cast<const ETemplateLoadError*>(&E) != nullptr ||
           dynamic_cast<const EInvalidTemplateError*>(&E) != nullptr ||
           dynamic_cast<const ETemplateSaveError*>(&E) != nullptr;
}

}  // namespace

TrpBusyCursorHook rpSetBusyCursorHook(TrpBusyCursorHook Hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    TrpBusyCursorHook previous = std::move(BusyHook());
    BusyHook() = std::move(Hook);
    return previous;
}

// ---------------------------------------------------------------------------
// TrpTemplateDBSettings

TClass TrpTemplateDBSettings::StaticClassType() {
    using S = TrpTemplateDBSettings;
    static const TClassInfo info =
        TClassBuilder<S>("TrpTemplateDBSettings", TPersistent::StaticClassType())
            .Object("DataPipeline", TrpDataPipeline::StaticClassType(), &S::DataPipeline, &S::SetDataPipeline)
            .String("Name", &S::Name, &S::SetName)
            .String("NameField", &S::NameField, &S::SetNameField)
            .String("TemplateField", &S::TemplateField, &S::SetTemplateField)
            .Build();
    return &info;
}

void TrpTemplateDBSettings::SetDataPipeline(TrpDataPipeline* Value) {
    if (OnPipelineChanged) OnPipelineChanged(Value);
    dataPipeline_ = Value;
}

void TrpTemplateDBSettings::SetName(const std::string& Value) {
    name_ = Value;
    if (OnNameChanged) OnNameChanged();
}

void TrpTemplateDBSettings::Assign(TPersistent* Source) {
    auto* source = dynamic_cast<TrpTemplateDBSettings*>(Source);
    if (source == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    SetDataPipeline(source->dataPipeline_);
    SetName(source->name_);
    nameField_ = source->nameField_;
    templateField_ = source->templateField_;
    reference_ = source->reference_;
}

// ---------------------------------------------------------------------------
// TrpCustomTemplate

TClass TrpCustomTemplate::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomTemplate>("TrpCustomTemplate", TPersistent::StaticClassType()).Build();
    return &info;
}

TrpCustomTemplate::TrpCustomTemplate(TComponent* AOwner)
    : databaseSettings_(std::make_unique<TrpTemplateDBSettings>()), owner_(AOwner) {}

TrpCustomTemplate::~TrpCustomTemplate() = default;

void TrpCustomTemplate::SetDatabaseSettings(TrpTemplateDBSettings* Value) { databaseSettings_->Assign(Value); }

std::string TrpCustomTemplate::GetDescription() const {
    return saveTo_ == stDatabase ? databaseSettings_->Name() : fileName_;
}

void TrpCustomTemplate::SetDescription(const std::string& Value) {
    if (saveTo_ == stDatabase)
        databaseSettings_->SetName(Value);
    else
        SetFileName(Value);
}

bool TrpCustomTemplate::CheckDatabaseSettings() {
    return databaseSettings_->DataPipeline() != nullptr && !databaseSettings_->NameField().empty() &&
           !databaseSettings_->TemplateField().empty();
}

void TrpCustomTemplate::Assign(TPersistent* Source) {
    auto* source = dynamic_cast<TrpCustomTemplate*>(Source);
    if (source == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    databaseSettings_->Assign(source->databaseSettings_.get());
    SetFileName(source->fileName_);
    offset_ = source->offset_;
    saveTo_ = source->saveTo_;
    format_ = source->format_;
    showBusyCursor_ = source->showBusyCursor_;
}

// ---------------------------------------------------------------------------
// TrpTemplate

TClass TrpTemplate::StaticClassType() {
    using T = TrpTemplate;
    static const TClassInfo info =
        TClassBuilder<T>("TrpTemplate", TrpCustomTemplate::StaticClassType())
            .Object("DatabaseSettings", TrpTemplateDBSettings::StaticClassType(), &T::DatabaseSettings,
                    &T::SetDatabaseSettings)
            .String("FileName", &T::FileName, &T::SetFileName)
            .Integer("Offset", &T::Offset, &T::SetOffset, 0)
            .Enum("SaveTo", rpTypeInfo<TrpSaveToType>(), &T::SaveTo, &T::SetSaveTo, stFile)
            .Boolean("ShowBusyCursor", &T::ShowBusyCursor, &T::SetShowBusyCursor, 1)
            .Enum("Format", rpTypeInfo<TrpFormatType>(), &T::Format, &T::SetFormat, ftBinary)
            .Build();
    return &info;
}

TrpTemplate::TrpTemplate(TComponent* AOwner) : TrpCustomTemplate(AOwner) {
    databaseSettings_->OnNameChanged = [this] { DescriptionChanged(); };
    databaseSettings_->OnPipelineChanged = [this](TrpDataPipeline* p) { DataPipelineChanged(p); };
}

TrpTemplate::~TrpTemplate() {
    databaseSettings_->OnNameChanged = nullptr;
    databaseSettings_->OnPipelineChanged = nullptr;
}

void TrpTemplate::SetFileName(const std::string& Value) {
    fileName_ = Value;
    DescriptionChanged();
}

bool TrpTemplate::GetReadOnly() {
    struct stat st {};
    if (fileName_.empty() || ::stat(fileName_.c_str(), &st) != 0) return false;
    // The write bits, not access(): a superuser may write anything, but a
    // file its owner made read-only is refused all the same.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool TrpTemplate::CheckDatabaseSettings() {
    if (!TrpCustomTemplate::CheckDatabaseSettings()) return false;
    CheckTemplateFieldType();
    return true;
}

void TrpTemplate::CheckTemplateFieldType() {
    TrpDataPipeline* pipeline = databaseSettings_->DataPipeline();
    const TrpDataType type = pipeline->GetFieldDataType(databaseSettings_->TemplateField());
    if (type != dtBLOB && type != dtMemo) throw ETemplateSaveError(rpLanguageText(53));
}

bool TrpTemplate::Locate(const std::string& Name) {
    bool answered = false;
    bool found = false;
    if (Primary.OnLocateRecord) {
        answered = true;
        found = Primary.OnLocateRecord(Owner(), Name);
    }
    if (SecondaryHooksEnabled && Secondary.OnLocateRecord) {
        answered = true;
        found = Secondary.OnLocateRecord(Owner(), Name) || found;
    }
    if (answered) return found;
    auto* pipeline = dynamic_cast<TrpDBPipeline*>(databaseSettings_->DataPipeline());
    return pipeline != nullptr && pipeline->Locate(databaseSettings_->NameField(), Variant(Name), 1);
}

// --- Loading ---------------------------------------------------------------

void TrpTemplate::Load() {
    if (saveTo_ == stDatabase)
        LoadFromDatabase();
    else
        LoadFromFile();
}

void TrpTemplate::LoadFromFile() {
    if (!FileExists(fileName_)) throw ETemplateLoadError(rpLanguageText(46) + " " + fileName_);
    TMemoryStream stream;
    {
        BusyCursor busy(showBusyCursor_);
        try {
            stream.WriteBytes(fileio::ReadFileBytes(fileName_));
        } catch (const Exception& e) {
            throw ETemplateLoadError(rpLanguageText(46) + " " + fileName_ + "\r\n" + e.Message());
        }
    }
    stream.Seek(0, soBeginning);
    LoadFromStream(&stream);
}

void TrpTemplate::LoadFromDatabase() {
    const std::string notFound = rpLanguageText(45) + " " + databaseSettings_->Name();
    TrpDataPipeline* pipeline = databaseSettings_->DataPipeline();
    if (pipeline == nullptr) throw ETemplateLoadError(notFound);
    if (!pipeline->Active()) pipeline->OpenData();
    auto* db = dynamic_cast<TrpDBPipeline*>(pipeline);
    if (db == nullptr || !CheckDatabaseSettings() || !Locate(databaseSettings_->Name()))
        throw ETemplateLoadError(notFound);
    TMemoryStream stream;
    {
        BusyCursor busy(showBusyCursor_);
        db->SaveFieldToStream(databaseSettings_->TemplateField(), &stream);
    }
    stream.Seek(0, soBeginning);
    LoadFromStream(&stream);
}

void TrpTemplate::FindStart(TStream* Stream) {
    const std::int64_t base = Stream->Position();
    std::int64_t start = offset_;
    int found = SignatureAt(Stream, base + offset_);
    if (found < 0) {
        found = SignatureAt(Stream, base);
        if (found >= 0) {
            start = 0;
        } else if (Stream->Size() - base >= 4) {
            unsigned char b[4] = {};
            Stream->SetPosition(base);
            Stream->ReadBuffer(b, 4);
            const std::int32_t n = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) |
                                                             (static_cast<std::uint32_t>(b[1]) << 8) |
                                                             (static_cast<std::uint32_t>(b[2]) << 16) |
                                                             (static_cast<std::uint32_t>(b[3]) << 24));
            if (n >= 1) {
                found = SignatureAt(Stream, base + n);
                if (found >= 0) start = n;
            }
        }
    }
    Stream->SetPosition(base);
    if (found < 0) throw EInvalidTemplateError(rpLanguageText(49));
    offset_ = static_cast<std::int32_t>(start);
    format_ = static_cast<TrpFormatType>(found);
}

void TrpTemplate::DoOnLoadStream(TStream* Stream) {
    if (Primary.OnStreamLoaded) Primary.OnStreamLoaded(Owner(), Stream);
}

void TrpTemplate::DoOnSaveStream(TStream* Stream) {
    if (Primary.OnSaveStream) Primary.OnSaveStream(Owner(), Stream);
    if (SecondaryHooksEnabled && Secondary.OnSaveStream) Secondary.OnSaveStream(Owner(), Stream);
}

void TrpTemplate::FireLoadEnd() {
    if (Primary.OnLoadEnd) Primary.OnLoadEnd(Owner());
    if (SecondaryHooksEnabled && Secondary.OnLoadEnd) Secondary.OnLoadEnd(Owner());
}

bool TrpTemplate::BeforeLoad() {
    settingsBackup_ = std::make_unique<TrpCustomTemplate>(nullptr);
    settingsBackup_->Assign(this);
    return true;
}

void TrpTemplate::AfterLoad(bool /*Success*/) {
    if (settingsBackup_ == nullptr) return;
    // The stream's own template settings (and the start just found) never
    // replace the ones the program gave.
    databaseSettings_->Assign(settingsBackup_->DatabaseSettings());
    fileName_ = settingsBackup_->FileName();
    offset_ = settingsBackup_->Offset();
    saveTo_ = settingsBackup_->SaveTo();
    format_ = settingsBackup_->Format();
    showBusyCursor_ = settingsBackup_->ShowBusyCursor();
    settingsBackup_.reset();
}

void TrpTemplate::ReadComponentsProc(TComponent* /*Component*/) {}
void TrpTemplate::ReaderSetName(TReader*, TComponent*, std::string&) {}

void TrpTemplate::ReaderReferenceName(TReader* /*Reader*/, std::string& Name) {
    if (fixups_ == nullptr || fixupIndex_.empty()) return;
    auto it = fixupIndex_.find(UpperCase(Name));
    if (it != fixupIndex_.end()) Name = it->second->Name();
}

void TrpTemplate::RenameClash(TComponent* Component, std::string& Name) {
    if (fixups_ != nullptr) {
        fixups_->AddObject(Name, Component);
        fixupIndex_.try_emplace(UpperCase(Name), Component);
    }
    if (!names_) names_ = std::make_unique<report::NameSeries>(root_);
    const std::string cls = Component->ClassName();
    Name = names_->Next(cls.size() > 1 ? cls.substr(1) : cls, Component);
}

void TrpTemplate::ReaderError(TReader* /*Reader*/, const std::string& Message, bool& Handled) {
    if (ignoreAll_) {
        Handled = true;
        return;
    }
    std::unique_ptr<TrpCustomReportDialog> made(
        rpCreateDialog(TrpCustomTemplateErrorDialog::StaticClassType(), nullptr));
    auto* dialog = dynamic_cast<TrpCustomTemplateErrorDialog*>(made.get());
    // No one to ask: the error stands.
    if (dialog == nullptr) {
        Handled = false;
        return;
    }
    dialog->SetLanguageIndex(LanguageIndex());
    dialog->SetErrorMessage(Message + "\r\n" + rpLanguageText(50));
    dialog->ShowModal();
    const auto answer = dialog->Answer();
    if (answer == TrpCustomTemplateErrorDialog::taCancel) {
        Handled = false;
    } else {
        if (answer == TrpCustomTemplateErrorDialog::taIgnoreAll) ignoreAll_ = true;
        Handled = true;
    }
}

void TrpTemplate::ReadBinary(TStream* Binary) {
    report::UserNameScope userNames(root_);
    TReader reader(Binary);
    reader.OnSetName = [this](TReader* r, TComponent* c, std::string& name) { ReaderSetName(r, c, name); };
    reader.OnReferenceName = [this](TReader* r, std::string& name) { ReaderReferenceName(r, name); };
    reader.OnError = [this](TReader* r, const std::string& message, bool& handled) {
        ReaderError(r, message, handled);
    };
    reader.ReadComponents(root_, nullptr, [this](TComponent* c) {
        readTopLevel_.push_back(c);
        ReadComponentsProc(c);
    });
}

void TrpTemplate::FreeReadComponents() {
    // Whatever the reader left under the root, newest first; freeing one
    // may free others it holds, so the list is looked at afresh each time.
    const std::unordered_set<TComponent*> before(rootBefore_.begin(), rootBefore_.end());
    for (;;) {
        TComponent* victim = nullptr;
        for (int i = root_ != nullptr ? root_->ComponentCount() - 1 : -1; i >= 0; --i) {
            TComponent* c = root_->Components(i);
            if (before.count(c) == 0) {
                victim = c;
                break;
            }
        }
        if (victim == nullptr) break;
        delete victim;
    }
    readTopLevel_.clear();
}

void TrpTemplate::LoadFromStream(TStream* Stream) {
    ignoreAll_ = false;
    if (!BeforeLoad()) return;
    readTopLevel_.clear();
    rootBefore_.clear();
    if (root_ != nullptr)
        for (int i = 0; i < root_->ComponentCount(); ++i) rootBefore_.push_back(root_->Components(i));
    try {
        fixups_ = std::make_unique<TStringList>();
        fixupIndex_.clear();
        names_.reset();
        DoOnLoadStream(Stream);
        FindStart(Stream);
        const std::int64_t start = Stream->Position() + offset_;
        TMemoryStream copy;
        Stream->SetPosition(start);
        copy.CopyFrom(*Stream, Stream->Size() - start);
        copy.Seek(0, soBeginning);
        StreamCopied();
        if (format_ == ftASCII) {
            // The text form carries numbers with "." whatever the locale:
            // the converter reads them so without touching any setting.
            TMemoryStream binary;
            ObjectTextToBinary(copy, binary);
            binary.WriteBytes(std::string(1, '\0'));
            binary.Seek(0, soBeginning);
            ReadBinary(&binary);
        } else {
            ReadBinary(&copy);
        }
        CheckRead();
    } catch (const std::exception& e) {
        fixups_.reset();
        fixupIndex_.clear();
        names_.reset();
        FreeReadComponents();
        AfterLoad(false);
        if (IsTemplateError(e)) throw;
        const auto* ex = dynamic_cast<const Exception*>(&e);
        throw ETemplateLoadError(rpLanguageText(49) + ": " + (ex != nullptr ? ex->Message() : e.what()));
    }
    fixups_.reset();
    fixupIndex_.clear();
    names_.reset();
    AfterLoad(true);
    FreeStrays();
    FireLoadEnd();
}

void TrpTemplate::FreeStrays() {
    // What the stored component holds is what it streams (the one nesting
    // rule of reader and writer); anything else the read made under the
    // root (the read report itself, a component a stream nested where none
    // belongs) goes.
    std::unordered_set<TComponent*> kept;
    std::function<void(TComponent*)> keep = [&](TComponent* c) {
        if (c == nullptr || !kept.insert(c).second) return;
        c->GetChildren(keep, root_);
    };
    keep(Owner());
    const std::unordered_set<TComponent*> before(rootBefore_.begin(), rootBefore_.end());
    for (;;) {
        TComponent* stray = nullptr;
        for (int i = root_ != nullptr ? root_->ComponentCount() - 1 : -1; i >= 0 && stray == nullptr; --i) {
            TComponent* c = root_->Components(i);
            if (before.count(c) == 0 && kept.count(c) == 0) stray = c;
        }
        if (stray == nullptr) break;
        delete stray;
    }
    readTopLevel_.clear();
}

void TrpTemplate::CheckRead() {}

// --- Saving ----------------------------------------------------------------

void TrpTemplate::BuildStream(TStream* Target) {
    TMemoryStream binary;
    {
        TWriter writer(&binary);
        writer.SetRoot(root_ != nullptr ? root_ : Owner());
        writer.WriteSignature();
        writer.WriteComponent(Owner());
        writer.WriteListEnd();
    }
    TMemoryStream text;
    TStream* built = &binary;
    if (format_ == ftASCII) {
        binary.Seek(0, soBeginning);
        ObjectBinaryToText(binary, text);
        built = &text;
    }
    if (offset_ > 0) {
        // The bytes Offset skips are zeros where the target has none yet.
        const std::int64_t want = Target->Position() + offset_;
        const std::int64_t size = Target->Size();
        if (want > size) {
            Target->SetPosition(size);
            Target->WriteBytes(std::string(static_cast<std::size_t>(want - size), '\0'));
        } else {
            Target->SetPosition(want);
        }
    }
    built->Seek(0, soBeginning);
    Target->CopyFrom(*built, built->Size());
}

bool TrpTemplate::BeforeSave() { return true; }
void TrpTemplate::AfterSave(bool /*Success*/) {}

void TrpTemplate::Save() {
    if (saveTo_ == stDatabase)
        SaveToDatabase();
    else
        SaveToFile();
}

void TrpTemplate::SaveToStream(TStream* Stream) {
    if (!BeforeSave()) return;
    try {
        if (Primary.OnSaveStart) Primary.OnSaveStart(Owner());
        BuildStream(Stream);
        DoOnSaveStream(Stream);
    } catch (...) {
        AfterSave(false);
        throw;
    }
    AfterSave(true);
}

void TrpTemplate::SaveToFile() {
    if (!BeforeSave()) return;
    try {
        if (Primary.OnSaveStart) Primary.OnSaveStart(Owner());
        BusyCursor busy(showBusyCursor_);
        TMemoryStream stream;
        BuildStream(&stream);
        if (stream.Size() > 0) {
            DoOnSaveStream(&stream);
            if (GetReadOnly()) throw ETemplateSaveError(rpLanguageText(51));
            fileio::ClearLastFileError();
            try {
                fileio::WriteFileAtomic(fileName_, stream.DataBytes());
            } catch (const ETessaryError&) {
                throw;
            } catch (const Exception& e) {
                // Said in the clerk's words, with the file's name; the old file stays.
                const int err = fileio::LastFileError();
                throw ETemplateSaveError(err != 0 ? fileio::SaveFailureMessage(fileName_, err,
                                                                              dynamic_cast<const EFCreateError*>(&e) != nullptr)
                                                  : e.Message());
            }
        }
    } catch (...) {
        AfterSave(false);
        throw;
    }
    AfterSave(true);
}

void TrpTemplate::SaveToDatabase() {
    if (!CheckDatabaseSettings()) return;
    if (!BeforeSave()) return;
    TDataSet* dataSet = nullptr;
    try {
        if (Primary.OnSaveStart) Primary.OnSaveStart(Owner());
        BusyCursor busy(showBusyCursor_);
        TMemoryStream stream;
        BuildStream(&stream);
        if (stream.Size() > 0) {
            auto* db = dynamic_cast<TrpDBPipeline*>(databaseSettings_->DataPipeline());
            if (db == nullptr || db->DataSet() == nullptr)
                throw ETemplateSaveError(rpLanguageText(45) + " " + databaseSettings_->Name());
            if (!db->Active()) db->OpenData();
            dataSet = db->DataSet();
            if (!Locate(databaseSettings_->Name())) {
                dataSet->Append();
                db->SetFieldValue(databaseSettings_->NameField(), Variant(databaseSettings_->Name()));
            } else {
                db->Edit();
            }
            DoOnSaveStream(&stream);
            stream.Seek(0, soBeginning);
            db->LoadFieldFromStream(databaseSettings_->TemplateField(), &stream);
            db->Post();
        }
    } catch (...) {
        if (dataSet != nullptr && (dataSet->State() == dsEdit || dataSet->State() == dsInsert)) try {
                dataSet->Cancel();
            } catch (...) {
            }
        AfterSave(false);
        throw;
    }
    AfterSave(true);
}

void TrpTemplate::New() {
    if (Primary.OnNew) Primary.OnNew(Owner());
    if (SecondaryHooksEnabled && Secondary.OnNew) Secondary.OnNew(Owner());
}

// ---------------------------------------------------------------------------
// TrpReportTemplate

TClass TrpReportTemplate::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpReportTemplate>("TrpReportTemplate", TrpTemplate::StaticClassType()).Build();
    return &info;
}

TrpReportTemplate::TrpReportTemplate(TrpCustomReport* AReport) : TrpTemplate(AReport), report_(AReport) {}

TrpReportTemplate::~TrpReportTemplate() = default;

int TrpReportTemplate::LanguageIndex() const { return report_ != nullptr ? static_cast<int>(report_->Language()) : 0; }

void TrpReportTemplate::DescriptionChanged() {
    if (report_ != nullptr) report_->SendDesignNotify(rpdnTemplateDescriptionChanged, report_);
}

void TrpReportTemplate::DataPipelineChanged(TrpDataPipeline* Pipeline) {
    if (report_ == nullptr) return;
    TrpDataPipeline* old = DatabaseSettings()->DataPipeline();
    if (old == Pipeline) return;
    if (old != nullptr && old != report_->DataPipeline()) report_->RemoveNotify(old);
    if (Pipeline != nullptr) report_->AddNotify(Pipeline);
}

namespace {

// The stored settings of the report as a print job (printer setup, device,
// language, the settings objects...), which a report's Transfer leaves
// where they are: every published value of the report's class but those
// the report's own Transfer moves, its name and its event handlers.
void CopyStoredSettings(TrpCustomReport* Target, TrpCustomReport* Source) {
    if (Target == nullptr || Source == nullptr || Target->ClassType() != Source->ClassType()) return;
    const TClass layout = TrpCustomReport::StaticClassType();
    const TClass producer = TrpProducer::StaticClassType();
    for (const TPropInfo* p : GetPropList(Target->ClassType())) {
        if (SameText(p->Name, "Name") || p->PropType == nullptr || p->PropType->Kind == tkMethod) continue;
        if (GetPropInfo(layout, p->Name) != nullptr && GetPropInfo(producer, p->Name) == nullptr) continue;
        if (p->PropType->Kind == tkClass) {
            auto* to = dynamic_cast<TPersistent*>(p->GetObject ? p->GetObject(Target) : nullptr);
            auto* from = dynamic_cast<TPersistent*>(p->GetObject ? p->GetObject(Source) : nullptr);
            if (to != nullptr && from != nullptr && to != from) to->Assign(from);
        } else if (p->GetOrd && p->SetOrd) {
            p->SetOrd(Target, p->GetOrd(Source));
        } else if (p->GetStr && p->SetStr) {
            p->SetStr(Target, p->GetStr(Source));
        } else if (p->GetFloat && p->SetFloat) {
            p->SetFloat(Target, p->GetFloat(Source));
        } else if (p->GetInt64 && p->SetInt64) {
            p->SetInt64(Target, p->GetInt64(Source));
        } else if (p->GetVariant && p->SetVariant) {
            p->SetVariant(Target, p->GetVariant(Source));
        }
    }
}

// The print job's event handlers that the stream names (the report's
// Transfer moves the layout's own): a name the root knows takes its
// handler; a handler set in code, which has no name, stays.
void CopyNamedHandlers(TrpCustomReport* Target, TrpCustomReport* Source, TComponent* Root) {
    if (Target == nullptr || Source == nullptr || Root == nullptr || Target->ClassType() != Source->ClassType())
        return;
    const TClass layout = TrpCustomReport::StaticClassType();
    const TClass producer = TrpProducer::StaticClassType();
    for (const TPropInfo* p : GetPropList(Target->ClassType())) {
        if (p->PropType == nullptr || p->PropType->Kind != tkMethod || !p->GetMethodName || !p->SetMethod) continue;
        if (GetPropInfo(layout, p->Name) != nullptr && GetPropInfo(producer, p->Name) == nullptr) continue;
        const std::string name = p->GetMethodName(Source);
        if (name.empty()) continue;
        if (const std::any* handler = Root->MethodAddress(name)) p->SetMethod(Target, handler, name);
    }
}

}  // namespace

bool TrpReportTemplate::BeforeLoad() {
    if (report_ == nullptr || (report_->State() & rpstTemplateLoading) != 0) return false;
    TrpTemplate::BeforeLoad();
    SetRoot(report_->Owner() != nullptr ? report_->Owner() : report_);
    readReport_ = nullptr;
    backup_.reset(static_cast<TrpCustomReport*>(CreateInstance(report_->ClassType(), nullptr)));
    backup_->IncludeState(rpstTemplateLoading);
    report_->IncludeState(rpstTemplateLoading);
    backup_->Transfer(report_);
    CopyStoredSettings(backup_.get(), report_);
    if (auto* params = dynamic_cast<TrpReport*>(report_)) {
        if (params->HasParameters())
            static_cast<TrpReport*>(backup_.get())->Parameters()->Assign(params->Parameters());
    }
    report_->SendDesignNotify(rpdnTemplateLoadStart, report_);
    return true;
}

void TrpReportTemplate::ReadComponentsProc(TComponent* Component) {
    auto* report = dynamic_cast<TrpCustomReport*>(Component);
    if (report == nullptr || readReport_ != nullptr) return;
    readReport_ = report;
    readReport_->IncludeState(rpstTemplateLoading);
}

void TrpReportTemplate::CheckRead() {
    if (readReport_ == nullptr) throw ETemplateLoadError(rpLanguageText(49));
    // The parameters are taken by copy once the read is accepted; a value
    // its type cannot take would fail that copy half way through taking
    // the layout, so it fails the read here, while the old layout is whole.
    auto* read = dynamic_cast<TrpReport*>(readReport_);
    auto* target = dynamic_cast<TrpReport*>(report_);
    if (read == nullptr || target == nullptr || !read->HasParameters()) return;
    const bool moved = !target->HasParameters() && read->Parameters()->Owner() == target->Owner();
    if (!moved) {
        TrpParameterList probe(nullptr);
        probe.Assign(read->Parameters());
    }
}

void TrpReportTemplate::ReaderSetName(TReader* /*Reader*/, TComponent* Component, std::string& Name) {
    TComponent* root = Root();
    if (root == nullptr || Component->Owner() != root || Name.empty()) return;
    TComponent* holder = root->FindComponent(Name);
    if (holder == nullptr || holder == Component) return;
    if (auto* c = dynamic_cast<TrpCommunicator*>(Component)) c->IncludeState(rpstRenameWhileLoading);
    RenameClash(Component, Name);
}

void TrpReportTemplate::TakeLayout(TrpCustomReport* Source) {
    report_->Transfer(Source);
    CopyStoredSettings(report_, Source);
    CopyNamedHandlers(report_, Source, Root());
    auto* target = dynamic_cast<TrpReport*>(report_);
    auto* source = dynamic_cast<TrpReport*>(Source);
    if (target != nullptr && source != nullptr) {
        if (source->HasParameters() && !target->HasParameters() && source->Parameters()->Owner() == target->Owner())
            source->Parameters()->SetParent(target);  // the list itself, name and all
        else if (source->HasParameters())
            target->Parameters()->Assign(source->Parameters());
        else if (target->HasParameters())
            target->Parameters()->Clear();
    }
}

void TrpReportTemplate::AfterLoad(bool Success) {
    if (backup_ != nullptr) {
        try {
            if (Success && readReport_ != nullptr) {
                TakeLayout(readReport_);
                readReport_->ExcludeState(rpstTemplateLoading);
            } else {
                TakeLayout(backup_.get());
            }
        } catch (...) {
            backup_.reset();
            report_->ExcludeState(rpstTemplateLoading);
            TrpTemplate::AfterLoad(Success);
            throw;
        }
        backup_.reset();
    }
    readReport_ = nullptr;
    report_->ExcludeState(rpstTemplateLoading);
    report_->SendDesignNotify(rpdnTemplateLoadEnd, report_);
    report_->ResetPrintState();
    report_->SetModified(false);
    TrpTemplate::AfterLoad(Success);
}

bool TrpReportTemplate::BeforeSave() {
    if (report_ == nullptr) return false;
    SetRoot(report_->Owner() != nullptr ? report_->Owner() : report_);
    report_->IncludeState(rpstTemplateSaving);
    report_->SendDesignNotify(rpdnTemplateSaveStart, report_);
    return true;
}

void TrpReportTemplate::AfterSave(bool /*Success*/) {
    report_->SetModified(false);
    report_->ExcludeState(rpstTemplateSaving);
}

void TrpReportTemplate::New() {
    report_->SendDesignNotify(rpdnTemplateNewStart, report_);
    TrpDataPipeline* detailPipeline = nullptr;
    if (TrpBand* detail = report_->GetBand(btDetail)) detailPipeline = detail->GetDataPipeline();
    // An empty report of the same class gives its (empty) layout.
    std::unique_ptr<TrpCustomReport> blank(
        static_cast<TrpCustomReport*>(CreateInstance(report_->ClassType(), nullptr)));
    TrpDataPipeline* reportPipeline = report_->DataPipeline();
    // The layout goes; where it is kept stays.
    blank->Template()->Assign(this);
    report_->Transfer(blank.get());
    blank.reset();
    report_->SetDataPipeline(reportPipeline);
    report_->CreateDefaultBands();
    if (auto* detail = dynamic_cast<TrpDetailBand*>(report_->GetBand(btDetail));
        detail != nullptr && detailPipeline != nullptr && detailPipeline != report_->DataPipeline())
        detail->SetDataPipeline(detailPipeline);
    TrpTemplate::New();
    report_->SendDesignNotify(rpdnTemplateNewEnd, report_);
}

// ---------------------------------------------------------------------------
// TrpReportModuleTemplate

TClass TrpReportModuleTemplate::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpReportModuleTemplate>("TrpReportModuleTemplate", TrpTemplate::StaticClassType()).Build();
    return &info;
}

TrpReportModuleTemplate::TrpReportModuleTemplate(TrpRelative* AModule) : TrpTemplate(AModule), module_(AModule) {
    if (module_ != nullptr) SetRoot(module_->Owner() != nullptr ? module_->Owner() : module_);
}

TrpReportModuleTemplate::~TrpReportModuleTemplate() = default;

bool TrpReportModuleTemplate::BeforeLoad() {
    TrpTemplate::BeforeLoad();
    loadedRoot_ = nullptr;
    if (module_ == nullptr) return true;
    SetRoot(module_->Owner() != nullptr ? module_->Owner() : module_);
    rememberedTag_ = module_->Tag();
    backup_.reset(static_cast<TrpRelative*>(CreateInstance(module_->ClassType(), nullptr)));
    backup_->IncludeState(rpstTemplateLoading);
    module_->IncludeState(rpstTemplateLoading);
    Move(backup_.get(), module_);
    return true;
}

void TrpReportModuleTemplate::ReadComponentsProc(TComponent* Component) {
    if (loadedRoot_ == nullptr) loadedRoot_ = dynamic_cast<TrpRelative*>(Component);
}

void TrpReportModuleTemplate::CheckRead() {
    if (module_ != nullptr && (loadedRoot_ == nullptr || loadedRoot_->ClassType() != module_->ClassType()))
        throw ETemplateLoadError(rpLanguageText(49));
}

void TrpReportModuleTemplate::ReaderSetName(TReader* /*Reader*/, TComponent* Component, std::string& Name) {
    if (module_ == nullptr || module_->Owner() == nullptr || module_->Owner() != Root()) return;
    TComponent* holder = Root()->FindComponent(Name);
    if (holder == nullptr || holder == Component) return;
    RenameClash(Component, Name);
}

void TrpReportModuleTemplate::AfterLoad(bool Success) {
    if (module_ != nullptr && backup_ != nullptr) {
        if (Success && loadedRoot_ != nullptr)
            Move(module_, loadedRoot_);
        else
            Move(module_, backup_.get());
        backup_.reset();
        module_->SetTag(rememberedTag_);
        module_->ExcludeState(rpstTemplateLoading);
    }
    loadedRoot_ = nullptr;
    TrpTemplate::AfterLoad(Success);
}

void TrpReportModuleTemplate::New() {
    if (module_ != nullptr) {
        std::unique_ptr<TrpRelative> fresh(static_cast<TrpRelative*>(CreateInstance(module_->ClassType(), nullptr)));
        Move(module_, fresh.get());
    }
    TrpTemplate::New();
}

void TrpReportModuleTemplate::Move(TrpRelative* Target, TrpRelative* Source) {
    // The relative's transfer also takes the source's place; a module stays
    // where it is in its report.
    TrpRelative* parent = Target->Parent();
    TrpRelative* sourceParent = Source->Parent();
    // Neither takes the other's place: a report replaces a list that joins it.
    if (sourceParent != nullptr) Source->SetParent(nullptr);
    Target->Transfer(Source);
    if (Target->Parent() != parent) Target->SetParent(parent);
    if (Source->Parent() != sourceParent) Source->SetParent(sourceParent);
    // Children the source owned itself would go when it is freed.
    TComponent* owner = Target->GetChildOwner() != nullptr ? Target->GetChildOwner() : Target->Owner();
    for (int i = 0; i < Target->ChildCount(); ++i) {
        TrpRelative* child = Target->Children(i);
        if (child->Owner() != Source) continue;
        Source->RemoveComponent(child);
        if (owner != nullptr) owner->InsertComponent(child);
    }
}

// ---------------------------------------------------------------------------
// Scripting

using namespace rstable;

namespace {

// A string property read and written through its accessors.
template <class C, class G, class S>
TrsMember StringRow(const char* Name, G Get, S Set) {
    return WProp<C, std::string>(
        Name, rsString, [Get](C& c) { return std::string((c.*Get)()); },
        [Set](C& c, const std::string& v) { (c.*Set)(v); });
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpTemplateDBSettingsRTTI, TrsTPersistentRTTI, TrpTemplateDBSettings)

const TrsMemberTable& TrsTrpTemplateDBSettingsRTTI::MemberTable() {
    using S = TrpTemplateDBSettings;
    static const TrsMemberTable table{
        WClassProp<S, TrpDataPipeline*>("DataPipeline", TrpDataPipeline::StaticClassType(), &S::DataPipeline,
                                        &S::SetDataPipeline),
        StringRow<S>("Name", &S::Name, &S::SetName),
        StringRow<S>("NameField", &S::NameField, &S::SetNameField),
        StringRow<S>("TemplateField", &S::TemplateField, &S::SetTemplateField),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomTemplateRTTI, TrsTPersistentRTTI, TrpCustomTemplate)

const TrsMemberTable& TrsTrpCustomTemplateRTTI::MemberTable() {
    using C = TrpCustomTemplate;
    static const TrsMemberTable table{
        WClassProp<C, TrpTemplateDBSettings*>("DatabaseSettings", TrpTemplateDBSettings::StaticClassType(),
                                              &C::DatabaseSettings,
                                              [](C& c, TrpTemplateDBSettings* s) {
                                                  if (s == nullptr) return false;
                                                  c.SetDatabaseSettings(s);
                                                  return true;
                                              }),
        StringRow<C>("Description", &C::GetDescription, &C::SetDescription),
        StringRow<C>("FileName", &C::FileName, &C::SetFileName),
        WEnumProp<C, TrpFormatType>("Format", "TrpFormatType", &C::Format, &C::SetFormat),
        WProp<C, int32_t>("Offset", rsInteger, &C::Offset, &C::SetOffset),
        ClassProp<C>("Owner", TComponent::StaticClassType(), &C::Owner),
        WEnumProp<C, TrpSaveToType>("SaveTo", "TrpSaveToType", &C::SaveTo, &C::SetSaveTo),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpTemplateRTTI, TrsTrpCustomTemplateRTTI, TrpTemplate)

const TrsMemberTable& TrsTrpTemplateRTTI::MemberTable() {
    using T = TrpTemplate;
    static const TrsMemberTable table{
        Prop<T>("FileExtension", rsString, &T::FileExtension),
        Prop<T>("FileFilter", rsString, &T::FileFilter),
        ClassProp<T>("Root", TComponent::StaticClassType(), &T::Root),
        Prop<T>("ReadOnly", rsBoolean, &T::ReadOnly),
        Procedure<T>("LoadFromDatabase", [](T& t) { t.LoadFromDatabase(); }),
        Procedure<T>("LoadFromFile", [](T& t) { t.LoadFromFile(); }),
        Procedure<T>("New", [](T& t) { t.New(); }),
        Procedure<T>("SaveToDatabase", [](T& t) { t.SaveToDatabase(); }),
        Procedure<T>("SaveToFile", [](T& t) { t.SaveToFile(); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpReportTemplateRTTI, TrsTrpTemplateRTTI, TrpReportTemplate)

const TrsMemberTable& TrsTrpReportTemplateRTTI::MemberTable() {
    using R = TrpReportTemplate;
    static const TrsMemberTable table{
        ClassProp<R>("Report", TrpCustomReport::StaticClassType(), &R::Report),
    };
    return table;
}

// ---------------------------------------------------------------------------

namespace report {

void RegisterTemplateClasses() {
    RegisterClasses({TrpTemplateDBSettings::StaticClassType(), TrpReportTemplate::StaticClassType(),
                     TrpReportModuleTemplate::StaticClassType()});
    RegisterRTTIClass(TrsTrpTemplateDBSettingsRTTI::Instance());
    RegisterRTTIClass(TrsTrpCustomTemplateRTTI::Instance());
    RegisterRTTIClass(TrsTrpTemplateRTTI::Instance());
    RegisterRTTIClass(TrsTrpReportTemplateRTTI::Instance());
}

void UnregisterTemplateClasses() {
    UnregisterRTTIClass(TrsTrpReportTemplateRTTI::Instance());
    UnregisterRTTIClass(TrsTrpTemplateRTTI::Instance());
    UnregisterRTTIClass(TrsTrpCustomTemplateRTTI::Instance());
    UnregisterRTTIClass(TrsTrpTemplateDBSettingsRTTI::Instance());
    UnRegisterClass(TrpReportModuleTemplate::StaticClassType());
    UnRegisterClass(TrpReportTemplate::StaticClassType());
    UnRegisterClass(TrpTemplateDBSettings::StaticClassType());
}

}  // namespace report
