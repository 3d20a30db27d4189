#include "report/rpMemo.h"

#include <algorithm>
#include <atomic>

#include "platform/rtl/Filer.h"
#include "report/rpBands.h"
#include "report/rpDrawCommand.h"
#include "report/rpEngine.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report/rpTextLayout.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

std::function<std::unique_ptr<TCanvas>()>& MeasuringFactory() {
    static std::function<std::unique_ptr<TCanvas>()> factory;
    return factory;
}

// Older reports held the leading in screen pixels.
constexpr int kLeadingInThousandthsVersion = 3000;

}  // namespace

namespace {

std::atomic<unsigned> factoryGeneration{0};

struct SharedCanvas {
    std::unique_ptr<TCanvas> canvas;
    unsigned generation = 0;
};

SharedCanvas& ThreadCanvas() {
    thread_local SharedCanvas shared;
    return shared;
}

}  // namespace

void rpSetMeasuringCanvasFactory(std::function<std::unique_ptr<TCanvas>()> Factory) {
    MeasuringFactory() = std::move(Factory);
    ++factoryGeneration;
    ThreadCanvas().canvas.reset();
}

std::unique_ptr<TCanvas> rpNewMeasuringCanvas() {
    if (MeasuringFactory()) return MeasuringFactory()();
    return gfx::NewLayoutCanvas();
}

unsigned rpMeasuringGeneration() { return factoryGeneration.load(); }

TCanvas& rpSharedMeasuringCanvas() {
    SharedCanvas& shared = ThreadCanvas();
    const unsigned generation = factoryGeneration.load();
    if (!shared.canvas || shared.generation != generation) {
        shared.canvas = rpNewMeasuringCanvas();
        shared.generation = generation;
    }
    return *shared.canvas;
}

TClass TrpCustomMemo::StaticClassType() {
    using C = TrpCustomMemo;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpCustomMemo", TrpStretchable::StaticClassType());
        rpPublishAnchors(builder)
            .Boolean("CharWrap", &TrpCustomMemo::CharWrap, &TrpCustomMemo::SetCharWrap, 0)
            .Object("TabStopPositions", TStrings::StaticClassType(), &TrpCustomMemo::TabStopPositions,
                    &TrpCustomMemo::SetTabStopPositions)
            // How the text looks, as the text controls publish it.
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            .Ordinal("Color", TypeInfoColor(), &C::Color, &C::SetColor, clWhite)
            .Object("Font", TFont::StaticClassType(), &C::Font, &C::SetFont)
            // Stored as mmLeading (see DefineProperties).
            .Float("Leading", &C::Leading, &C::SetLeading, TypeInfoSingle())
            .NotStored()
            .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
            .Enum("TextAlignment", rpTypeInfo<TrpTextAlignment>(), &C::TextAlignment, &C::SetTextAlignment,
                  taLeftJustified)
            .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
            .Boolean("Visible", &C::Visible, &C::SetVisible, 1);
        rpPublishDrawCommandEvents(builder);
        rpPublishOffsets(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TClass TrpMemo::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpMemo>("TrpMemo", TrpCustomMemo::StaticClassType())
            .String("Caption", &TrpMemo::Caption, &TrpMemo::SetCaption)
            .Object("Lines", TStrings::StaticClassType(), &TrpCustomMemo::Lines, &TrpMemo::SetLines)
            .Build();
    return &info;
}

namespace {

const TTypeInfo* GetMemoEventTypeInfo() {
    static const TTypeInfo* t = typinfo::Intern(std::make_shared<TTypeInfo>(MakeMethodTypeInfo("TrpGetMemoEvent")));
    return t;
}

}  // namespace

TClass TrpDBMemo::StaticClassType() {
    static const TClassInfo info = [] {
        TClassBuilder<TrpDBMemo> builder("TrpDBMemo", TrpCustomMemo::StaticClassType());
        builder.Boolean("AutoDisplay", &TrpDBMemo::AutoDisplay, &TrpDBMemo::SetAutoDisplay, 1)
            .String("DataField", &TrpDBMemo::DataField, &TrpDBMemo::SetDataField);
        rpPublishDataPipeline(builder)
            .Event("OnGetMemo", &TrpDBMemo::OnGetMemo, GetMemoEventTypeInfo())
            .Boolean("ParentDataPipeline", &TrpDBMemo::ParentDataPipeline, &TrpDBMemo::SetParentDataPipeline, 1)
            .Boolean("SuppressRepeatedValues", &TrpDBMemo::SuppressRepeatedValues,
                     &TrpDBMemo::SetSuppressRepeatedValues, 0);
        return builder.Build();
    }();
    return &info;
}

TrpCustomMemo::TrpCustomMemo(TComponent* AOwner)
    : TrpStretchable(AOwner),
      lines_(std::make_unique<TStringList>()),
      memoStream_(std::make_unique<TMemoryStream>()),
      wrappedText_(std::make_unique<TStringList>()),
      tabStopPositions_(std::make_unique<TStringList>()) {
    SetCacheRecordSize(kMemoRecordSize);
    SetDrawCommandClass(TrpDrawText::StaticClassType());
}

TrpCustomMemo::~TrpCustomMemo() = default;

TrpMemo::TrpMemo(TComponent* AOwner) : TrpCustomMemo(AOwner) {
    SetDefaultPropName("Lines");
    if (!IsReading()) SetCaption("Caption");
}

// ---------------------------------------------------------------------------
// Text

TStrings* TrpCustomMemo::GetLines() { return lines_.get(); }

void TrpCustomMemo::SetLines(TStrings* Value) {
    if (Value != nullptr)
        lines_->Assign(*Value);
    else
        lines_->Clear();
    TextChanged();
}

void TrpMemo::SetLines(TStrings* Value) {
    if (!IsReading()) BeforePropertyChange("Lines");
    TrpCustomMemo::SetLines(Value);
    if (IsReading()) return;
    PropertyChange();
    UpdateBand();
}

TMemoryStream* TrpCustomMemo::GetMemoStream() {
    rpStringsToStream(lines_.get(), memoStream_.get());
    return memoStream_.get();
}

void TrpCustomMemo::TextChanged() {
    rpStringsToStream(lines_.get(), memoStream_.get());
    if (!IsReading()) Invalidate();
}

void TrpCustomMemo::FormatLines() { rpStringsToStream(lines_.get(), memoStream_.get()); }

std::string TrpCustomMemo::GetTextBuffer() {
    TMemoryStream* stream = GetMemoStream();
    std::string text(static_cast<std::size_t>(stream->Size()), '\0');
    stream->SetPosition(0);
    if (!text.empty()) stream->Read(text.data(), static_cast<int64_t>(text.size()));
    return text;
}

std::string TrpCustomMemo::GetText() const { return lines_->Text(); }

void TrpCustomMemo::SetText(const std::string& Value) {
    lines_->SetText(Value);
    TextChanged();
}

void TrpCustomMemo::FontChanged() {
    TrpStretchable::FontChanged();
    if (Stretch() && !IsReading()) UpdateBand();
}

// ---------------------------------------------------------------------------
// Settings

void TrpCustomMemo::SetTabStopPositions(TStrings* Value) {
    if (!IsReading()) BeforePropertyChange("TabStopPositions");
    if (Value != nullptr)
        tabStopPositions_->Assign(*Value);
    else
        tabStopPositions_->Clear();
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpCustomMemo::SetCharWrap(bool Value) {
    if (!IsReading()) BeforePropertyChange("CharWrap");
    charWrap_ = Value;
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpCustomMemo::SetmmLeading(int32_t Value) {
    if (!IsReading()) BeforePropertyChange("Leading");
    mmLeading_ = Value;
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

float TrpCustomMemo::Leading() const { return rpFromMMThousandths(mmLeading_, Units(), 1, GetPrinter()); }
void TrpCustomMemo::SetLeading(float Value) { SetmmLeading(rpToMMThousandths(Units(), 1, GetPrinter(), Value)); }

// ---------------------------------------------------------------------------
// Generation

void TrpCustomMemo::Init() {
    TrpStretchable::Init();
    startPos_ = 0;
    wrappedText_->Clear();
}

void TrpCustomMemo::GenerateContent() {
    const std::string text = GetText();
    std::unique_ptr<TCanvas> canvas = rpNewMeasuringCanvas();
    canvas->SetFont(*Font());
    TrpWrapOptions options;
    options.Canvas = canvas.get();
    options.JustifyLastLine = ForceJustifyLastLine();
    const TRect rect = PrintRect();
    if (!Stretch() || !Grows()) {
        // Only what fits the rectangle prints; the rest of the text does not.
        startPos_ = 0;
        int32_t from = 0;
        const TRect box{rect.Left, rect.Top, rect.Right, rect.Top + mmHeight()};
        TrpPlainText::WrapText(text, box, wrappedText_.get(), from, GetPrinter(), tabStopPositions_.get(), mmLeading_,
                               charWrap_, Font(), false, TextAlignment(), options);
        SetSpaceUsed(mmHeight());
        SetOverFlow(false);
        return;
    }
    const int32_t remembered = startPos_;
    TrpPlainText::WrapText(text, rect, wrappedText_.get(), startPos_, GetPrinter(), tabStopPositions_.get(),
                           mmLeading_, charWrap_, Font(), false, TextAlignment(), options);
    int32_t lineHeight = 0;
    TrpPlainText::CalcLinesPerHeight(Font(), mmLeading_, lineHeight, GetPrinter(), rect.Bottom - rect.Top,
                                     canvas.get());
    const int lines = wrappedText_->Count();
    const int32_t used = lines * lineHeight;
    if (startPos_ < static_cast<int32_t>(text.size())) {
        // Text is left for the next page. A page on which no line fitted
        // keeps the position the text had reached.
        if (lines == 0) startPos_ = remembered;
        SetOverFlow(true);
        SetSpaceUsed(used);
        if (MustKeepTogether()) {
            // The whole memo moves to the next page.
            SetSpaceUsed(0);
            SetKeptTogether(true);
            startPos_ = remembered;
            wrappedText_->Clear();
        }
        return;
    }
    SetOverFlow(false);
    if (lines > 0) SetSpaceUsed(used);
    startPos_ = 0;
    // The next record's memo is kept together again.
    SetKeptTogether(false);
}

void TrpCustomMemo::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpStretchable::PropertiesToDrawCommand(DrawCommand);
    auto* text = dynamic_cast<TrpDrawText*>(DrawCommand);
    if (text == nullptr) return;
    const TRect r = PrintRect();
    text->SetLeft(r.Left);
    text->SetTop(r.Top);
    text->SetWidth(r.Right - r.Left);
    text->SetHeight(r.Bottom - r.Top);
    text->SetColor(Color());
    text->SetTransparent(Transparent());
    text->SetFont(Font());
    text->SetTextAlignment(TextAlignment());
    text->SetForceJustifyLastLine(ForceJustifyLastLine());
    text->SetWordWrap(true);
    text->SetLeading(mmLeading_);
    text->SetTabStopPositions(tabStopPositions_.get());
    text->SetWrappedText(wrappedText_.get());
    text->SetIsMemo(true);
    text->SetText(GetText());
}

// ---------------------------------------------------------------------------
// Page record: the stretchable's twelve bytes, then StartPos.

void TrpCustomMemo::ResetCache(int Page) {
    TrpStretchable::ResetCache(Page);
    startPos_ = 0;
}

void TrpCustomMemo::FillMemoRecord(TrpCacheRecord& Record) const {
    FillStretchableRecord(Record);
    Record.PutInt(12, startPos_);
}

void TrpCustomMemo::ReadMemoRecord(const TrpCacheRecord& Record) {
    ReadStretchableRecord(Record);
    startPos_ = Record.GetInt(12);
}

void TrpCustomMemo::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillMemoRecord(record);
    WriteCacheRecord(Page, record.Data());
}

void TrpCustomMemo::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (ReadCacheRecord(Page, record.Data())) ReadMemoRecord(record);
}

// ---------------------------------------------------------------------------
// Streaming

void TrpCustomMemo::DefineProperties(TFiler* Filer) {
    TrpStretchable::DefineProperties(Filer);
    Filer->DefineProperty(
        "mmLeading", [this](TReader* r) { mmLeading_ = rpReadTruncatedInteger(r); },
        [this](TWriter* w) { w->WriteInteger(mmLeading_); }, mmLeading_ != 0);
    // An older stored form: read and forgotten.
    Filer->DefineProperty("Position", [](TReader* r) { r->ReadInteger(); }, nullptr, false);
}

void TrpCustomMemo::Convert(int Version) {
    TrpStretchable::Convert(Version);
    if (Version < kLeadingInThousandthsVersion)
        mmLeading_ = rpToMMThousandths(utScreenPixels, 1, nullptr, static_cast<float>(mmLeading_));
}

// ---------------------------------------------------------------------------
// Data memo

namespace {

// A pipeline tells the memos bound to it that it stepped to another record.
constexpr int kRecordTraversedOperation = 35;

}  // namespace

TrpDBMemo::TrpDBMemo(TComponent* AOwner) : TrpCustomMemo(AOwner) {
    SetCacheRecordSize(kDBMemoRecordSize);
    SetDefaultPropName("DataField");
}

TrpDBMemo::~TrpDBMemo() {
    OnGetMemo = nullptr;
}

void TrpDBMemo::SetAutoDisplay(bool Value) {
    if (Value == autoDisplay_) return;
    if (!IsReading()) BeforePropertyChange("AutoDisplay");
    autoDisplay_ = Value;
    if (IsReading()) return;
    TextChanged();
    PropertyChange();
}

void TrpDBMemo::SetSuppressRepeatedValues(bool Value) {
    if (!IsReading()) BeforePropertyChange("SuppressRepeatedValues");
    suppressRepeatedValues_ = Value;
    if (Value)
        EventSet().set(rpevRecordTraversed);
    else
        EventSet().reset(rpevRecordTraversed);
    if (!IsReading()) PropertyChange();
}

void TrpDBMemo::SetDataField(const std::string& Value) {
    TrpCustomMemo::SetDataField(Value);
    TextChanged();
}

TStrings* TrpDBMemo::GetLines() {
    TextChanged();
    return StoredLines();
}

void TrpDBMemo::TextChanged() {
    const bool handler = static_cast<bool>(OnGetMemo);
    const bool listener = HasListenerFor(rpevGetMemo);
    if (refreshing_ || IsReading() || !(autoDisplay_ || handler || listener)) {
        TrpCustomMemo::TextChanged();
        return;
    }
    // A handler that reads Lines must not start the refresh again.
    refreshing_ = true;
    TStringList* lines = StoredLines();
    lines->Clear();
    if (!handler && !listener) {
        if (DataAvailable()) lines->SetText(DataPipeline()->GetFieldAsString(DataField()));
    } else if (GetPrinting()) {
        if (handler) OnGetMemo(this, lines);
        TrsParamList params;
        params.AddParam("Lines", rsClass, false, false, "", TStrings::StaticClassType());
        TObject* linesObject = lines;
        params.BindConstParam(0, &linesObject);
        SendEventNotify(this, rpevGetMemo, &params);
    }
    refreshing_ = false;
    TrpCustomMemo::TextChanged();
}

std::string TrpDBMemo::CurrentValueText() {
    if (DataAvailable()) return DataPipeline()->GetFieldAsString(DataField());
    return GetText();
}

int TrpDBMemo::CurrentPageNo() const {
    if (Band() == nullptr || Band()->Report() == nullptr || Band()->Report()->Engine() == nullptr) return 0;
    return Band()->Report()->Engine()->AbsolutePageNo();
}

void TrpDBMemo::ComputeRepeated() {
    const std::string value = CurrentValueText();
    // The first value on a page, or after a group break, prints again.
    repeatedValue_ = haveLastValue_ && !forcedByGroup_ && lastPageNo_ == CurrentPageNo() && value == lastValueText_;
}

void TrpDBMemo::ListenToGroups(bool Listen) {
    for (TrpCommunicator* g : groupsHeard_) g->RemoveEventNotify(this);
    groupsHeard_.clear();
    EventSet().reset(rpevGroupBreak);
    if (!Listen || Band() == nullptr || Band()->Report() == nullptr) return;
    TrpCustomReport* report = Band()->Report();
    EventSet().set(rpevGroupBreak);
    for (int i = 0; i < report->GroupCount(); ++i) {
        TrpGroup* group = report->Groups(i);
        if (group == nullptr) continue;
        group->AddEventNotify(this);
        groupsHeard_.push_back(group);
    }
}

void TrpDBMemo::Init() {
    TrpCustomMemo::Init();
    repeatedValue_ = false;
    haveLastValue_ = false;
    forcedByGroup_ = false;
    lastPageNo_ = 0;
    lastValueText_.clear();
    savedTexts_.clear();
    TrpCustomEngine* engine =
        Band() != nullptr && Band()->Report() != nullptr ? Band()->Report()->Engine() : nullptr;
    if (engine != nullptr) {
        if (suppressRepeatedValues_)
            engine->AddEventNotify(this);
        else
            engine->RemoveEventNotify(this);
    }
    ListenToGroups(suppressRepeatedValues_);
}

void TrpDBMemo::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCustomMemo::EventNotify(Sender, EventNumber, Params);
    if (!suppressRepeatedValues_) return;
    if (EventNumber == rpevRecordTraversed)
        ComputeRepeated();
    else if (EventNumber == rpevGroupBreak)
        forcedByGroup_ = true;
}

void TrpDBMemo::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator != nullptr)
        groupsHeard_.erase(std::remove(groupsHeard_.begin(), groupsHeard_.end(), Communicator), groupsHeard_.end());
    TrpCustomMemo::Notify(Communicator, Operation);
    if (Operation == kRecordTraversedOperation && Communicator != nullptr &&
        Communicator == static_cast<TrpCommunicator*>(DataPipeline()))
        TextChanged();
}

void TrpDBMemo::GenerateContent() {
    // A continuation goes on with the text of the record it began with.
    const bool continuing = OverFlow();
    TextChanged();
    if (suppressRepeatedValues_ && !continuing) {
        ComputeRepeated();
        if (repeatedValue_) {
            GetPrintLines()->Clear();
            SetOverFlow(false);
            SetSpaceUsed(0);
            return;
        }
        lastValueText_ = CurrentValueText();
        haveLastValue_ = true;
        lastPageNo_ = CurrentPageNo();
        forcedByGroup_ = false;
    }
    TrpCustomMemo::GenerateContent();
}

// Page record: the memo's sixteen bytes, then the repeat state.
void TrpDBMemo::ResetCache(int Page) {
    TrpCustomMemo::ResetCache(Page);
    savedTexts_.erase(savedTexts_.lower_bound(Page), savedTexts_.end());
}

void TrpDBMemo::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillMemoRecord(record);
    record.PutBool(16, repeatedValue_);
    record.PutBool(17, haveLastValue_);
    record.PutBool(18, forcedByGroup_);
    record.PutInt(20, lastPageNo_);
    if (WriteCacheRecord(Page, record.Data())) savedTexts_[Page] = lastValueText_;
}

void TrpDBMemo::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    ReadMemoRecord(record);
    repeatedValue_ = record.GetBool(16);
    haveLastValue_ = record.GetBool(17);
    forcedByGroup_ = record.GetBool(18);
    lastPageNo_ = record.GetInt(20);
    const auto saved = savedTexts_.find(Page);
    lastValueText_ = saved != savedTexts_.end() ? saved->second : std::string();
}

void rpFormatReportMemos(TrpCustomReport* Report) {
    if (Report == nullptr) return;
    for (int b = 0; b < Report->BandCount(); ++b) {
        TrpBand* band = Report->Bands(b);
        for (int i = 0; i < band->ObjectCount(); ++i)
            if (auto* memo = dynamic_cast<TrpCustomMemo*>(band->Objects(i));
                memo != nullptr && memo->StoredLines()->Count() > 0)
                memo->FormatLines();
    }
}

namespace report {

void RegisterMemoClasses() {
    RegisterClass(TrpCustomMemo::StaticClassType());
    RegisterClass(TrpMemo::StaticClassType());
    RegisterClass(TrpDBMemo::StaticClassType());
}

void UnregisterMemoClasses() {
    UnRegisterClass(TrpDBMemo::StaticClassType());
    UnRegisterClass(TrpMemo::StaticClassType());
    UnRegisterClass(TrpCustomMemo::StaticClassType());
}

}  // namespace report
