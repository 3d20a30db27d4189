#include "report_output/rpVariableRTTI.h"

#include "report/rpComm.h"
#include "report_output/rpVariables.h"

using namespace rstable;

RP_TABLE_ADAPTER_BODY(TrsTrpVariableRTTI, TrsTrpComponentRTTI, TrpVariable)

const TrsMemberTable& TrsTrpVariableRTTI::MemberTable() {
    using V = TrpVariable;
    static const TrsMemberTable table{
        WProp<V, bool>(
            "AsBoolean", rsBoolean, [](V& v) { return v.CurrentSlots().Boolean; },
            [](V& v, bool x) { v.SetAsBoolean(x); }),
        WProp<V, char>(
            "AsChar", rsChar, [](V& v) { return v.CurrentSlots().Char; }, [](V& v, char x) { v.SetAsChar(x); }),
        WProp<V, Currency>(
            "AsCurrency", rsCurrency, [](V& v) { return Currency::FromRaw(v.CurrentSlots().Currency); },
            [](V& v, Currency x) { v.SetAsCurrency(static_cast<double>(x.Raw()) / Currency::Scale); }),
        WProp<V, double>(
            "AsDateTime", rsDateTime, [](V& v) { return v.CurrentSlots().DateTime; },
            [](V& v, double x) { v.SetAsDateTime(x); }),
        WProp<V, double>(
            "AsDate", rsDate, [](V& v) { return v.CurrentSlots().DateTime; },
            [](V& v, double x) { v.SetAsDateTime(x); }),
        WProp<V, double>(
            "AsTime", rsTime, [](V& v) { return v.CurrentSlots().DateTime; },
            [](V& v, double x) { v.SetAsDateTime(x); }),
        WProp<V, double>(
            "AsDouble", rsDouble, [](V& v) { return v.CurrentSlots().Double; },
            [](V& v, double x) { v.SetAsDouble(x); }),
        WProp<V, long double>(
            "AsExtended", rsExtended, [](V& v) { return static_cast<long double>(v.CurrentSlots().Extended); },
            [](V& v, long double x) { v.SetAsExtended(static_cast<double>(x)); }),
        WProp<V, float>(
            "AsSingle", rsSingle, [](V& v) { return v.CurrentSlots().Single; },
            [](V& v, float x) { v.SetAsSingle(x); }),
        WProp<V, int32_t>(
            "AsInteger", rsInteger, [](V& v) { return v.CurrentSlots().Integer; },
            [](V& v, int32_t x) { v.SetAsInteger(x); }),
        WProp<V, std::string>(
            "AsString", rsString, [](V& v) { return VarToStr(v.Value()); },
            [](V& v, const std::string& x) { v.SetAsString(x); }),
        WProp<V, Variant>(
            "Value", rsVariant, [](V& v) { return v.Value(); }, [](V& v, const Variant& x) { v.SetValue(x); }),
        WProp<V, int32_t>(
            "CalcOrder", rsInteger, [](V& v) { return v.CalcOrder(); }, [](V& v, int32_t x) { v.SetCalcOrder(x); }),
        WClassProp<V, TrpCommunicator*>(
            "CalcComponent", TrpCommunicator::StaticClassType(), [](V& v) { return v.CalcComponent(); },
            [](V& v, TrpCommunicator* x) { v.SetCalcComponent(x); }),
        WClassProp<V, TrpCommunicator*>(
            "ResetComponent", TrpCommunicator::StaticClassType(), [](V& v) { return v.ResetComponent(); },
            [](V& v, TrpCommunicator* x) { v.SetResetComponent(x); }),
        Method<V>("SaveToCache", {{"aCachePageNo", rsInteger}},
                  [](V& v, TrsParamList& list) {
                      TrsValue page;
                      if (!list.GetParamValue(0, page)) return false;
                      v.SaveToCache(std::get<int32_t>(page));
                      return true;
                  }),
        Event("OnCalc", rpevVariableCalc),
        Event("OnReset", rpevVariableReset),
        Event("OldOnCalc", rpevVariableCalc),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpSystemVariableRTTI, TrsTrpComponentRTTI, TrpSystemVariable)

const TrsMemberTable& TrsTrpSystemVariableRTTI::MemberTable() {
    using S = TrpSystemVariable;
    static const TrsMemberTable table{
        EnumProp<S>("DataType", "TrpDataType", [](S& s) { return s.GetDataType(); }),
    };
    return table;
}

namespace report_output {

void RegisterVariableAdapters() {
    RegisterRTTIClass(TrsTrpVariableRTTI::Instance());
    RegisterRTTIClass(TrsTrpSystemVariableRTTI::Instance());
}

void UnregisterVariableAdapters() {
    UnregisterRTTIClass(TrsTrpSystemVariableRTTI::Instance());
    UnregisterRTTIClass(TrsTrpVariableRTTI::Instance());
}

}  // namespace report_output
