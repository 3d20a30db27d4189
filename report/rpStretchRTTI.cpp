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
        Set(c, v);
        return true;
    });
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpStretchableRTTI, TrsTrpComponentRTTI, TrpStretchable)

const TrsMemberTable& TrsTrpStretchableRTTI::MemberTable() {
    using S = TrpStretchable;
    static const TrsMemberTable table{
        Prop<S>("CurrentPosition", rsInteger, [](S& s) { return s.CurrentPosition(); }),
        Prop<S>("KeptTogether", rsBoolean, [](S& s) { return s.KeptTogether(); }),
        Prop<S>("mmBottomOffset", rsInteger, [](S& s) { return s.mmBottomOffset(); }),
        Prop<S>("mmOverFlowOffset", rsInteger, [](S& s) { return s.mmOverFlowOffset(); }),
        Prop<S>("PageBottom", rsInteger, [](S& s) { return s.PageBottom(); }),
        Prop<S>("PartialGeneration", rsBoolean, [](S& s) { return s.PartialGeneration(); }),
        Prop<S>("ShifterCount", rsInteger, [](S& s) { return s.ShifterCount(); }),
        Prop<S>("mmStopPosition", rsInteger, [](S& s) { return s.mmStopPosition(); }),
        WProp<S, bool>(
            "KeepTogether", rsBoolean, [](S& s) { return s.KeepTogether(); },
            [](S& s, bool v) { s.SetKeepTogether(v); }),
        WClassProp<S, TrpStretchable*>(
            "ShiftRelativeTo", TrpComponent::StaticClassType(), [](S& s) { return s.ShiftRelativeTo(); },
            [](S& s, TrpStretchable* v) { s.SetShiftRelativeTo(v); }),
        WProp<S, bool>(
            "Stretch", rsBoolean, [](S& s) { return s.Stretch(); }, [](S& s, bool v) { s.SetStretch(v); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomMemoRTTI, TrsTrpStretchableRTTI, TrpCustomMemo)

const TrsMemberTable& TrsTrpCustomMemoRTTI::MemberTable() {
    using M = TrpCustomMemo;
    static const TrsMemberTable table{
        WProp<M, bool>(
            "CharWrap", rsBoolean, [](M& m) { return m.CharWrap(); }, [](M& m, bool v) { m.SetCharWrap(v); }),
        WEnumProp<M, TColor>(
            "Color", "TColor", [](M& m) { return m.Color(); }, [](M& m, TColor v) { m.SetColor(v); }),
        WProp<M, float>(
            "Leading", rsSingle, [](M& m) { return m.Leading(); }, [](M& m, float v) { m.SetLeading(v); }),
        AssignedRow<M, TStrings>(
            "Lines", [](M& m) { return m.Lines(); }, [](M& m, TStrings* v) { m.SetLines(v); }),
        ClassProp<M>("MemoStream", TMemoryStream::StaticClassType(), [](M& m) { return m.GetMemoStream(); }),
        Prop<M>("mmLeading", rsInteger, [](M& m) { return m.mmLeading(); }),
        ClassProp<M>("PrintLines", TStrings::StaticClassType(), [](M& m) { return m.GetPrintLines(); }),
        Prop<M>("spLeading", rsInteger, [](M& m) { return rsScreenPixels(m.mmLeading()); }),
        AssignedRow<M, TStrings>(
            "TabStopPositions", [](M& m) { return m.TabStopPositions(); },
            [](M& m, TStrings* v) { m.SetTabStopPositions(v); }),
        WProp<M, std::string>(
            "Text", rsString, [](M& m) { return m.GetText(); }, [](M& m, const std::string& v) { m.SetText(v); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBMemoRTTI, TrsTrpCustomMemoRTTI, TrpDBMemo)

const TrsMemberTable& TrsTrpDBMemoRTTI::MemberTable() {
    using D = TrpDBMemo;
    static const TrsMemberTable table{
        WProp<D, bool>(
            "AutoDisplay", rsBoolean, [](D& d) { return d.AutoDisplay(); },
            [](D& d, bool v) { d.SetAutoDisplay(v); }),
        Event("OnGetMemo", rpevGetMemo, {{"Lines", rsClass, false, TStrings::StaticClassType()}}),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomRegionRTTI, TrsTrpStretchableRTTI, TrpCustomRegion)

const TrsMemberTable& TrsTrpCustomRegionRTTI::MemberTable() {
    using R = TrpCustomRegion;
    static const TrsMemberTable table{
        AssignedRow<R, TBrush>(
            "Brush", [](R& r) { return r.Brush(); }, [](R& r, TBrush* v) { r.SetBrush(v); }),
        Prop<R>("ObjectCount", rsInteger, [](R& r) { return r.ObjectCount(); }),
        ClassProp<R>("MaxStretchable", TrpStretchable::StaticClassType(), [](R& r) { return r.MaxStretchable(); }),
        WProp<R, bool>(
            "ParentWidth", rsBoolean, [](R& r) { return r.ParentWidth(); }, [](R& r, bool v) { r.SetParentWidth(v); }),
        AssignedRow<R, TPen>("Pen", [](R& r) { return r.Pen(); }, [](R& r, TPen* v) { r.SetPen(v); }),
        Indexed<R>("Objects", TrpComponent::StaticClassType(), [](R& r) { return r.ObjectCount(); },
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
