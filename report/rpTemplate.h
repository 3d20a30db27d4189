#pragma once
// Report templates: a report's whole layout (settings, bands, groups,
// components, parameters) kept outside the program, as the component
// stream of the report and everything it holds, binary ("TPF0") or text
// ("object ..."), in a ".rtm" file or in a BLOB or memo field of a database
// row reached through a dataset pipeline.
//
// TrpTemplate holds the machinery for any stored component; the template
// of a report (TrpReportTemplate) and of a report module
// (TrpReportModuleTemplate) adapt it. A load never leaves a half-read
// layout behind: the current content is moved into a backup first, and a
// stream that fails to read, for whatever reason, brings the backup back
// and raises EInvalidTemplateError (no template signature where one was
// looked for) or ETemplateLoadError. Every component the reader made is
// freed then, so the owner holds exactly what it held before.
//
// Template input is untrusted: the start of the stream is looked for only
// inside the stream, lengths and offsets are checked before use, and the
// reader itself refuses anything it cannot read. What the user may skip
// (an unknown property) goes through the template error dialog, when one
// is registered; without one such an error is fatal.
//
// Saving writes beside the target file and renames it over the old one, so
// a program stopped mid-save leaves the old file. A read-only file is
// refused before anything is written.
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpComm.h"
#include "report/rpDialogs.h"
#include "report/rpRTTITable.h"
#include "report/rpTypes.h"

class TReader;
class TrpCustomReport;
class TrpDataPipeline;
class TrpRelative;

// Results the template error dialog answers with (the values of the
// platform's modal results).
enum : int {
    rpmrCancel = 2,
    rpmrIgnore = 5,
    rpmrAll = 8,
};

// State flags of a report during a template load and save.
enum : std::uint16_t {
    rpstTemplateLoading = 128,
    rpstTemplateSaving = 256,
};

// Design notices of the template (no designer runs in this program).
enum : int {
    rpdnTemplateDescriptionChanged = 1124,
    rpdnTemplateLoadStart = 1146,
    rpdnTemplateLoadEnd = 1147,
    rpdnTemplateNewStart = 1154,
    rpdnTemplateNewEnd = 1155,
    rpdnTemplateSaveStart = 1156,
};

// The error dialog (TrpCustomTemplateErrorDialog, with the report's other
// dialogs) is asked whether a read error may be skipped: once, for every
// later error of the load, or not at all.

// The application's busy cursor: called with true before a long load or
// save and with false after it. The user-interface layer installs it;
// returns the previous hook.
using TrpBusyCursorHook = std::function<void(bool Busy)>;
TrpBusyCursorHook rpSetBusyCursorHook(TrpBusyCursorHook Hook);

// Where in a database a template lives: the row whose NameField holds
// Name, its TemplateField holding the stream.
class TrpTemplateDBSettings : public TPersistent {
public:
    TrpTemplateDBSettings() = default;
    FAT_CLASS(TrpTemplateDBSettings)

    TrpDataPipeline* DataPipeline() const { return dataPipeline_; }
    void SetDataPipeline(TrpDataPipeline* Value);
    // The pipeline is being freed: the reference goes, nobody is told.
    void ForgetDataPipeline() { dataPipeline_ = nullptr; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value);
    const std::string& NameField() const { return nameField_; }
    void SetNameField(const std::string& Value) { nameField_ = Value; }
    const std::string& TemplateField() const { return templateField_; }
    void SetTemplateField(const std::string& Value) { templateField_ = Value; }
    void Assign(TPersistent* Source) override;

    // Set by the owning template.
    std::function<void()> OnNameChanged;
    std::function<void(TrpDataPipeline* NewPipeline)> OnPipelineChanged;

private:
    TrpDataPipeline* dataPipeline_ = nullptr;
    std::intptr_t reference_ = 0;
    std::string name_;
    std::string nameField_;
    std::string templateField_;
};

class TrpCustomTemplate : public TPersistent {
public:
    explicit TrpCustomTemplate(TComponent* AOwner);
    ~TrpCustomTemplate() override;
    FAT_CLASS(TrpCustomTemplate)

    TrpTemplateDBSettings* DatabaseSettings() const { return databaseSettings_.get(); }
    virtual void SetDatabaseSettings(TrpTemplateDBSettings* Value);
    const std::string& FileName() const { return fileName_; }
    virtual void SetFileName(const std::string& Value) { fileName_ = Value; }
    // The database name with stDatabase, else the file name.
    virtual std::string GetDescription() const;
    virtual void SetDescription(const std::string& Value);
    TrpFormatType Format() const { return format_; }
    void SetFormat(TrpFormatType Value) { format_ = Value; }
    std::int32_t Offset() const { return offset_; }
    void SetOffset(std::int32_t Value) { offset_ = Value; }
    TrpSaveToType SaveTo() const { return saveTo_; }
    void SetSaveTo(TrpSaveToType Value) { saveTo_ = Value; }
    bool ShowBusyCursor() const { return showBusyCursor_; }
    void SetShowBusyCursor(bool Value) { showBusyCursor_ = Value; }
    // The component stored (not owned).
    TComponent* Owner() const { return owner_; }
    // True when pipeline, name field and template field are all set.
    virtual bool CheckDatabaseSettings();
    void Assign(TPersistent* Source) override;

protected:
    TPersistent* GetOwner() const override { return owner_; }

    std::unique_ptr<TrpTemplateDBSettings> databaseSettings_;
    std::string fileName_;
    TrpFormatType format_ = ftBinary;
    std::int32_t offset_ = 0;
    TrpSaveToType saveTo_ = stFile;
    bool showBusyCursor_ = true;
    TComponent* owner_ = nullptr;
};

using TrpTemplateNotify = std::function<void(TObject* Sender)>;
using TrpTemplateStreamNotify = std::function<void(TObject* Sender, TStream* Stream)>;
using TrpTemplateLocateEvent = std::function<bool(TObject* Sender, const std::string& Name)>;

class TrpTemplate : public TrpCustomTemplate {
public:
    explicit TrpTemplate(TComponent* AOwner);
    ~TrpTemplate() override;
    FAT_CLASS(TrpTemplate)

    virtual std::string FileExtension() const { return {}; }
    virtual std::string FileFilter() const { return {}; }
    // The component that owns the stored components' names.
    TComponent* Root() const { return root_; }
    void SetRoot(TComponent* Value) { root_ = Value; }
    // A file template whose file exists and is read-only.
    bool ReadOnly() { return GetReadOnly(); }
    void SetFileName(const std::string& Value) override;
    bool CheckDatabaseSettings() override;

    // From SaveTo.
    virtual void Load();
    virtual void LoadFromDatabase();
    virtual void LoadFromFile();
    // Reads from the stream's position; the template's start is looked for
    // there (see Offset).
    virtual void LoadFromStream(TStream* Stream);
    virtual void Save();
    virtual void SaveToDatabase();
    virtual void SaveToFile();
    virtual void SaveToStream(TStream* Stream);
    virtual void New();

    // Where the template starts in Stream, counted from its current
    // position: keeps Offset when a signature stands there, else 0 when one
    // stands at the beginning, else the 32-bit integer found at the
    // beginning when a signature stands where it points. Sets Format.
    // EInvalidTemplateError when no signature is found; the stream's
    // position is kept.
    void FindStart(TStream* Stream);

    // The secondary handlers run after the primary ones while
    // SecondaryHooksEnabled is set.
    struct Hooks {
        TrpTemplateNotify OnLoadEnd;
        TrpTemplateStreamNotify OnStreamLoaded;  // primary only
        TrpTemplateLocateEvent OnLocateRecord;
        TrpTemplateNotify OnNew;
        TrpTemplateStreamNotify OnSaveStream;
        TrpTemplateNotify OnSaveStart;  // primary only
    };
    Hooks Primary;
    Hooks Secondary;
    bool SecondaryHooksEnabled = true;

protected:
    virtual void StreamCopied() {}
    virtual void DoOnLoadStream(TStream* Stream);
    virtual void DoOnSaveStream(TStream* Stream);
    virtual bool GetReadOnly();
    // Reader hooks.
    virtual void ReadComponentsProc(TComponent* Component);
    virtual void ReaderSetName(TReader* Reader, TComponent* Component, std::string& Name);
    virtual void ReaderError(TReader* Reader, const std::string& Message, bool& Handled);
    virtual void ReaderReferenceName(TReader* Reader, std::string& Name);
    virtual bool BeforeLoad();
    virtual void AfterLoad(bool Success);
    virtual bool BeforeSave();
    virtual void AfterSave(bool Success);
    virtual void DescriptionChanged() {}
    virtual void DataPipelineChanged(TrpDataPipeline* /*Pipeline*/) {}
    // After a read that raised nothing: refuses a stream that did not hold
    // what the template stores.
    virtual void CheckRead();
    // The language of the error dialog.
    virtual int LanguageIndex() const { return 0; }
    // The components a failed read made under Root are freed by the
    // template; these are what the read left, top-level ones first.
    const std::vector<TComponent*>& ReadTopLevel() const { return readTopLevel_; }
    // The old and new names of components renamed during this load.
    TStringList* NameFixups() const { return fixups_.get(); }
    // Renames Component, read under Name, which another component of the
    // root holds: it takes the next free name of its class (as the
    // communicators name a new component), and references to Name read
    // after this go to it. Each takes time independent of the root's size.
    void RenameClash(TComponent* Component, std::string& Name);

    // The stream of the stored component: signature, component, end of list.
    void BuildStream(TStream* Target);
    bool Locate(const std::string& Name);

private:
    void ReadBinary(TStream* Binary);
    void FreeReadComponents();
    void FreeStrays();
    void FireLoadEnd();
    void SaveBytesToFile(const std::string& Bytes);
    void SaveBytesToDatabase(const std::string& Bytes);
    // ETemplateSaveError unless the template field holds a BLOB or memo.
    void CheckTemplateFieldType();

    TComponent* root_ = nullptr;
    std::unique_ptr<TStringList> fixups_;
    // The first component renamed from each old name (upper case), as
    // fixups_ holds them; and the names handed out during this load.
    std::unordered_map<std::string, TComponent*> fixupIndex_;
    std::unique_ptr<report::NameSeries> names_;
    bool ignoreAll_ = false;
    std::unique_ptr<TrpCustomTemplate> settingsBackup_;
    std::vector<TComponent*> rootBefore_;
    std::vector<TComponent*> readTopLevel_;
};

// The template of a report: the report and everything it holds.
class TrpReportTemplate : public TrpTemplate {
public:
    explicit TrpReportTemplate(TrpCustomReport* AReport);
    ~TrpReportTemplate() override;
    FAT_CLASS(TrpReportTemplate)

    std::string FileExtension() const override { return "rtm"; }
    std::string FileFilter() const override { return "Report file (*.rtm)|*.rtm"; }
    TrpCustomReport* Report() const { return report_; }
    // Empties the report: default bands again, the detail band keeping its
    // pipeline; then the new-template hooks.
    void New() override;

protected:
    bool BeforeLoad() override;
    void AfterLoad(bool Success) override;
    bool BeforeSave() override;
    void AfterSave(bool Success) override;
    void ReadComponentsProc(TComponent* Component) override;
    void ReaderSetName(TReader* Reader, TComponent* Component, std::string& Name) override;
    void CheckRead() override;
    void DescriptionChanged() override;
    void DataPipelineChanged(TrpDataPipeline* Pipeline) override;
    int LanguageIndex() const override;

private:
    // The layout of Source into the report: bands, groups, settings, parameters.
    void TakeLayout(TrpCustomReport* Source);

    TrpCustomReport* report_;
    TrpCustomReport* readReport_ = nullptr;
    std::unique_ptr<TrpCustomReport> backup_;
};

// The template of one module object of a report: loads and saves it
// through the template machinery and keeps it intact when a load fails.
// The module's content moves with its Transfer.
class TrpReportModuleTemplate : public TrpTemplate {
public:
    // AModule: the module whose template this is (not owned).
    explicit TrpReportModuleTemplate(TrpRelative* AModule);
    ~TrpReportModuleTemplate() override;
    FAT_CLASS(TrpReportModuleTemplate)

    TrpRelative* Module() const { return module_; }
    void New() override;

protected:
    bool BeforeLoad() override;
    void AfterLoad(bool Success) override;
    void ReadComponentsProc(TComponent* Component) override;
    void ReaderSetName(TReader* Reader, TComponent* Component, std::string& Name) override;
    void CheckRead() override;

private:
    // Content of Source into Target, Target keeping its place.
    static void Move(TrpRelative* Target, TrpRelative* Source);

    TrpRelative* module_;
    TrpRelative* loadedRoot_ = nullptr;
    std::unique_ptr<TrpRelative> backup_;
    // The module's tag, which the load must not change.
    std::intptr_t rememberedTag_ = 0;
};

// Scripting: the settings' DataPipeline, Name, NameField, TemplateField;
// a template's DatabaseSettings, Description, FileName, Format, Offset,
// Owner, SaveTo, then FileExtension, FileFilter, Root and ReadOnly (read
// only) and the methods LoadFromDatabase, LoadFromFile, New,
// SaveToDatabase, SaveToFile; a report template's Report.
RP_TABLE_ADAPTER(TrsTrpTemplateDBSettingsRTTI, TrsTPersistentRTTI)
RP_TABLE_ADAPTER(TrsTrpCustomTemplateRTTI, TrsTPersistentRTTI)
RP_TABLE_ADAPTER(TrsTrpTemplateRTTI, TrsTrpCustomTemplateRTTI)
RP_TABLE_ADAPTER(TrsTrpReportTemplateRTTI, TrsTrpTemplateRTTI)

namespace report {
void RegisterTemplateClasses();
void UnregisterTemplateClasses();
}  // namespace report
