#include "report_output/rpVariableRTTI.h"

#include "report/rpComm.h"
#include "report_output/rpVariables.h"

using namespace rstable;

RP_TABLE_ADAPTER_BODY(TrsTrpVariableRTTI, TrsTrpCustomTextRTTI, TrpVariable)

const TrsMemberTable& TrsTrpVariableRTTI::MemberTable() {
    using V = TrpVariable;
    static const TrsMemberTable table{
        WProp<V, bool>(
            "AsBoolean", rsBoolean, [](V& v) { return v.CurrentSlots().Boolean; }, &V::SetAsBoolean),
        WProp<V, char>(
            "AsChar", rsChar, [](V& v) { return v.CurrentSlots().Char; }, &V::SetAsChar),
        WProp<V, Currency>(
            "AsCurrency", rsCurrency, [](V& v) { return Currency::FromRaw(v.CurrentSlots().Currency); },
            [](V& v, Currency x) { v.SetAsCurrency(static_cast<double>(x.Raw()) / Currency::Scale); }),
        WProp<V, double>(
            "AsDateTime", rsDateTime, [](V& v) { return v.CurrentSlots().DateTime; }, &V::SetAsDateTime),
        WProp<V, double>(
            "AsDate", rsDate, [](V& v) { return v.CurrentSlots().DateTime; }, &V::SetAsDateTime),
        WProp<V, double>(
            "AsTime", rsTime, [](V& v) { return v.CurrentSlots().DateTime; }, &V::SetAsDateTime),
        WProp<V, double>(
            "AsDouble", rsDouble, [](V& v) { return v.CurrentSlots().Double; }, &V::SetAsDouble),
        WProp<V, long double>(
            "AsExtended", rsExtended, [](V& v) { return static_cast<long double>(v.CurrentSlots().Extended); },
            [](V& v, long double x) { v.SetAsExtended(static_cast<double>(x)); }),
        WProp<V, float>(
            "AsSingle", rsSingle, [](V& v) { return v.CurrentSlots().Single; }, &V::SetAsSingle),
        WProp<V, int32_t>(
            "AsInteger", rsInteger, [](V& v) { return v.CurrentSlots().Integer; }, &V::SetAsInteger),
        WProp<V, std::string>(
            "AsString", rsString, [](V& v) { return VarToStr(v.Value()); }, &V::SetAsString),
        WProp<V, Variant>("Value", rsVariant, &V::Value, &V::SetValue),
        WProp<V, int32_t>("CalcOrder", rsInteger, &V::CalcOrder, &V::SetCalcOrder),
        WClassProp<V, TrpCommunicator*>("CalcComponent", TrpCommunicator::StaticClassType(), &V::CalcComponent,
                                        &V::SetCalcComponent),
        WClassProp<V, TrpCommunicator*>("ResetComponent", TrpCommunicator::StaticClassType(), &V::ResetComponent,
                                        &V::SetResetComponent),
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

RP_TABLE_ADAPTER_BODY(TrsTrpSystemVariableRTTI, TrsTrpCustomTextRTTI, TrpSystemVariable)

const TrsMemberTable& TrsTrpSystemVariableRTTI::MemberTable() {
    using S = TrpSystemVariable;
    static const TrsMemberTable table{
        EnumProp<S>("DataType", "TrpDataType", &S::GetDataType),
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
