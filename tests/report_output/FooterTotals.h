#pragma once
// The figures the page-total tests put in a page's or a column's footer,
// all over the field Valor: Acumulado (running sum) and Linhas (running
// count), totals without a reset group, then Soma (sum since the reset)
// and Quantas (records since the reset), variables reset at Reset; each
// named after Where, 14 mm wide, 15 mm apart from the band's left.
#include <string>

#include "report_output/rpDBText.h"
#include "report_output/rpVariables.h"
#include "tests/report_output/OutputTestSupport.h"

namespace outputtest {

inline void FooterTotals(reporttest::ReportRig& Rig, TrpDataPipeline* Pipeline, TrpBand* Band,
                         const std::string& Where, TrpVarEventType Reset) {
    auto total = [&](const std::string& Name, int32_t Left) {
        auto* c = Place<TrpDBCalc>(Rig, Band, Name + Where, Left, 0, 14000, 5000);
        c->SetDataPipeline(Pipeline);
        c->SetDataField("Valor");
        return c;
    };
    total("Acumulado", 0);
    total("Linhas", 15000)->SetDBCalcType(dcCount);
    auto* sum = Place<TrpVariable>(Rig, Band, "Soma" + Where, 30000, 0, 14000, 5000);
    sum->SetDataType(dtInteger);
    sum->SetResetType(Reset);
    sum->OnCalc = [Pipeline](TObject*, Variant& Value) {
        Value = Variant(Value.AsInteger() + Pipeline->GetFieldValue("Valor").AsInteger());
    };
    auto* count = Place<TrpVariable>(Rig, Band, "Quantas" + Where, 45000, 0, 14000, 5000);
    count->SetDataType(dtInteger);
    count->SetResetType(Reset);
    count->OnCalc = [](TObject*, Variant& Value) { Value = Variant(Value.AsInteger() + 1); };
}

}  // namespace outputtest
