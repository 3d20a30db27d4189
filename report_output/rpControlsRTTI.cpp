#include "report_output/rpControlsRTTI.h"

#include "report/rpGroup.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpTextControls.h"

using namespace rstable;

namespace {

// A colour is an integer that scripts know by the type name "TColor".
template <class C, class F, class S>
TrsMember ColorProp(const std::string& Name, F Get, S Set) {
    TrsMember m = WProp<C, int32_t>(Name, rsEnum, Get, Set);
    m.EnumTypeName = "TColor";
    return m;
}

}  // namespace

// ---------------------------------------------------------------------------
// Text controls

RP_TABLE_ADAPTER_BODY(TrsTrpCustomTextRTTI, TrsTrpComponentRTTI, TrpCustomText)

const TrsMemberTable& TrsTrpCustomTextRTTI::MemberTable() {
    using T = TrpCustomText;
    static const TrsMemberTable table{
        WProp<T, bool>("AutoSize", rsBoolean, &T::AutoSize, &T::SetAutoSize),
        WProp<T, bool>("CharWrap", rsBoolean, &T::CharWrap, &T::SetCharWrap),
        ColorProp<T>("Color", &T::Color, &T::SetColor),
        Prop<T>("Description", rsString, &T::GetDescription),
        Prop<T>("RotatedOriginLeft", rsInteger, &T::RotatedOriginLeft),
        Prop<T>("RotatedOriginTop", rsInteger, &T::RotatedOriginTop),
        WProp<T, int32_t>("SaveOrder", rsInteger, &T::SaveOrder, &T::SetSaveOrder),
        WProp<T, bool>("Save", rsBoolean, &T::Save, &T::SetSave),
        WProp<T, int32_t>("SaveLength", rsInteger, &T::SaveLength, &T::SetSaveLength),
        // The text of a control that shows no data is its caption: writing
        // it is writing the caption, with the caption's change notice.
        WProp<T, std::string>("Text", rsString, &T::GetText,
                              [](T& t, const std::string& v) {
                                  if (t.IsDataAware())
                                      t.SetText(v);
                                  else
                                      t.SetCaption(v);
                              }),
        WProp<T, bool>("Transparent", rsBoolean, &T::Transparent, &T::SetTransparent),
        Event("OnGetText", rpevGetText, {{"Text", rsString, true}}),
        // Formatting is a handler's alone: no scripted event carries it.
        Event("OnFormat", -1),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBTextRTTI, TrsTrpCustomTextRTTI, TrpDBText)

const TrsMemberTable& TrsTrpDBTextRTTI::MemberTable() {
    using D = TrpDBText;
    static const TrsMemberTable table{
        Prop<D>("AlreadyPrinted", rsBoolean, &D::AlreadyPrinted),
        WProp<D, bool>("BlankWhenZero", rsBoolean, &D::BlankWhenZero, &D::SetBlankWhenZero),
        Prop<D>("FieldValue", rsVariant, &D::FieldValue),
        Prop<D>("FirstPage", rsInteger, &D::FirstPage),
        Prop<D>("PriorValue", rsString, [](D& d) { return d.PriorValue(); }),
        Prop<D>("PriorValueSame", rsBoolean, &D::PriorValueSame),
        WProp<D, bool>("ReprintOnSubsequent", rsBoolean, &D::ReprintOnSubsequent, &D::SetReprintOnSubsequent),
        WProp<D, bool>("SuppressRepeatedValues", rsBoolean, &D::SuppressRepeatedValues,
                       &D::SetSuppressRepeatedValues),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBCalcRTTI, TrsTrpDBTextRTTI, TrpDBCalc)

const TrsMemberTable& TrsTrpDBCalcRTTI::MemberTable() {
    using D = TrpDBCalc;
    static const TrsMemberTable table{
        WEnumProp<D, TrpDBCalcType>("DBCalcType", "TrpDBCalcType", &D::DBCalcType, &D::SetDBCalcType),
        // The records counted so far; only the total changes it.
        Prop<D>("Divisor", rsDouble, &D::Divisor),
        Prop<D>("Value", rsVariant, [](D& d) { return Variant(d.Value()); }),
        Event("OnCalc", rpevCalcDone),
        Event("OnGroupBreak", rpevGroupBreak),
        Procedure<D>("Clear", [](D& d) { d.Reset(); }),
        Method<D>("GetLookAheadKey", {{"Result", rsString}},
                  [](D& d, TrsParamList& list) {
                      list.SetParamValue(0, d.GetLookAheadKey());
                      return true;
                  }),
        Method<D>("GetLookAheadValue", {{"aLookAheadKey", rsString}, {"Result", rsString}},
                  [](D& d, TrsParamList& list) {
                      TrsValue key;
                      if (!list.GetParamValue(0, key)) return false;
                      list.SetParamValue(1, d.GetLookAheadValue(std::get<std::string>(key)));
                      return true;
                  }),
    };
    return table;
}

// ---------------------------------------------------------------------------
// Shapes and lines

RP_TABLE_ADAPTER_BODY(TrsTrpCustomGraphicRTTI, TrsTrpComponentRTTI, TrpCustomGraphic)

const TrsMemberTable& TrsTrpCustomGraphicRTTI::MemberTable() {
    using G = TrpCustomGraphic;
    // Written by copying into the control's own; none is refused.
    static const TrsMemberTable table{
        WClassProp<G, TBrush*>("Brush", TBrush::StaticClassType(), &G::Brush,
                               [](G& g, TBrush* v) {
                                   if (v == nullptr) return false;
                                   g.SetBrush(v);
                                   return true;
                               }),
        WClassProp<G, TPen*>("Pen", TPen::StaticClassType(), &G::Pen,
                             [](G& g, TPen* v) {
                                 if (v == nullptr) return false;
                                 g.SetPen(v);
                                 return true;
                             }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpShapeRTTI, TrsTrpCustomGraphicRTTI, TrpShape)

const TrsMemberTable& TrsTrpShapeRTTI::MemberTable() {
    using S = TrpShape;
    static const TrsMemberTable table{
        WEnumProp<S, TShapeType>("Shape", "TShapeType", &S::Shape, &S::SetShape),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpLineRTTI, TrsTrpCustomGraphicRTTI, TrpLine)

const TrsMemberTable& TrsTrpLineRTTI::MemberTable() {
    using L = TrpLine;
    static const TrsMemberTable table{
        WEnumProp<L, TrpLinePositionType>("Position", "TrpLinePositionType", &L::Position, &L::SetPosition),
        WEnumProp<L, TrpLineStyleType>("Style", "TrpLineStyleType", &L::Style, &L::SetStyle),
        // The name the line's draw command gives the same setting; read only.
        Unlisted(EnumProp<L>("LinePosition", "TrpLinePositionType", &L::Position)),
    };
    return table;
}

// ---------------------------------------------------------------------------
// Images

RP_TABLE_ADAPTER_BODY(TrsTrpCustomImageRTTI, TrsTrpComponentRTTI, TrpCustomImage)

const TrsMemberTable& TrsTrpCustomImageRTTI::MemberTable() {
    using I = TrpCustomImage;
    static const TrsMemberTable table{
        WProp<I, bool>("Center", rsBoolean, &I::Center, &I::SetCenter),
        WProp<I, bool>("DirectDraw", rsBoolean, &I::DirectDraw, &I::SetDirectDraw),
        WProp<I, bool>("MaintainAspectRatio", rsBoolean, &I::MaintainAspectRatio, &I::SetMaintainAspectRatio),
        WProp<I, bool>("Stretch", rsBoolean, &I::Stretch, &I::SetStretch),
        WProp<I, bool>("Transparent", rsBoolean, &I::Transparent, &I::SetTransparent),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBImageRTTI, TrsTrpCustomImageRTTI, TrpDBImage)

const TrsMemberTable& TrsTrpDBImageRTTI::MemberTable() {
    using I = TrpDBImage;
    static const TrsMemberTable table{
        // Reading loads the record's picture first; writing copies into it.
        WClassProp<I, TPicture*>("Picture", TPicture::StaticClassType(), &I::Picture, &I::SetPicture),
        Event("OnGetPicture", rpevGetPicture, {{"aPicture", rsClass, false, TPicture::StaticClassType()}}),
    };
    return table;
}

namespace report_output {

namespace {

const std::vector<TrsRTTIClass>& ControlAdapters() {
    static const std::vector<TrsRTTIClass> adapters{
        TrsTrpCustomTextRTTI::Instance(),    TrsTrpDBTextRTTI::Instance(), TrsTrpDBCalcRTTI::Instance(),
        TrsTrpCustomGraphicRTTI::Instance(), TrsTrpShapeRTTI::Instance(),  TrsTrpLineRTTI::Instance(),
        TrsTrpCustomImageRTTI::Instance(),   TrsTrpDBImageRTTI::Instance(),
    };
    return adapters;
}

}  // namespace

void RegisterControlAdapters() { RegisterRTTIClasses(ControlAdapters()); }

void UnregisterControlAdapters() { UnregisterRTTIClasses(ControlAdapters()); }

}  // namespace report_output
