#include "report/rpPrintable.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"
#include "report/rpDrawCommand.h"
#include "report/rpLanguage.h"
#include "report/rpPage.h"
#include "report/rpRTTI.h"
#include "report/rpPipeline.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

// A new object is 65 by 17 screen pixels, whatever the screen.
constexpr int kDefaultWidthPixels = 65;
constexpr int kDefaultHeightPixels = 17;

TrpTextAlignment TextAlignmentOf(TAlignment Value) {
    switch (Value) {
        case taRightJustify: return taRightJustified;
        case taCenter: return taCentered;
        default: return taLeftJustified;
    }
}

}  // namespace

TClass TrpPrintable::StaticClassType() {
    // Every printable keeps the handler a form names for its print event, so a
    // template loaded later calls the same handler the layout was made with.
    static const TClassInfo info = TClassBuilder<TrpPrintable>("TrpPrintable", TrpCacheable::StaticClassType())
                                       .Event("OnPrint", &TrpPrintable::OnPrint)
                                       .Build();
    return &info;
}

TrpPrintable::TrpPrintable(TComponent* AOwner)
    : TrpCacheable(AOwner), border_(std::make_unique<TrpBorder>(this)), font_(std::make_unique<TrpFont>()) {
    mmWidth_ = rpToMMThousandths(utScreenPixels, 0, nullptr, kDefaultWidthPixels);
    mmHeight_ = rpToMMThousandths(utScreenPixels, 1, nullptr, kDefaultHeightPixels);
    previousWidth_ = mmWidth_;
    previousHeight_ = mmHeight_;
    SetCacheRecordSize(kCacheRecordSize);
    border_->OnChange = [this](TObject*) { Invalidate(); };
    font_->OnChange = [this](TObject*) { FontChanged(); };
}

TrpPrintable::~TrpPrintable() {
    ForgetClickTarget(clickId_);
    if (dataPipeline_ != nullptr) RemoveNotify(dataPipeline_);
    dataPipeline_ = nullptr;
    font_->OnChange = nullptr;
    border_->OnChange = nullptr;
}

bool TrpPrintable::IsReading() const { return rpIsLoading(this); }

// ---------------------------------------------------------------------------
// Lengths

void TrpPrintable::StoremmBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    mmLeft_ = Left;
    mmTop_ = Top;
    mmWidth_ = Width;
    mmHeight_ = Height;
}

void TrpPrintable::ChangeLength(int32_t& Field, int32_t Value, const char* NoticeName) {
    if (Field == Value) return;
    if (IsReading()) {
        Field = Value;
        return;
    }
    BeforePropertyChange(NoticeName);
    Field = Value;
    BoundsChange();
    UpdateBand();
}

void TrpPrintable::SetmmLeft(int32_t Value) { ChangeLength(mmLeft_, Value, "MoveBounds"); }
void TrpPrintable::SetmmTop(int32_t Value) { ChangeLength(mmTop_, Value, "MoveBounds"); }
void TrpPrintable::SetmmWidth(int32_t Value) { ChangeLength(mmWidth_, Value, "ResizeBounds"); }
void TrpPrintable::SetmmHeight(int32_t Value) { ChangeLength(mmHeight_, Value, "ResizeBounds"); }

void TrpPrintable::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (Left == mmLeft_ && Top == mmTop_ && Width == mmWidth_ && Height == mmHeight_) return;
    if (IsReading()) {
        StoremmBounds(Left, Top, Width, Height);
        return;
    }
    BeforePropertyChange(Left != mmLeft_ || Top != mmTop_ ? "MoveBounds" : "ResizeBounds");
    StoremmBounds(Left, Top, Width, Height);
    BoundsChange();
    UpdateBand();
}

int32_t TrpPrintable::FromMMThousandths(int32_t Value, int Axis) const {
    return rpRoundHalfEven(rpFromMMThousandths(Value, units_, Axis, GetPrinter()));
}

float TrpPrintable::Left() const { return rpFromMMThousandths(mmLeft_, units_, 0, GetPrinter()); }
float TrpPrintable::Top() const { return rpFromMMThousandths(mmTop_, units_, 1, GetPrinter()); }
float TrpPrintable::Width() const { return rpFromMMThousandths(mmWidth_, units_, 0, GetPrinter()); }
float TrpPrintable::Height() const { return rpFromMMThousandths(mmHeight_, units_, 1, GetPrinter()); }

void TrpPrintable::SetUnitLength(int32_t& Field, int Axis, float Value, void (TrpPrintable::*Setter)(int32_t)) {
    const int32_t mm = rpToMMThousandths(units_, Axis, GetPrinter(), Value);
    if (IsReading())
        Field = mm;
    else
        (this->*Setter)(mm);
}

void TrpPrintable::SetLeft(float Value) { SetUnitLength(mmLeft_, 0, Value, &TrpPrintable::SetmmLeft); }
void TrpPrintable::SetTop(float Value) { SetUnitLength(mmTop_, 1, Value, &TrpPrintable::SetmmTop); }
void TrpPrintable::SetWidth(float Value) { SetUnitLength(mmWidth_, 0, Value, &TrpPrintable::SetmmWidth); }
void TrpPrintable::SetHeight(float Value) { SetUnitLength(mmHeight_, 1, Value, &TrpPrintable::SetmmHeight); }

int32_t TrpPrintable::spLeft() const { return rpToScreenPixels(utMMThousandths, 0, nullptr, static_cast<float>(mmLeft_)); }
int32_t TrpPrintable::spTop() const { return rpToScreenPixels(utMMThousandths, 1, nullptr, static_cast<float>(mmTop_)); }
int32_t TrpPrintable::spWidth() const { return rpToScreenPixels(utMMThousandths, 0, nullptr, static_cast<float>(mmWidth_)); }
int32_t TrpPrintable::spHeight() const {
    return rpToScreenPixels(utMMThousandths, 1, nullptr, static_cast<float>(mmHeight_));
}

void TrpPrintable::SetspBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    auto mm = [](int32_t px, int axis) {
        return rpToMMThousandths(utScreenPixels, axis, nullptr, static_cast<float>(px));
    };
    SetBounds(mm(Left, 0), mm(Top, 1), mm(Width, 0), mm(Height, 1));
}

void TrpPrintable::BoundsChange() {
    if (ComponentState().Contains(csDesigning) && !IsReading()) clientRect_ = GetClientRect();
    PropertyChange();
    if (mmHeight_ != previousHeight_ || mmWidth_ != previousWidth_) {
        previousHeight_ = mmHeight_;
        previousWidth_ = mmWidth_;
        Invalidate();
    }
    NotifyBoundsChange();
}

void TrpPrintable::NotifyBoundsChange() { SendEventNotify(this, rpevBoundsChanged, nullptr); }

TRect TrpPrintable::GetClientRect() const { return TRect{0, 0, spWidth(), spHeight()}; }

// ---------------------------------------------------------------------------
// Appearance

TAlignment TrpPrintable::Alignment() const {
    switch (textAlignment_) {
        case taRightJustified: return taRightJustify;
        case taCentered: return taCenter;
        default: return taLeftJustify;
    }
}

void TrpPrintable::SetAlignment(TAlignment Value) {
    if (Value == Alignment() && textAlignment_ != taFullJustified) return;
    if (!IsReading()) BeforePropertyChange("Alignment");
    textAlignment_ = TextAlignmentOf(Value);
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
}

void TrpPrintable::SetTextAlignment(TrpTextAlignment Value) {
    if (Value == textAlignment_) return;
    // Only text that wraps into lines can fill them.
    if (Value == taFullJustified && !IsMemo()) return;
    if (IsReading()) {
        textAlignment_ = Value;
        return;
    }
    BeforePropertyChange("TextAlignment");
    textAlignment_ = Value;
    Invalidate();
    UpdateAutoSize();
    PropertyChange();
}

void TrpPrintable::SetAutoSize(bool Value) {
    if (Value == autoSize_) return;
    if (IsReading()) {
        autoSize_ = Value;
        return;
    }
    BeforePropertyChange("AutoSize");
    autoSize_ = Value;
    UpdateAutoSize();
    PropertyChange();
}

void TrpPrintable::SetBorder(TrpBorder* Value) {
    if (Value != nullptr && Value != border_.get()) border_->Assign(Value);
}

void TrpPrintable::SetColor(TColor Value) {
    if (Value == color_) return;
    if (IsReading() || !HasColor()) {
        color_ = Value;
        return;
    }
    BeforePropertyChange("Color");
    color_ = Value;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::SetFont(TFont* Value) {
    if (Value == nullptr || Value == font_.get()) return;
    if (!IsReading()) BeforePropertyChange("Font");
    font_->Assign(Value);
    if (!IsReading()) PropertyChange();
}

void TrpPrintable::FontChanged() {
    if (IsReading()) return;
    UpdateAutoSize();
    Invalidate();
}

void TrpPrintable::SetForceJustifyLastLine(bool Value) {
    if (Value == forceJustifyLastLine_) return;
    if (!IsReading()) BeforePropertyChange("ForceJustifyLastLine");
    forceJustifyLastLine_ = Value;
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
}

void TrpPrintable::SetTransparent(bool Value) {
    if (Value == transparent_) return;
    if (!IsReading()) BeforePropertyChange("Transparent");
    transparent_ = Value;
    if (IsReading()) return;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::SetWordWrap(bool Value) {
    if (Value == wordWrap_) return;
    if (!IsReading()) BeforePropertyChange("WordWrap");
    wordWrap_ = Value;
    if (IsReading()) return;
    UpdateAutoSize();
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::SetVisible(bool Value) {
    if (Value == visible_) return;
    visible_ = Value;
    if (IsReading()) return;
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::SetReprintOnOverFlow(bool Value) {
    if (Value == reprintOnOverFlow_) return;
    reprintOnOverFlow_ = Value;
    if (IsReading()) return;
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::SetStretchWithParent(bool Value) {
    if (Value == stretchWithParent_) return;
    stretchWithParent_ = Value;
    if (IsReading()) return;
    PropertyChange();
    UpdateBand();
}

void TrpPrintable::GetFillColor(TColor& AColor, bool& ATransparent) const {
    if (HasColor()) {
        AColor = color_;
        ATransparent = transparent_;
    } else {
        AColor = clWhite;
        ATransparent = true;
    }
}

void TrpPrintable::GetLineColor(TColor& AColor, bool& ATransparent) const {
    if (HasFont()) {
        AColor = font_->Color();
        ATransparent = transparent_;
    } else {
        ATransparent = true;
    }
}

void TrpPrintable::SetFillColor(TColor AColor, bool ATransparent) {
    SetTransparent(ATransparent);
    if (!ATransparent) SetColor(AColor);
}

void TrpPrintable::SetLineColor(TColor AColor) {
    if (!HasFont()) return;
    BeforePropertyChange("Font.Color");
    font_->SetColor(AColor);
    PropertyChange();
}

// ---------------------------------------------------------------------------
// Text

void TrpPrintable::SetCaption(const std::string& Value) {
    const bool named = !IsDataAware() && Value != caption_;
    const bool changed = Value != text_;
    if (named && !IsReading()) BeforePropertyChange("Caption");
    caption_ = Value;
    text_ = Value;
    if (IsReading()) return;
    if (autoSize_ && changed) UpdateAutoSize();
    Invalidate();
    if (named) PropertyChange();
}

void TrpPrintable::SetText(const std::string& Value) {
    text_ = Value;
    if (!IsDataAware() && !IsReading()) PropertyChange();
}

// ---------------------------------------------------------------------------
// Data

void TrpPrintable::SetDataPipeline(TrpDataPipeline* Value) {
    if (Value == dataPipeline_) return;
    if (!IsReading()) BeforePropertyChange("DataPipeline");
    if (dataPipeline_ != nullptr) RemoveNotify(dataPipeline_);
    dataPipeline_ = Value;
    if (dataPipeline_ != nullptr) {
        AddNotify(dataPipeline_);
        dataPipelineName_ = dataPipeline_->Name();
    }
    Notify(Value, rpopPipelineChanged);
    if (!IsReading()) SendDesignNotify(rpdnPipelineChanged, this);
    UpdateBand();
    if (!IsReading()) PropertyChange();
}

void TrpPrintable::SetDataField(const std::string& Value) {
    if (!IsDataAware() || Value == dataField_) return;
    if (!IsReading()) BeforePropertyChange("DataField");
    dataField_ = Value;
    if (Value.empty())
        StoreCaption(Name());
    else
        StoreCaption(dataPipeline_ != nullptr ? dataPipeline_->GetFieldDisplayName(Value) : Value);
    UpdateBand();
}

bool TrpPrintable::DataAvailable() const {
    if (!IsDataAware() || dataField_.empty() || dataPipeline_ == nullptr) return false;
    if (IsReading()) return false;
    return dataPipeline_->Active() && dataPipeline_->HasRecord() && dataPipeline_->FieldExists(dataField_);
}

void TrpPrintable::AddDataPipelineToList(std::vector<TrpDataPipeline*>& List) const {
    if (!IsDataAware() || dataPipeline_ == nullptr) return;
    if (std::find(List.begin(), List.end(), dataPipeline_) == List.end()) List.push_back(dataPipeline_);
}

void TrpPrintable::RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName) {
    if (IsDataAware() && Pipeline != nullptr && Pipeline == dataPipeline_ && SameText(dataField_, OldName))
        dataField_ = NewName;
}

void TrpPrintable::ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName) {
    if (IsDataAware() && dataPipeline_ != nullptr && dataPipeline_->UserName() == OldName) SetDataPipeline(NewPipeline);
}

void TrpPrintable::ResolveDataPipelineName(TComponent* Owner) {
    if (!IsDataAware() || dataPipeline_ != nullptr || dataPipelineName_.empty() || Owner == nullptr) return;
    if (auto* p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(dataPipelineName_))) SetDataPipeline(p);
}

void TrpPrintable::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCacheable::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator != nullptr && Communicator == dataPipeline_) {
        dataPipeline_ = nullptr;
        UpdateBand();
    }
}

// ---------------------------------------------------------------------------
// Run

void TrpPrintable::Init() {
    printed_ = false;
    overFlow_ = false;
    if (IsCalculated()) Reset();
}

void TrpPrintable::InitGeneration() {
    generationComplete_ = false;
    spaceUsed_ = 0;
    outOfSpace_ = false;
}

void TrpPrintable::AfterBandPrint() {
    if (overFlow_) drawComponent_ = false;
}

void TrpPrintable::PrepareReprint() {
    if (visible_) drawComponent_ = true;
}

void TrpPrintable::DoOnPrint() {
    if (OnPrint) OnPrint(this);
    SendEventNotify(this, rpevOnPrint, nullptr);
}

// ---------------------------------------------------------------------------
// Designer side

std::string TrpPrintable::GetDefaultPropHint() const {
    if (IsDataAware()) return rpLanguageText(203);
    if (defaultPropName_ == "Caption") return rpLanguageText(154);
    return {};
}

std::string TrpPrintable::GetDescription() const {
    if (IsDataAware() && !dataField_.empty())
        return dataPipeline_ != nullptr ? dataPipeline_->GetFieldDisplayName(dataField_) : dataField_;
    return GetCaption();
}

void TrpPrintable::Invalidate() {
    const TComponentState st = ComponentState();
    if (st.Contains(csDesigning) && !st.Contains(csDestroying)) SendEventNotify(this, rpevInvalidate, nullptr);
}

void TrpPrintable::SetName(const std::string& NewName) {
    TrpCacheable::SetName(NewName);
    Invalidate();
    SendDesignNotify(rpdnNameChanged, this);
}

void TrpPrintable::SetUserName(const std::string& Value) {
    TrpCacheable::SetUserName(Value);
    Invalidate();
    SendDesignNotify(rpdnNameChanged, this);
}

// ---------------------------------------------------------------------------
// Streaming

void TrpPrintable::DefineProperties(TFiler* Filer) {
    TrpCacheable::DefineProperties(Filer);
    Filer->DefineProperty(
        "DataPipelineName", [this](TReader* r) { dataPipelineName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(dataPipelineName_); }, !dataPipelineName_.empty());
    if (StoresDesignPosition()) {
        Filer->DefineProperty(
            "mmHeight", [this](TReader* r) { mmHeight_ = r->ReadInteger(); },
            [this](TWriter* w) { w->WriteInteger(mmHeight_); }, true);
        Filer->DefineProperty(
            "mmLeft", [this](TReader* r) { mmLeft_ = r->ReadInteger(); },
            [this](TWriter* w) { w->WriteInteger(mmLeft_); }, true);
        Filer->DefineProperty(
            "mmTop", [this](TReader* r) { mmTop_ = r->ReadInteger(); },
            [this](TWriter* w) { w->WriteInteger(mmTop_); }, true);
        Filer->DefineProperty(
            "mmWidth", [this](TReader* r) { mmWidth_ = r->ReadInteger(); },
            [this](TWriter* w) { w->WriteInteger(mmWidth_); }, true);
    }
    // Older stored forms: what can be kept becomes today's value, the rest is dropped.
    Filer->DefineProperty("DataSource", [this](TReader* r) { dataPipelineName_ = r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty("OnFormatText", [](TReader* r) { r->ReadIdent(); }, nullptr, false);
    // The region holding the object, by name, in streams that kept the
    // region's components beside it in the band; found again once loaded.
    // Written streams nest them in the region instead.
    Filer->DefineProperty("Region", [this](TReader* r) { SetStoredRegionName(r->ReadIdent()); }, nullptr, false);
    Filer->DefineProperty("ReportField", [this](TReader* r) { dataField_ = r->ReadString(); }, nullptr, false);
    Filer->DefineProperty("ParentDataSource", [](TReader* r) { r->ReadBoolean(); }, nullptr, false);
    if (GetPropInfo(ClassType(), "Alignment") == nullptr)
        Filer->DefineProperty(
            "Alignment",
            [this](TReader* r) {
                const std::string ident = r->ReadIdent();
                if (SameText(ident, "taCenter"))
                    textAlignment_ = taCentered;
                else if (SameText(ident, "taRightJustify"))
                    textAlignment_ = taRightJustified;
                else if (SameText(ident, "taLeftJustify"))
                    textAlignment_ = taLeftJustified;
            },
            nullptr, false);
}

void TrpPrintable::Loaded() {
    TrpCacheable::Loaded();
    previousWidth_ = mmWidth_;
    previousHeight_ = mmHeight_;
}

// ---------------------------------------------------------------------------
// Draw commands

bool TrpPrintable::HasListenerFor(int Event) const { return EventListenersHear(Event); }

void TrpPrintable::SetDrawCommandClass(TClass Value) {
    drawCommandClass_ = Value;
    drawCommandMaker_ = report::BuiltInDrawCommandMaker(Value);
}

namespace {

// The printables whose commands were made, by a number never given twice.
// A command's click handler holds only the number: copying the handler
// costs nothing, and a command on a cached page that outlived its printable
// finds nobody under it.
struct ClickTargets {
    std::mutex lock;
    std::unordered_map<std::uint64_t, TrpPrintable*> byId;
    std::uint64_t next = 1;
};

ClickTargets& Targets() {
    // Never freed: printables freed by other objects' destructors at exit
    // still take their entries out.
    static ClickTargets& targets = *new ClickTargets;
    return targets;
}

TrpPrintable* FindClickTarget(std::uint64_t Id) {
    ClickTargets& t = Targets();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.byId.find(Id);
    return it == t.byId.end() ? nullptr : it->second;
}

}  // namespace

std::uint64_t TrpPrintable::ClickTargetId() {
    if (clickId_ == 0) {
        ClickTargets& t = Targets();
        std::lock_guard<std::mutex> guard(t.lock);
        clickId_ = t.next++;
        t.byId.emplace(clickId_, this);
    }
    return clickId_;
}

void TrpPrintable::ForgetClickTarget(std::uint64_t Id) {
    if (Id == 0) return;
    ClickTargets& t = Targets();
    std::lock_guard<std::mutex> guard(t.lock);
    t.byId.erase(Id);
}

TrpDrawCommand* TrpPrintable::CreateDrawCommand(TrpPage* Page) {
    if (drawCommandClass_ == nullptr || drawCommandClass_->Create == nullptr || Page == nullptr) return nullptr;
    TrpDrawCommand* command = nullptr;
    if (drawCommandMaker_ != nullptr) {
        command = drawCommandMaker_();
    } else {
        TObject* made = drawCommandClass_->Create(nullptr);
        command = dynamic_cast<TrpDrawCommand*>(made);
        if (command == nullptr) {
            delete made;
            return nullptr;
        }
    }
    try {
        PropertiesToDrawCommand(command);
        command->SetClickable(static_cast<bool>(OnDrawCommandClick) || HasListenerFor(rpevDrawCommandClick));
        command->ReportComponent = this;
        // A page may outlive the object that drew it (cached pages), and the
        // command clicked may be a copy of this one on such a page: the
        // click names the command it came from, never this one, which may
        // be gone.
        // Only a clickable command is ever clicked: the others go without
        // a handler, unless the creation handler makes them clickable.
        auto answerClicks = [this, command] {
            if (!command->Clickable() || command->OnClick) return;
            command->OnClick = [id = ClickTargetId()](TObject* Sender) {
                if (TrpPrintable* self = FindClickTarget(id))
                    self->DrawCommandClick(dynamic_cast<TrpDrawCommand*>(Sender));
            };
        };
        answerClicks();
        if (OnDrawCommandCreate) {
            OnDrawCommandCreate(this, command);
            answerClicks();
        }
        Page->AddDrawCommand(command);
    } catch (...) {
        if (command->Page() == nullptr) delete command;
        throw;
    }
    // A thousand commands a page: the parameters are built only for a listener.
    if (HasListenerFor(rpevDrawCommandCreate)) {
        TrsParamList params;
        params.AddParam("aDrawCommand", rsClass, false, false, "", TrpDrawCommand::StaticClassType());
        TObject* asObject = command;
        params.BindParam(0, &asObject);
        SendEventNotify(this, rpevDrawCommandCreate, &params);
    }
    return command;
}

void TrpPrintable::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    DrawCommand->SetTag(Tag());
    DrawCommand->SetBorder(border_.get());
}

void TrpPrintable::DrawCommandClick(TrpDrawCommand* DrawCommand) {
    if (DrawCommand == nullptr) return;
    if (OnDrawCommandClick) OnDrawCommandClick(this, DrawCommand);
    TrsParamList params;
    params.AddParam("aDrawCommand", rsClass, false, false, "", TrpDrawCommand::StaticClassType());
    TObject* asObject = DrawCommand;
    params.BindParam(0, &asObject);
    SendEventNotify(this, rpevDrawCommandClick, &params);
}

void TrpPrintable::DrawIfVisible(TrpPage* Page) {
    if (drawComponent_ && visible_) CreateDrawCommand(Page);
}

// ---------------------------------------------------------------------------
// Cache

void TrpPrintable::ResetCache(int /*Page*/) {
    printed_ = false;
    overFlow_ = false;
}

// Whether it printed, whether it overflowed and whether its drawing is
// pending: what a continued band needs to leave out or carry on.
void TrpPrintable::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    record.PutBool(0, printed_);
    record.PutBool(1, overFlow_);
    record.PutBool(2, drawComponent_);
    WriteCacheRecord(Page, record.Data());
}

void TrpPrintable::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    printed_ = record.GetBool(0);
    overFlow_ = record.GetBool(1);
    drawComponent_ = record.GetBool(2);
}
