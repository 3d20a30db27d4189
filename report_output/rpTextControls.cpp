#include "report_output/rpTextControls.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Filer.h"
#include "report/rpBand.h"
#include "report/rpDrawCommand.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpMemo.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report/rpRotatedText.h"
#include "report/rpTextLayout.h"
#include "report_output/rpTextLook.h"
#include "report_output/rpGraphics.h"

namespace {

int32_t PixelsToMM(int Pixels, int PixelsPerInch) {
    if (PixelsPerInch <= 0) return 0;
    return static_cast<int32_t>(std::lround(static_cast<double>(Pixels) * 25400.0 / PixelsPerInch));
}

}  // namespace

TSize rpMeasureText(const std::string& Text, const TFont* Font, bool Wrap, int32_t Width, bool CharWrap) {
    // Hard line breaks count as lines of their own, as the measuring call does.
    std::vector<std::string> lines;
    // One line as it stands, the usual case, measures without a copy.
    const bool plain = !Wrap && Text.find_first_of("\r\n") == std::string::npos;
    if (Wrap) {
        TStringList wrapped;
        int32_t start = 0;
        TrpPlainText::WrapText(Text, TRect{0, 0, std::max(Width, 1), 1 << 30}, &wrapped, start, nullptr, nullptr, 0,
                               CharWrap, Font, false, taLeftJustified);
        for (int i = 0; i < wrapped.Count(); ++i) lines.push_back(wrapped.Strings(i));
    } else if (!plain) {
        std::string current;
        for (char c : Text) {
            if (c == '\r') continue;
            if (c == '\n') {
                lines.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        lines.push_back(current);
    }
    // Taken after wrapping, which may measure on it. Without a font of its
    // own the text measures in a fresh canvas's font.
    std::unique_ptr<TCanvas> fresh;
    if (Font == nullptr) fresh = rpNewMeasuringCanvas();
    TCanvas* canvas = fresh ? fresh.get() : &rpSharedMeasuringCanvas();
    if (Font != nullptr) canvas->Font()->Assign(const_cast<TFont*>(Font));
    const int ppiX = canvas->PixelsPerInchX();
    const int ppiY = canvas->PixelsPerInchY();
    const int lineHeight = canvas->TextHeight("Wg");
    int widest = 0;
    if (plain) widest = std::max(widest, canvas->TextWidth(Text));
    for (const std::string& line : lines) widest = std::max(widest, canvas->TextWidth(line));
    const int count = plain ? 1 : std::max<int>(static_cast<int>(lines.size()), 1);
    TSize size;
    size.cx = Wrap ? std::min(PixelsToMM(widest, ppiX), std::max(Width, 0)) : PixelsToMM(widest, ppiX);
    size.cy = PixelsToMM(lineHeight * count, ppiY);
    return size;
}

int32_t rpMeasureTextWidth(const std::string& Text, const TFont* Font) {
    if (Font == nullptr || Text.find_first_of("\r\n") != std::string::npos)
        return rpMeasureText(Text, Font, false, 0, false).cx;
    TCanvas& canvas = rpSharedMeasuringCanvas();
    canvas.Font()->Assign(const_cast<TFont*>(Font));
    return PixelsToMM(std::max(0, canvas.TextWidth(Text)), canvas.PixelsPerInchX());
}

int32_t TrpTextWidthMeter::Width(const std::string& Text) {
    TCanvas& canvas = rpSharedMeasuringCanvas();
    if (!filled_ || generation_ != rpMeasuringGeneration() || pixelsPerInch_ != canvas.PixelsPerInchX()) {
        std::fill(std::begin(advances_), std::end(advances_), -1.0);
        generation_ = rpMeasuringGeneration();
        pixelsPerInch_ = canvas.PixelsPerInchX();
        filled_ = true;
    }
    // One character measured alone is its advance exactly; the sum below
    // adds them in the order the canvas does. Each is measured when first
    // met: a face's glyphs load one by one.
    auto advance = [&](unsigned Char) {
        double& a = advances_[Char];
        if (a < 0) {
            canvas.Font()->Assign(&font_);
            a = canvas.TextWidthF(utf8::Encode(static_cast<char32_t>(Char)));
        }
        return a;
    };
    // Characters up to U+00FF, in one byte or two; anything else (a line
    // break, another character, a malformed byte) is measured as usual.
    double x = 0;
    const std::size_t n = Text.size();
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(Text[i]);
        if (b < 0x80 && b != '\r' && b != '\n') {
            x += advance(b);
            ++i;
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < n && (static_cast<unsigned char>(Text[i + 1]) & 0xC0) == 0x80) {
            x += advance(((b & 0x1F) << 6) | (static_cast<unsigned char>(Text[i + 1]) & 0x3F));
            i += 2;
        } else {
            return rpMeasureTextWidth(Text, &font_);
        }
    }
    return PixelsToMM(std::max(0, static_cast<int>(std::lround(x))), pixelsPerInch_);
}

// ---------------------------------------------------------------------------
// TrpCustomComponent

TClass TrpCustomComponent::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomComponent>("TrpCustomComponent", TrpComponent::StaticClassType()).Build();
    return &info;
}

TrpCustomComponent::TrpCustomComponent(TComponent* AOwner) : TrpComponent(AOwner) {}

// The printable's record already carries DrawComponent with the flags the
// band loop needs; the control adds nothing of its own.
TrpCustomEngine* TrpCustomComponent::ReportEngine() const {
    return Band() != nullptr && Band()->Report() != nullptr ? Band()->Report()->Engine() : nullptr;
}

void TrpCustomComponent::SaveToCache(int Page) { TrpComponent::SaveToCache(Page); }
void TrpCustomComponent::RestoreFromCache(int Page) { TrpComponent::RestoreFromCache(Page); }

void TrpCustomComponent::DefineProperties(TFiler* Filer) {
    TrpComponent::DefineProperties(Filer);
    // Older reports named the anchoring after the band; read, never written.
    Filer->DefineProperty(
        "ShiftWithBand", [this](TReader* Reader) { SetShiftWithParent(Reader->ReadBoolean()); }, nullptr, false);
    Filer->DefineProperty(
        "StretchWithBand", [this](TReader* Reader) { SetStretchWithParent(Reader->ReadBoolean()); }, nullptr,
        false);
}

// ---------------------------------------------------------------------------
// TrpCustomText

TClass TrpCustomText::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomText>("TrpCustomText", TrpCustomComponent::StaticClassType())
            .Integer("Angle", &TrpCustomText::Angle, &TrpCustomText::SetAngle, 0)
            .Boolean("CharWrap", &TrpCustomText::CharWrap, &TrpCustomText::SetCharWrap, 0)
            .Boolean("Save", &TrpCustomText::Save, &TrpCustomText::SetSave, 0)
            .Integer("SaveLength", &TrpCustomText::SaveLength, &TrpCustomText::SetSaveLength, 0)
            .Integer("SaveOrder", &TrpCustomText::SaveOrder, &TrpCustomText::SetSaveOrder, -1)
            .Boolean("ReprintOnOverFlow", &TrpCustomText::ReprintOnOverFlow, &TrpCustomText::SetReprintOnOverFlow, 0)
            .Event("OnGetText", &TrpCustomText::OnGetText, rpEventTypeInfo("TrpGetTextEvent"))
            .Build();
    return &info;
}

TrpCustomText::TrpCustomText(TComponent* AOwner) : TrpCustomComponent(AOwner) {
    SetDefaultAutoSize(true);
    SetColor(clWhite);
    SetDrawCommandClass(TrpDrawText::StaticClassType());
}

TrpCustomText::~TrpCustomText() {
    // A group that broke on this control has nothing left to break on.
    for (auto it = groups_.rbegin(); it != groups_.rend(); ++it) (*it)->SetBreakName({});
    groups_.clear();
}

bool TrpCustomText::PrintingNow() const { return GetPrinting(); }

void TrpCustomText::SetAngle(int Value) {
    if (Value == angle_) return;
    BeforePropertyChange("Angle");
    if (Value >= -359 && Value <= -1)
        angle_ = Value + 360;
    else if (Value >= 0 && Value <= 359)
        angle_ = Value;
    if (Value != 0) SetWordWrap(false);
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomText::SetCharWrap(bool Value) {
    if (PrintingNow() || Value == charWrap_) return;
    BeforePropertyChange("CharWrap");
    charWrap_ = Value;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpCustomText::SetDisplayFormat(const std::string& Value) {
    if (Value == displayFormat_) return;
    BeforePropertyChange("DisplayFormat");
    displayFormat_ = Value;
    PropertyChange();
}

void TrpCustomText::SetSave(bool Value) {
    if (Value == save_) return;
    save_ = Value;
    if (!IsReading() && Band() != nullptr) {
        if (Value)
            Band()->AddSave(this);
        else
            Band()->RemoveSave(this);
    }
    if (Designing()) PropertyChange();
    UpdateBand();
}

void TrpCustomText::SetSaveLength(int Value) {
    saveLength_ = Value;
    UpdateBand();
}

int TrpCustomText::SaveOrder() const {
    if (IsReading()) return storedSaveOrder_;
    return Band() == nullptr ? -1 : Band()->IndexOfSave(this);
}

void TrpCustomText::SetSaveOrder(int Value) {
    if (IsReading()) {
        storedSaveOrder_ = Value;
        return;
    }
    UpdateSaveOrder(Value);
    UpdateBand();
}

void TrpCustomText::Loaded() {
    TrpCustomComponent::Loaded();
    JoinSavesAfterLoad();
}

void TrpCustomText::JoinSavesAfterLoad() {
    if (!save_ || Band() == nullptr || Band()->IndexOfSave(this) >= 0) return;
    // Before the first control already placed whose stored place is later:
    // the controls of a stream are read in any order.
    int at = Band()->SaveCount();
    for (int i = 0; i < Band()->SaveCount(); ++i) {
        auto* other = dynamic_cast<TrpCustomText*>(Band()->Saves(i));
        if (other != nullptr && storedSaveOrder_ >= 0 && other->storedSaveOrder_ > storedSaveOrder_) {
            at = i;
            break;
        }
    }
    Band()->InsertSave(at, this);
}

void TrpCustomText::UpdateSaveOrder(int Position) {
    if (!save_ || Band() == nullptr) return;
    int target = std::max(Position, 0);
    const int count = Band()->SaveCount();
    if (count > 0 && count <= target) target = count - 1;
    const int current = Band()->IndexOfSave(this);
    if (current == target) return;
    if (current >= 0) Band()->RemoveSave(this);
    Band()->InsertSave(std::min(target, Band()->SaveCount()), this);
}

void TrpCustomText::GetPrintText(std::string& Text) const { Text = TrpComponent::GetText(); }

std::string TrpCustomText::GetText() const {
    std::string text;
    GetPrintText(text);
    if (IsReading() || ComponentState().Contains(csLoading)) return text;
    if (Designing() && !PrintingNow()) return text;
    if (OnGetText) OnGetText(const_cast<TrpCustomText*>(this), text);
    // Asked once per command made: the parameters only for a listener.
    if (HasListenerFor(rpevGetText)) {
        TrsParamList params;
        params.AddParam("Text", rsString, true, false);
        params.BindParam(0, &text);
        const_cast<TrpCustomText*>(this)->SendEventNotify(const_cast<TrpCustomText*>(this), rpevGetText, &params);
    }
    return text;
}

void TrpCustomText::SetCaption(const std::string& Value) {
    TrpCustomComponent::SetCaption(Value);
    if (!IsReading() && !AutoSize() && angle_ != 0) UpdateAutoSize();
}

void TrpCustomText::SetWordWrap(bool Value) {
    // Turned text is laid out on one line.
    if (angle_ != 0) Value = false;
    TrpCustomComponent::SetWordWrap(Value);
}

void TrpCustomText::SetTextAlignment(TrpTextAlignment Value) {
    if (Value == taFullJustified) return;
    TrpCustomComponent::SetTextAlignment(Value);
}

void TrpCustomText::SetAutoSize(bool Value) { TrpCustomComponent::SetAutoSize(Value); }

void TrpCustomText::FontChanged() { TrpCustomComponent::FontChanged(); }

void TrpCustomText::UpdateAutoSize() {
    if (IsReading()) return;
    const std::string text = GetCaption();
    if (angle_ != 0) {
        if (text.empty()) {
            SetBounds(mmLeft(), mmTop(), 5000, 5000);
            Invalidate();
            return;
        }
        std::unique_ptr<TCanvas> canvas = rpNewMeasuringCanvas();
        const TRect area{mmLeft(), mmTop(), mmLeft() + mmWidth(), mmTop() + mmHeight()};
        const TrpRotatedPlacement p = TrpRotatedText::CalcTextRect(canvas.get(), text, Font(), area, Border(),
                                                                   TextAlignment(), AutoSize(), angle_);
        // A fixed box comes back as its own size; an auto-sized one placed.
        if (AutoSize())
            SetBounds(p.Rect.Left, p.Rect.Top, p.Rect.Width(), p.Rect.Height());
        else
            SetBounds(p.Rect.Left, p.Rect.Top, p.Rect.Right, p.Rect.Bottom);
        // Unchanged bounds call no BoundsChange, yet the text may be new.
        UpdateRotatedOrigin();
        Invalidate();
        return;
    }
    if (PrintingNow()) return;
    if (!AutoSize() && WordWrap()) return;
    const TSize m = rpMeasureText(text, Font(), WordWrap(), mmWidth(), charWrap_);
    int32_t left = mmLeft();
    int32_t width = m.cx;
    int32_t height = m.cy;
    if (!AutoSize()) {
        width = mmWidth();
        height = mmHeight();
    }
    if (Border()->Visible()) {
        const int32_t w = Border()->mmWeight();
        const TrpBorderPositions sides = Border()->BorderPositions();
        const int vertical = (sides.Contains(bpTop) ? 1 : 0) + (sides.Contains(bpBottom) ? 1 : 0);
        height += vertical * w;
        if (AutoSize()) {
            const int horizontal = (sides.Contains(bpLeft) ? 1 : 0) + (sides.Contains(bpRight) ? 1 : 0);
            width += horizontal * w;
        }
    }
    if (AutoSize()) {
        const int32_t slack = mmWidth() - width;
        switch (Alignment()) {
            case taRightJustify:
                // The right edge stays unless the border's sides changed
                // since the last measure.
                if (Border()->PreviousPositions() == Border()->BorderPositions()) left = mmLeft() + slack;
                break;
            case taCenter: left = mmLeft() + slack / 2; break;
            default: break;
        }
    }
    SetBounds(left, mmTop(), width, height);
}

void TrpCustomText::SetName(const std::string& NewName) {
    const std::string old = Name();
    TrpCustomComponent::SetName(NewName);
    if (IsReading() || ComponentState().Contains(csLoading)) return;
    for (TrpGroup* g : groups_) g->RenameBreakComponent(old, NewName);
}

void TrpCustomText::BoundsChange() {
    TrpCustomComponent::BoundsChange();
    UpdateRotatedOrigin();
}

void TrpCustomText::UpdateRotatedOrigin() {
    if (angle_ == 0 || IsReading()) return;
    const std::string text = GetCaption();
    if (text.empty()) return;
    // Taken within the control's own box, so that a move keeps it.
    std::unique_ptr<TCanvas> canvas = rpNewMeasuringCanvas();
    const TRect area{0, 0, mmWidth(), mmHeight()};
    const TrpRotatedPlacement p = TrpRotatedText::CalcTextBounds(canvas.get(), text, Font(), area, Border(),
                                                                 TextAlignment(), AutoSize(), angle_);
    rotatedOriginLeft_ = p.Origin.X;
    rotatedOriginTop_ = p.Origin.Y;
}

std::string TrpCustomText::GetDescription() const { return UserName() + ": " + GetCaption(); }

void TrpCustomText::AddGroup(TrpGroup* Group) {
    if (std::find(groups_.begin(), groups_.end(), Group) == groups_.end()) groups_.push_back(Group);
}

void TrpCustomText::RemoveGroup(TrpGroup* Group) {
    groups_.erase(std::remove(groups_.begin(), groups_.end(), Group), groups_.end());
}

void TrpCustomText::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomComponent::PropertiesToDrawCommand(DrawCommand);
    auto* text = DrawCommand != nullptr ? DrawCommand->AsDrawText() : nullptr;
    if (text == nullptr) return;
    const TRect r = PrintRect();
    text->SetAlignment(Alignment());
    text->SetAngle(angle_);
    text->SetAutoSize(AutoSize());
    text->SetColor(Color());
    text->SetForceJustifyLastLine(ForceJustifyLastLine());
    text->SetLeft(r.Left);
    text->SetTop(r.Top);
    text->SetHeight(r.Bottom - r.Top);
    text->SetWidth(r.Right - r.Left);
    text->RotatedOriginLeft = rotatedOriginLeft_;
    text->RotatedOriginTop = rotatedOriginTop_;
    text->SetText(GetText());
    text->SetTextAlignment(TextAlignment());
    text->SetTransparent(Transparent());
    text->SetWordWrap(WordWrap());
    text->SetFont(Font());
    if (WordWrap()) {
        TStringList lines;
        int32_t start = 0;
        TrpPlainText::WrapText(text->Text(), r, &lines, start, GetPrinter(), nullptr, 0, charWrap_, Font(),
                               ForceJustifyLastLine(), TextAlignment());
        text->SetWrappedText(&lines);
    }
    text->SetBandSave(Band() != nullptr && Band()->Save());
    if (TrpCustomEngine* custom = ReportEngine())
        if (TrpEngine* engine = custom->AsGenerationEngine()) text->SetBandSaveNo(engine->ReportBandCount());
    text->SetComponentSave(save_);
    text->SetComponentSaveNo(SaveOrder());
    text->SetSaveLength(saveLength_);
}

// ---------------------------------------------------------------------------
// TrpLabel

TClass TrpLabel::StaticClassType() {
    static const TClassInfo info = [] {
        TClassBuilder<TrpLabel> builder("TrpLabel", TrpCustomText::StaticClassType());
        rpPublishLengths(rpPublishTextLook(builder, true)).String("Caption", &TrpLabel::Caption, &TrpLabel::SetCaption);
        return builder.Build();
    }();
    return &info;
}

TrpLabel::TrpLabel(TComponent* AOwner) : TrpCustomText(AOwner) { SetDefaultPropName("Caption"); }

void TrpLabel::SetUserName(const std::string& Value) {
    const std::string old = UserName();
    TrpCustomText::SetUserName(Value);
    if (IsReading() || UserName() == old) return;
    if (ComponentState().Contains(csLoading) && (State() & rpstRenameWhileLoading) == 0) return;
    if (GetCaption() == old) SetCaption(UserName());
}

namespace report_output {

void RegisterTextClasses() {
    RegisterClass(TrpCustomComponent::StaticClassType());
    RegisterClass(TrpCustomText::StaticClassType());
    RegisterClass(TrpLabel::StaticClassType());
}

void UnregisterTextClasses() {
    UnRegisterClass(TrpLabel::StaticClassType());
    UnRegisterClass(TrpCustomText::StaticClassType());
    UnRegisterClass(TrpCustomComponent::StaticClassType());
}

}  // namespace report_output
