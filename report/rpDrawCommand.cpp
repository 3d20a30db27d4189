#include "report/rpDrawCommand.h"

#include <cstdio>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Variant.h"
#include "report/rpRTTI.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

// Event of a look-ahead value.
constexpr int kLookAheadEvent = 67;

// A list never made is empty.
bool SameStrings(const TStrings* A, const TStrings* B) {
    const bool emptyA = A == nullptr || A->Count() == 0;
    const bool emptyB = B == nullptr || B->Count() == 0;
    if (emptyA || emptyB) return emptyA == emptyB;
    return A->Text() == B->Text();
}

}  // namespace

// ---------------------------------------------------------------------------
// TrpDrawText

TClass TrpDrawText::StaticClassType() {
    using D = TrpDrawText;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawText", TrpDrawCommand::StaticClassType())
            .Integer("Angle", &D::Angle, &D::SetAngle, 0)
            .Boolean("AutoSize", &D::AutoSize, &D::SetAutoSize, 0)
            .Ordinal("Color", TypeInfoColor(), &D::Color, &D::SetColor, clWhite)
            .Object("Font", TFont::StaticClassType(), &D::Font, &D::SetFont)
            .Boolean("ForceJustifyLastLine", &D::ForceJustifyLastLine, &D::SetForceJustifyLastLine, 0)
            .Boolean("IsMemo", &D::IsMemo, &D::SetIsMemo, 0)
            .Integer("Leading", &D::Leading, &D::SetLeading, 0)
            .Object("TabStopPositions", TStrings::StaticClassType(), &D::TabStopPositions, &D::SetTabStopPositions)
            .String("Text", &D::Text, static_cast<void (D::*)(const std::string&)>(&D::SetText))
            .Enum("TextAlignment", rpTypeInfo<TrpTextAlignment>(), &D::TextAlignment, &D::SetTextAlignment,
                  taLeftJustified)
            .Boolean("Transparent", &D::Transparent, &D::SetTransparent, 0)
            .Boolean("WordWrap", &D::WordWrap, &D::SetWordWrap, 0)
            .Object("WrappedText", TStrings::StaticClassType(), &D::WrappedText, &D::SetWrappedText)
            .Boolean("BandSave", &D::BandSave, &D::SetBandSave, 0)
            .Integer("BandSaveNo", &D::BandSaveNo, &D::SetBandSaveNo, 0)
            .Boolean("ComponentSave", &D::ComponentSave, &D::SetComponentSave, 0)
            .Integer("ComponentSaveNo", &D::ComponentSaveNo, &D::SetComponentSaveNo, 0)
            .Integer("SaveLength", &D::SaveLength, &D::SetSaveLength, 0)
            .Build();
    return &info;
}

TrpDrawText::TrpDrawText(TComponent* AOwner) : TrpDrawCommand(AOwner) {}

TrpDrawText::~TrpDrawText() = default;

TStringList* TrpDrawText::List(std::unique_ptr<TStringList>& Made) {
    if (!Made) Made = std::make_unique<TStringList>();
    return Made.get();
}

// An empty list given to a command that has none leaves it without one: it
// reads as empty all the same.
void TrpDrawText::AssignList(std::unique_ptr<TStringList>& Made, TStrings* Value) {
    if (Value == nullptr || Value->Count() == 0) {
        if (Made) Made->Clear();
    } else if (Value != Made.get()) {
        List(Made)->Assign(*Value);
    }
}

void TrpDrawText::SetFont(TFont* Value) {
    if (Value != nullptr) font_.AssignValue(*Value);
}

void TrpDrawText::SetTabStopPositions(TStrings* Value) { AssignList(tabStopPositions_, Value); }

void TrpDrawText::SetWrappedText(TStrings* Value) { AssignList(wrappedText_, Value); }

void TrpDrawText::SetTextAlignment(TrpTextAlignment Value) {
    textAlignment_ = Value;
    switch (Value) {
        case taRightJustified: alignment_ = taRightJustify; break;
        case taCentered: alignment_ = taCenter; break;
        default: alignment_ = taLeftJustify; break;
    }
}

void TrpDrawText::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    switch (Value) {
        case taRightJustify: textAlignment_ = taRightJustified; break;
        case taCenter: textAlignment_ = taCentered; break;
        default: textAlignment_ = taLeftJustified; break;
    }
}

void TrpDrawText::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* other = dynamic_cast<TrpDrawText*>(Source);
    if (other == nullptr || other == this) return;
    angle_ = other->angle_;
    autoSize_ = other->autoSize_;
    color_ = other->color_;
    font_.Assign(&other->font_);
    forceJustifyLastLine_ = other->forceJustifyLastLine_;
    isMemo_ = other->isMemo_;
    leading_ = other->leading_;
    AssignList(tabStopPositions_, other->tabStopPositions_.get());
    text_ = other->text_;
    textAlignment_ = other->textAlignment_;
    alignment_ = other->alignment_;
    transparent_ = other->transparent_;
    wordWrap_ = other->wordWrap_;
    AssignList(wrappedText_, other->wrappedText_.get());
    bandSave_ = other->bandSave_;
    bandSaveNo_ = other->bandSaveNo_;
    componentSave_ = other->componentSave_;
    componentSaveNo_ = other->componentSaveNo_;
    saveLength_ = other->saveLength_;
    RotatedOriginLeft = other->RotatedOriginLeft;
    RotatedOriginTop = other->RotatedOriginTop;
}

bool TrpDrawText::IsEqual(TrpDrawCommand* Other) {
    auto* o = dynamic_cast<TrpDrawText*>(Other);
    if (o == nullptr || !TrpDrawCommand::IsEqual(Other)) return false;
    return alignment_ == o->alignment_ && textAlignment_ == o->textAlignment_ &&
           forceJustifyLastLine_ == o->forceJustifyLastLine_ && autoSize_ == o->autoSize_ && color_ == o->color_ &&
           font_.Name() == o->font_.Name() && font_.Size() == o->font_.Size() &&
           font_.Style() == o->font_.Style() && isMemo_ == o->isMemo_ && leading_ == o->leading_ &&
           saveLength_ == o->saveLength_ && text_ == o->text_ && transparent_ == o->transparent_ &&
           SameStrings(tabStopPositions_.get(), o->tabStopPositions_.get()) && wordWrap_ == o->wordWrap_ &&
           SameStrings(wrappedText_.get(), o->wrappedText_.get());
}

std::string TrpDrawText::GetSaveKey() const {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%8d%8d", bandSaveNo_, componentSaveNo_);
    return buf;
}

void TrpDrawText::DefineProperties(TFiler* Filer) {
    TrpDrawCommand::DefineProperties(Filer);
    const bool turned = angle_ != 0;
    Filer->DefineProperty(
        "RotatedOriginLeft", [this](TReader* Reader) { RotatedOriginLeft = Reader->ReadInteger(); },
        [this](TWriter* Writer) { Writer->WriteInteger(RotatedOriginLeft); }, turned);
    Filer->DefineProperty(
        "RotatedOriginTop", [this](TReader* Reader) { RotatedOriginTop = Reader->ReadInteger(); },
        [this](TWriter* Writer) { Writer->WriteInteger(RotatedOriginTop); }, turned);
    // Older archives stored the platform's alignment; it is read, never written.
    Filer->DefineProperty(
        "Alignment",
        [this](TReader* Reader) {
            const std::string ident = Reader->ReadIdent();
            if (ident == "taLeftJustify")
                SetAlignment(taLeftJustify);
            else if (ident == "taCenter")
                SetAlignment(taCenter);
            else if (ident == "taRightJustify")
                SetAlignment(taRightJustify);
        },
        nullptr, false);
}

// ---------------------------------------------------------------------------
// TrpDrawVariable

TClass TrpDrawVariable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDrawVariable>("TrpDrawVariable", TrpDrawText::StaticClassType()).Build();
    return &info;
}

TrpDrawVariable::TrpDrawVariable(TComponent* AOwner) : TrpDrawText(AOwner) {}

TrpDrawVariable::~TrpDrawVariable() = default;

void TrpDrawVariable::SetDeferred(bool Value) {
    deferred_ = Value;
    if (Value) {
        if (!listener_) {
            listener_ = std::make_unique<TrpCommunicator>(nullptr);
            listener_->EventSet().reset();
            listener_->EventSet().set(kLookAheadEvent);
            listener_->OnEventNotify = [this](TObject* Sender, TObject* EventSender, int EventNumber,
                                              TrsParamList* Params) {
                LookAheadValueChanged(Sender, EventSender, EventNumber, Params);
            };
        }
    } else {
        listener_.reset();
    }
    if (Page() != nullptr) Page()->RefileDrawCommand(this);
}

void TrpDrawVariable::Assign(TPersistent* Source) {
    TrpDrawText::Assign(Source);
    auto* other = dynamic_cast<TrpDrawVariable*>(Source);
    if (other == nullptr || other == this) return;
    lookAheadKey_ = other->lookAheadKey_;
    SetDeferred(other->deferred_);
    if (deferred_ && other->listener_) {
        for (int i = 0; i < other->listener_->NotifyCount(); ++i)
            other->listener_->Notifies(i)->AddEventNotify(listener_.get());
    }
}

bool TrpDrawVariable::Recalculate() {
    if (!deferred_ || !listener_) return false;
    return listener_->EventSet().any();
}

void TrpDrawVariable::LookAheadValueChanged(TObject*, TObject*, int EventNumber, TrsParamList* Params) {
    if (EventNumber != kLookAheadEvent || Params == nullptr || !listener_) return;
    auto param = [Params](const char* Name) {
        TrsValue v;
        const int i = Params->IndexOf(Name);
        if (i >= 0) Params->GetParamValue(i, v);
        return v;
    };
    const TrsValue key = rsValueAs(rsString, param("aLookAheadKey"));
    const std::string* k = std::get_if<std::string>(&key);
    if (k == nullptr || *k != lookAheadKey_) {
        // A value under another key: this command will hear nothing more.
        listener_->EventSet().reset();
        return;
    }
    const TrsValue count = rsValueAs(rsInteger, param("aTraversalCount"));
    const TrsValue text = rsValueAs(rsString, param("aText"));
    const int32_t* c = std::get_if<int32_t>(&count);
    const std::string* t = std::get_if<std::string>(&text);
    if (c == nullptr || t == nullptr) return;
    if (*c > traversalCount_) {
        SetText(*t);
        traversalCount_ = *c;
    }
}

// ---------------------------------------------------------------------------
// TrpDrawVar

TClass TrpDrawVar::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDrawVar>("TrpDrawVar", TrpDrawText::StaticClassType())
            .Enum("VarType", rpTypeInfo<TrpVarType>(), &TrpDrawVar::VarType, &TrpDrawVar::SetVarType, vtDate)
            .Build();
    return &info;
}

namespace {

bool IsPageKind(TrpVarType T) {
    return T == vtPageCount || T == vtPageSet || T == vtPageSetDesc || T == vtPageNo || T == vtPageNoDesc;
}

bool IsDateKind(TrpVarType T) { return T == vtDate || T == vtDateTime || T == vtPrintDateTime || T == vtTime; }

}  // namespace

void TrpDrawVar::Assign(TPersistent* Source) {
    TrpDrawText::Assign(Source);
    if (auto* other = dynamic_cast<TrpDrawVar*>(Source)) varType_ = other->varType_;
}

bool TrpDrawVar::IsDeferred() { return IsPageKind(varType_); }

void TrpDrawVar::SetVarType(TrpVarType Value) {
    varType_ = Value;
    if (Page() != nullptr) Page()->RefileDrawCommand(this);
}

bool TrpDrawVar::Recalculate() {
    TrpPage* page = Page();
    if (page == nullptr || !IsPageKind(varType_)) return false;
    if (ReportComponent != nullptr && (varType_ == vtPageCount || varType_ == vtPageNo)) {
        const int n = varType_ == vtPageCount ? page->PageCount() : page->PageNo();
        const std::string format =
            rpHasProperty(ReportComponent, "DisplayFormat") ? rpGetStrPropValue(ReportComponent, "DisplayFormat") : "";
        SetText(rpFormatValue(format, dtInteger, Variant(n)));
        return true;
    }
    SetText(rpSystemVariableText(varType_, page->PageNo(), page->PageCount(), page->PrintDateTime(), true));
    return true;
}

bool TrpDrawVar::IsEqual(TrpDrawCommand* Other) {
    auto* o = dynamic_cast<TrpDrawVar*>(Other);
    if (o == nullptr) return false;
    if (IsDateKind(varType_)) return IsDateKind(o->varType_);
    return TrpDrawText::IsEqual(Other) && varType_ == o->varType_;
}

// ---------------------------------------------------------------------------
// TrpDrawCalc

TClass TrpDrawCalc::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDrawCalc>("TrpDrawCalc", TrpDrawText::StaticClassType())
            .Enum("CalcType", rpTypeInfo<TrpCalcType>(), &TrpDrawCalc::CalcType, &TrpDrawCalc::SetCalcType, ctDate)
            .Build();
    return &info;
}

void TrpDrawCalc::Assign(TPersistent* Source) {
    TrpDrawText::Assign(Source);
    if (auto* other = dynamic_cast<TrpDrawCalc*>(Source)) calcType_ = other->calcType_;
}

bool TrpDrawCalc::Recalculate() {
    TrpPage* page = Page();
    if (page == nullptr) return false;
    if (calcType_ != ctPageCount && calcType_ != ctPageSet && calcType_ != ctPageSetDesc) return false;
    SetText(rpGetSystemVariableText(rpCalcTypeToVarType(calcType_), page->PageNo(), page->PageCount(),
                                    page->PrintDateTime(), true));
    return true;
}

// ---------------------------------------------------------------------------
// TrpDrawShape

TClass TrpDrawShape::StaticClassType() {
    using D = TrpDrawShape;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawShape", TrpDrawCommand::StaticClassType())
            .Object("Brush", TBrush::StaticClassType(), &D::Brush, &D::SetBrush)
            .Object("Pen", TPen::StaticClassType(), &D::Pen, &D::SetPen)
            .Enum("ShapeType", rpTypeInfo<TShapeType>(), &D::ShapeType, &D::SetShapeType, stRectangle)
            .Integer("XCornerRound", &D::XCornerRound, &D::SetXCornerRound, 0)
            .Integer("YCornerRound", &D::YCornerRound, &D::SetYCornerRound, 0)
            .Build();
    return &info;
}

TrpDrawShape::TrpDrawShape(TComponent* AOwner)
    : TrpDrawCommand(AOwner) {
    SetDataType(dtGraphic);
}

TrpDrawShape::~TrpDrawShape() = default;

void TrpDrawShape::SetBrush(TBrush* Value) {
    if (Value != nullptr) brush_.AssignValue(*Value);
}

void TrpDrawShape::SetPen(TPen* Value) {
    if (Value != nullptr) pen_.AssignValue(*Value);
}

void TrpDrawShape::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* other = dynamic_cast<TrpDrawShape*>(Source);
    if (other == nullptr || other == this) return;
    brush_.Assign(&other->brush_);
    pen_.Assign(&other->pen_);
    shapeType_ = other->shapeType_;
    xCornerRound_ = other->xCornerRound_;
    yCornerRound_ = other->yCornerRound_;
}

bool TrpDrawShape::IsEqual(TrpDrawCommand* Other) {
    auto* o = dynamic_cast<TrpDrawShape*>(Other);
    if (o == nullptr || !TrpDrawCommand::IsEqual(Other)) return false;
    return brush_.Color() == o->brush_.Color() && brush_.Style() == o->brush_.Style() &&
           pen_.Color() == o->pen_.Color() && pen_.Style() == o->pen_.Style() &&
           pen_.Width() == o->pen_.Width() && shapeType_ == o->shapeType_ && xCornerRound_ == o->xCornerRound_ &&
           yCornerRound_ == o->yCornerRound_;
}

// ---------------------------------------------------------------------------
// TrpDrawLine

TClass TrpDrawLine::StaticClassType() {
    using D = TrpDrawLine;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawLine", TrpDrawCommand::StaticClassType())
            .Enum("LinePosition", rpTypeInfo<TrpLinePositionType>(), &D::LinePosition, &D::SetLinePosition, lpTop)
            .Enum("LineStyle", rpTypeInfo<TrpLineStyleType>(), &D::LineStyle, &D::SetLineStyle, lsSingle)
            .Object("Pen", TPen::StaticClassType(), &D::Pen, &D::SetPen)
            .Float("Weight", &D::Weight, &D::SetWeight, TypeInfoSingle())
            .Build();
    return &info;
}

TrpDrawLine::TrpDrawLine(TComponent* AOwner) : TrpDrawCommand(AOwner) {
    SetDataType(dtGraphic);
}

TrpDrawLine::~TrpDrawLine() = default;

void TrpDrawLine::SetPen(TPen* Value) {
    if (Value != nullptr) pen_.AssignValue(*Value);
}

void TrpDrawLine::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* other = dynamic_cast<TrpDrawLine*>(Source);
    if (other == nullptr || other == this) return;
    linePosition_ = other->linePosition_;
    lineStyle_ = other->lineStyle_;
    pen_.Assign(&other->pen_);
    weight_ = other->weight_;
}

bool TrpDrawLine::IsEqual(TrpDrawCommand* Other) {
    auto* o = dynamic_cast<TrpDrawLine*>(Other);
    if (o == nullptr || !TrpDrawCommand::IsEqual(Other)) return false;
    return linePosition_ == o->linePosition_ && lineStyle_ == o->lineStyle_ && pen_.Color() == o->pen_.Color() &&
           pen_.Style() == o->pen_.Style() && pen_.Width() == o->pen_.Width();
}

// ---------------------------------------------------------------------------
// TrpDrawImage

TClass TrpDrawImage::StaticClassType() {
    using D = TrpDrawImage;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawImage", TrpDrawCommand::StaticClassType())
            .Boolean("Center", &D::Center, &D::SetCenter, 0)
            .Boolean("MaintainAspectRatio", &D::MaintainAspectRatio, &D::SetMaintainAspectRatio, 0)
            .Object("Picture", TPicture::StaticClassType(), &D::Picture, &D::SetPicture)
            .Stored([](const D* d) { return d->PictureStored(); })
            .Boolean("Scale", &D::Scale, &D::SetScale, 0)
            .Boolean("Stretch", &D::Stretch, &D::SetStretch, 0)
            .Boolean("Transparent", &D::Transparent, &D::SetTransparent, 0)
            .Boolean("DirectDraw", &D::DirectDraw, &D::SetDirectDraw, 0)
            .String("ImageName", &D::ImageName, &D::SetImageName)
            .Build();
    return &info;
}

TrpDrawImage::TrpDrawImage(TComponent* AOwner) : TrpDrawCommand(AOwner), picture_(std::make_unique<TPicture>()) {
    SetDataType(dtGraphic);
}

TrpDrawImage::~TrpDrawImage() = default;

void TrpDrawImage::SetPicture(TPicture* Value) {
    if (Value != picture_.get()) picture_->Assign(Value);
    bitmap_.reset();
}

void TrpDrawImage::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* other = dynamic_cast<TrpDrawImage*>(Source);
    if (other == nullptr || other == this) return;
    center_ = other->center_;
    maintainAspectRatio_ = other->maintainAspectRatio_;
    SetPicture(other->picture_.get());
    scale_ = other->scale_;
    stretch_ = other->stretch_;
    transparent_ = other->transparent_;
    directDraw_ = other->directDraw_;
    imageName_ = other->imageName_;
    pictureStored_ = other->pictureStored_;
}

TBitmap* TrpDrawImage::AsBitmap() {
    TGraphic* g = picture_->Graphic();
    if (g == nullptr || dynamic_cast<TMetafile*>(g) != nullptr) return nullptr;
    if (auto* b = dynamic_cast<TBitmap*>(g)) return b;
    if (!bitmap_) {
        bitmap_ = std::make_unique<TBitmap>();
        bitmap_->SetSize(g->Width(), g->Height());
        g->Draw(bitmap_->Canvas(), TRect{0, 0, g->Width(), g->Height()});
    }
    return bitmap_.get();
}

// ---------------------------------------------------------------------------

float MMThousandthsToInches(int32_t Value) { return rpFromMMThousandths(Value, utInches, 0, nullptr); }

void TextOutRotated(TCanvas* Canvas, TFont* Font, int X, int Y, const std::string& Text, int Angle) {
    if (Canvas == nullptr || Font == nullptr) return;
    const TBrushStyle oldStyle = Canvas->Brush()->Style();
    TFont oldFont(*Canvas->Font());
    const int oldAngle = Canvas->FontAngle();
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->SetFont(*Font);
    Canvas->SetFontAngle(Angle * 10);
    Canvas->TextOut(X, Y, Text);
    Canvas->SetFontAngle(oldAngle);
    Canvas->SetFont(oldFont);
    Canvas->Brush()->SetStyle(oldStyle);
}

namespace report {

namespace {
template <typename T>
TrpDrawCommand* Make() {
    return new T(nullptr);
}
}  // namespace

DrawCommandMaker BuiltInDrawCommandMaker(TClass Class) {
    if (Class == nullptr) return nullptr;
    if (Class == TrpDrawText::StaticClassType()) return &Make<TrpDrawText>;
    if (Class == TrpDrawVariable::StaticClassType()) return &Make<TrpDrawVariable>;
    if (Class == TrpDrawVar::StaticClassType()) return &Make<TrpDrawVar>;
    if (Class == TrpDrawCalc::StaticClassType()) return &Make<TrpDrawCalc>;
    if (Class == TrpDrawShape::StaticClassType()) return &Make<TrpDrawShape>;
    if (Class == TrpDrawLine::StaticClassType()) return &Make<TrpDrawLine>;
    if (Class == TrpDrawImage::StaticClassType()) return &Make<TrpDrawImage>;
    return nullptr;
}

void RegisterDrawCommandClasses() {
    RegisterClasses({TrpDrawText::StaticClassType(), TrpDrawVar::StaticClassType(), TrpDrawCalc::StaticClassType(),
                     TrpDrawShape::StaticClassType(), TrpDrawLine::StaticClassType(), TrpDrawImage::StaticClassType(),
                     TrpDrawVariable::StaticClassType()});
}

void UnregisterDrawCommandClasses() {
    for (TClass c : {TrpDrawVariable::StaticClassType(), TrpDrawImage::StaticClassType(),
                     TrpDrawLine::StaticClassType(), TrpDrawShape::StaticClassType(), TrpDrawCalc::StaticClassType(),
                     TrpDrawVar::StaticClassType(), TrpDrawText::StaticClassType()})
        UnRegisterClass(c);
}

}  // namespace report
