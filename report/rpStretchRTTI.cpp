#include "report/rpStretchRTTI.h"

#include "report/rpMemo.h"
#include "report/rpRegion.h"

using namespace rstable;

namespace {

// A list, pen or brush is copied in by its setter: none is refused.
template <class C, class T, class F, class S>
TrsMember AssignedRow(const char* Name, F Get, S Set) {
    return WClassProp<C, T*>(Name, T::StaticClassType(), Get, [Set](C& c, T* v) {
        if (v == nullptr) return false;
        std::invoke(Set, c, v);
        return true;
    });
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpStretchableRTTI, TrsTrpComponentRTTI, TrpStretchable)

const TrsMemberTable& TrsTrpStretchableRTTI::MemberTable() {
    using S = TrpStretchable;
    static const TrsMemberTable table{
        Prop<S>("CurrentPosition", rsInteger, &S::CurrentPosition),
        Prop<S>("KeptTogether", rsBoolean, &S::KeptTogether),
        Prop<S>("mmBottomOffset", rsInteger, &S::mmBottomOffset),
        Prop<S>("mmOverFlowOffset", rsInteger, &S::mmOverFlowOffset),
        Prop<S>("PageBottom", rsInteger, &S::PageBottom),
        Prop<S>("PartialGeneration", rsBoolean, &S::PartialGeneration),
        Prop<S>("ShifterCount", rsInteger, &S::ShifterCount),
        Prop<S>("mmStopPosition", rsInteger, &S::mmStopPosition),
        WProp<S, bool>("KeepTogether", rsBoolean, &S::KeepTogether, &S::SetKeepTogether),
        WClassProp<S, TrpStretchable*>("ShiftRelativeTo", TrpComponent::StaticClassType(), &S::ShiftRelativeTo,
                                       &S::SetShiftRelativeTo),
        WProp<S, bool>("Stretch", rsBoolean, &S::Stretch, &S::SetStretch),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomMemoRTTI, TrsTrpStretchableRTTI, TrpCustomMemo)

const TrsMemberTable& TrsTrpCustomMemoRTTI::MemberTable() {
    using M = TrpCustomMemo;
    static const TrsMemberTable table{
        WProp<M, bool>("CharWrap", rsBoolean, &M::CharWrap, &M::SetCharWrap),
        WEnumProp<M, TColor>("Color", "TColor", &M::Color, &M::SetColor),
        WProp<M, float>("Leading", rsSingle, &M::Leading, &M::SetLeading),
        AssignedRow<M, TStrings>("Lines", &M::Lines, &M::SetLines),
        ClassProp<M>("MemoStream", TMemoryStream::StaticClassType(), &M::GetMemoStream),
        Prop<M>("mmLeading", rsInteger, &M::mmLeading),
        ClassProp<M>("PrintLines", TStrings::StaticClassType(), &M::GetPrintLines),
        Prop<M>("spLeading", rsInteger, [](M& m) { return rsScreenPixels(m.mmLeading()); }),
        AssignedRow<M, TStrings>("TabStopPositions", &M::TabStopPositions, &M::SetTabStopPositions),
        WProp<M, std::string>("Text", rsString, &M::GetText, &M::SetText),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBMemoRTTI, TrsTrpCustomMemoRTTI, TrpDBMemo)

const TrsMemberTable& TrsTrpDBMemoRTTI::MemberTable() {
    using D = TrpDBMemo;
    static const TrsMemberTable table{
        WProp<D, bool>("AutoDisplay", rsBoolean, &D::AutoDisplay, &D::SetAutoDisplay),
        Event("OnGetMemo", rpevGetMemo, {{"Lines", rsClass, false, TStrings::StaticClassType()}}),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomRegionRTTI, TrsTrpStretchableRTTI, TrpCustomRegion)

const TrsMemberTable& TrsTrpCustomRegionRTTI::MemberTable() {
    using R = TrpCustomRegion;
    static const TrsMemberTable table{
        AssignedRow<R, TBrush>("Brush", &R::Brush, &R::SetBrush),
        Prop<R>("ObjectCount", rsInteger, &R::ObjectCount),
        ClassProp<R>("MaxStretchable", TrpStretchable::StaticClassType(), &R::MaxStretchable),
        WProp<R, bool>("ParentWidth", rsBoolean, &R::ParentWidth, &R::SetParentWidth),
        AssignedRow<R, TPen>("Pen", &R::Pen, &R::SetPen),
        Indexed<R>("Objects", TrpComponent::StaticClassType(), &R::ObjectCount,
                   [](R& r, int i) { return r.Objects(i); }),
    };
    return table;
}

namespace report {

namespace {

const std::vector<TrsRTTIClass>& StretchAdapters() {
    static const std::vector<TrsRTTIClass> adapters{
        TrsTrpStretchableRTTI::Instance(), TrsTrpCustomMemoRTTI::Instance(), TrsTrpDBMemoRTTI::Instance(),
        TrsTrpCustomRegionRTTI::Instance()};
    return adapters;
}

}  // namespace

void RegisterStretchAdapters() { RegisterRTTIClasses(StretchAdapters()); }

void UnregisterStretchAdapters() { UnregisterRTTIClasses(StretchAdapters()); }

}  // namespace report
