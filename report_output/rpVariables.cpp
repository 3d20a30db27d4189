#include "report_output/rpVariables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <map>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Currency.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"
#include "report/rpBand.h"
#include "report/rpBands.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpEngine.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpPipeline.h"
#include "report/rpPrinterSetup.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report/rpUtils.h"
#include "report_output/rpExactTotal.h"
#include "report_output/rpTextLook.h"
#include "report_output/rpGraphics.h"

namespace {

bool IsNumericType(TrpDataType T) { return T >= dtInteger && T <= dtCurrency; }

TrpCustomReport* MainOf(TrpCustomReport* Report) {
    if (Report == nullptr) return nullptr;
    TrpCustomReport* main = Report->GetMainReport();
    return main != nullptr ? main : Report;
}


TrpDataType SystemDataType(TrpVarType T) {
    switch (T) {
        case vtDate: return dtDate;
        case vtDateTime:
        case vtPrintDateTime: return dtDateTime;
        case vtPageCount:
        case vtPageNo: return dtInteger;
        case vtTime: return dtTime;
        default: return dtString;
    }
}

bool IsTextKind(TrpVarType T) {
    return T == vtDocumentName || T == vtPageSet || T == vtPageSetDesc || T == vtPageNoDesc;
}

}  // namespace

Variant rpSystemValue(TrpVarType VarType, const TrpComponent* On) {
    TrpCustomReport* report = On != nullptr && On->Band() != nullptr ? On->Band()->Report() : nullptr;
    const bool printing = On != nullptr && On->GetPrinting();
    auto* engine = report != nullptr ? dynamic_cast<TrpEngine*>(report->Engine()) : nullptr;
    const int pageNo = printing && engine != nullptr ? engine->PageNo() : 1;
    const int pageCount = printing && engine != nullptr ? engine->PageCount() : 1;
    const TDateTime printed = printing && engine != nullptr ? engine->PrintDateTime() : rpNow();
    const TDateTime now = rpNow();
    const double day = static_cast<double>(static_cast<long long>(now));
    switch (VarType) {
        case vtDate: return Variant::FromDateTime(day);
        case vtDateTime: return Variant::FromDateTime(now);
        case vtDocumentName:
            return Variant(report != nullptr ? report->PrinterSetup()->DocumentName() : std::string());
        case vtPrintDateTime: return Variant::FromDateTime(printed);
        case vtPageCount: return Variant(pageCount);
        case vtPageNo: return Variant(pageNo);
        case vtTime: return Variant::FromDateTime(now - day);
        default: return Variant(rpSystemVariableText(VarType, pageNo, pageCount, printed, printing));
    }
}

std::string rpSystemText(TrpVarType VarType, const TrpComponent* On, const std::string& DisplayFormat,
                         const TrpFormatEvent& OnFormat) {
    const Variant value = rpSystemValue(VarType, On);
    const TrpDataType type = SystemDataType(VarType);
    std::string text;
    if (IsTextKind(VarType))
        text = value.AsString();
    else
        text = rpFormatValue(OnFormat ? std::string() : DisplayFormat, type, value);
    if (OnFormat) OnFormat(const_cast<TrpComponent*>(On), DisplayFormat, type, value, text);
    return text;
}

// ---------------------------------------------------------------------------
// TrpCustomVariable

TClass TrpCustomVariable::StaticClassType() {
    static const TClassInfo info =
        [] {
            TClassBuilder<TrpCustomVariable> builder("TrpCustomVariable", TrpCustomText::StaticClassType());
            rpPublishLengths(rpPublishTextLook(builder, true))
                .String("DisplayFormat", &TrpCustomVariable::DisplayFormat, &TrpCustomVariable::SetDisplayFormat)
                .Event("OnFormat", &TrpCustomVariable::OnFormat, rpEventTypeInfo("TrpFormatEvent"));
            return builder.Build();
        }();
    return &info;
}

TrpCustomVariable::TrpCustomVariable(TComponent* AOwner) : TrpCustomText(AOwner) {}

std::string TrpCustomVariable::FormatText(TrpDataType DataType, const Variant& Value) const {
    std::string text;
    try {
        text = rpFormatValue(OnFormat ? std::string() : DisplayFormat(), DataType, Value);
    } catch (const std::exception&) {
        text.clear();
    }
    if (OnFormat) OnFormat(const_cast<TrpCustomVariable*>(this), DisplayFormat(), DataType, Value, text);
    return text;
}

void TrpCustomVariable::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomText::PropertiesToDrawCommand(DrawCommand);
}

// ---------------------------------------------------------------------------
// TrpVariable

namespace {

// A group (or any named report object but a pipeline) goes by reference;
// what has no name (the engine, a band) is given again by the next run.
bool StoredByReference(const TrpCommunicator* C) {
    return C != nullptr && !C->Name().empty() && dynamic_cast<const TrpDataPipeline*>(C) == nullptr &&
           dynamic_cast<const TrpCustomEngine*>(C) == nullptr;
}

}  // namespace

TClass TrpVariable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpVariable>("TrpVariable", TrpCustomVariable::StaticClassType())
            .Enum("CalcType", rpTypeInfo<TrpVarEventType>(), &TrpVariable::CalcType, &TrpVariable::SetCalcType,
                  veTraversal)
            .Enum("ResetType", rpTypeInfo<TrpVarEventType>(), &TrpVariable::ResetType, &TrpVariable::SetResetType,
                  veReportEnd)
            .Integer("CalcOrder", &TrpVariable::CalcOrder, &TrpVariable::SetCalcOrder, -1)
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &TrpVariable::DataType, &TrpVariable::SetDataType,
                  dtString)
            .Boolean("LookAhead", &TrpVariable::LookAhead, &TrpVariable::SetLookAhead, 0)
            .Boolean("BlankWhenZero", &TrpVariable::BlankWhenZero, &TrpVariable::SetBlankWhenZero, 0)
            // A pipeline goes by name (CalcDataPipelineName, ResetDataPipelineName),
            // a group by reference.
            .Object("CalcComponent", TrpCommunicator::StaticClassType(), &TrpVariable::CalcComponent,
                    &TrpVariable::SetCalcComponent)
            .Stored([](const TrpVariable* V) { return StoredByReference(V->CalcComponent()); })
            .Object("ResetComponent", TrpCommunicator::StaticClassType(), &TrpVariable::ResetComponent,
                    &TrpVariable::SetResetComponent)
            .Stored([](const TrpVariable* V) { return StoredByReference(V->ResetComponent()); })
            .Event("OnCalc", &TrpVariable::OnCalc, rpEventTypeInfo("TrpVarCalcEvent"))
            .Event("OnReset", &TrpVariable::OnReset, rpEventTypeInfo("TrpVarCalcEvent"))
            .Event("OldOnCalc", &TrpVariable::OldOnCalc)
            .Build();
    return &info;
}

TrpVariable::TrpVariable(TComponent* AOwner) : TrpCustomVariable(AOwner) {
    SetDrawCommandClass(TrpDrawVariable::StaticClassType());
    SetCacheRecordSize(kCacheRecordSize + 3 * kSlotsSize);
    ClearSlots();
    Subscribe();
}

TrpVariable::~TrpVariable() {
    lookAheadList_.reset();
    if (calcComponent_ != nullptr) calcComponent_->RemoveEventNotify(this);
    if (resetComponent_ != nullptr) resetComponent_->RemoveEventNotify(this);
}

void TrpVariable::Announce() {
    PropertyChange();
    UpdateBand();
}

void TrpVariable::SetDataType(TrpDataType Value) {
    if (Value >= dtVariant || Value == dataType_) return;
    BeforePropertyChange("DataType");
    dataType_ = Value;
    PropertyChange();
}

void TrpVariable::SetBlankWhenZero(bool Value) {
    if (Value == blankWhenZero_) return;
    BeforePropertyChange("BlankWhenZero");
    blankWhenZero_ = Value;
    PropertyChange();
}

void TrpVariable::SetLookAhead(bool Value) {
    if (GetPrinting()) return;
    lookAhead_ = Value;
    if (Value && !IsReading() && !ComponentState().Contains(csLoading) && Band() != nullptr)
        if (TrpCustomReport* main = MainOf(Band()->Report())) main->SetPassSetting(psTwoPass);
}

bool TrpVariable::LookAheadActive() const {
    if (!lookAhead_ || Band() == nullptr) return false;
    TrpCustomReport* main = MainOf(Band()->Report());
    return main != nullptr && main->PassSetting() == psTwoPass;
}

void TrpVariable::SetCalcType(TrpVarEventType Value) {
    if (Value == calcType_) return;
    calcType_ = Value;
    Subscribe();
}

void TrpVariable::SetResetType(TrpVarEventType Value) {
    if (Value == resetType_) return;
    resetType_ = Value;
    Subscribe();
}

void TrpVariable::Listen(TrpCommunicator*& Field, TrpCommunicator* Value) {
    if (Field == Value) return;
    if (Field != nullptr) {
        TrpCommunicator* old = Field;
        Field = nullptr;
        if (old != calcComponent_ && old != resetComponent_) {
            old->RemoveEventNotify(this);
            RemoveNotify(old);
        }
    }
    Field = Value;
    if (Value != nullptr) {
        AddNotify(Value);
        Value->AddEventNotify(this);
    }
}

void TrpVariable::SetCalcComponent(TrpCommunicator* Value) { Listen(calcComponent_, Value); }
void TrpVariable::SetResetComponent(TrpCommunicator* Value) { Listen(resetComponent_, Value); }

namespace {

TrpDataPipeline* AsPipeline(TrpCommunicator* Communicator) { return dynamic_cast<TrpDataPipeline*>(Communicator); }

}  // namespace

void TrpVariable::DefineProperties(TFiler* Filer) {
    TrpCustomVariable::DefineProperties(Filer);
    Filer->DefineProperty(
        "CalcDataPipelineName", [this](TReader* r) { calcPipelineName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(AsPipeline(calcComponent_)->Name()); },
        AsPipeline(calcComponent_) != nullptr);
    Filer->DefineProperty(
        "ResetDataPipelineName", [this](TReader* r) { resetPipelineName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(AsPipeline(resetComponent_)->Name()); },
        AsPipeline(resetComponent_) != nullptr);
}

void TrpVariable::ResolveDataPipelineName(TComponent* Owner) {
    TrpCustomVariable::ResolveDataPipelineName(Owner);
    if (Owner == nullptr) return;
    auto find = [Owner](std::string& Name) -> TrpDataPipeline* {
        if (Name.empty()) return nullptr;
        auto* p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(Name));
        Name.clear();
        return p;
    };
    if (TrpDataPipeline* p = find(calcPipelineName_); p != nullptr && calcComponent_ == nullptr) SetCalcComponent(p);
    if (TrpDataPipeline* p = find(resetPipelineName_); p != nullptr && resetComponent_ == nullptr)
        SetResetComponent(p);
}

void TrpVariable::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCustomVariable::Notify(Communicator, Operation);
    if (Operation != rpopFreeing) return;
    if (Communicator == calcComponent_) calcComponent_ = nullptr;
    if (Communicator == resetComponent_) resetComponent_ = nullptr;
}

int TrpVariable::CalcOrder() const {
    if (IsReading()) return storedCalcOrder_;
    return Band() == nullptr ? -1 : Band()->IndexOfVariable(this);
}

void TrpVariable::SetCalcOrder(int Value) {
    if (IsReading() || Band() == nullptr) {
        storedCalcOrder_ = Value;
        return;
    }
    const int count = Band()->VariableCount();
    int target = std::max(Value, 0);
    if (count > 0 && target >= count) target = count - 1;
    Band()->RemoveVariable(this);
    Band()->InsertVariable(std::min(target, Band()->VariableCount()), this);
    Announce();
}

void TrpVariable::SetBand(TrpBand* Value) {
    if (Band() != nullptr) Band()->RemoveVariable(this);
    TrpCustomVariable::SetBand(Value);
    if (Band() != nullptr && Band()->IndexOfVariable(this) < 0) Band()->AddVariable(this);
    Subscribe();
}

void TrpVariable::Loaded() {
    TrpCustomVariable::Loaded();
    if (Band() == nullptr || storedCalcOrder_ < 0) return;
    Band()->RemoveVariable(this);
    int at = Band()->VariableCount();
    for (int i = 0; i < Band()->VariableCount(); ++i) {
        auto* other = dynamic_cast<TrpVariable*>(Band()->Variables(i));
        if (other != nullptr && other->storedCalcOrder_ > storedCalcOrder_) {
            at = i;
            break;
        }
    }
    Band()->InsertVariable(at, this);
}

std::string TrpVariable::GetEventNotifySortKey() const {
    const std::string bandKey = Band() != nullptr ? Band()->GetEventNotifySortKey() : std::string();
    return bandKey + Format("%8d", {CalcOrder()});
}

void TrpVariable::Subscribe() {
    EventSet().reset();
    calcEvent_ = rpVarEventToEventNumber(calcType_);
    resetEvent_ = rpVarEventToEventNumber(resetType_);
    EventSet().set(static_cast<std::size_t>(calcEvent_));
    EventSet().set(static_cast<std::size_t>(resetEvent_));
    EventSet().set(rpevPageBeforeCurrent);
    const bool footer = dynamic_cast<TrpFooterBand*>(Band()) != nullptr ||
                        dynamic_cast<TrpColumnFooterBand*>(Band()) != nullptr;
    if (footer && calcType_ == veTraversal) EventSet().set(rpevNoRoomForDynamicBand);
    if (ResetGroup() != nullptr) EventSet().set(rpevAfterGroupBreak);
}

TrpCommunicator* TrpVariable::DefaultComponent(TrpVarEventType Type, TrpCommunicator* Chosen) const {
    switch (Type) {
        case veDataPipelineTraversal:
        case veGroupStart:
        case veGroupEnd:
        case veGroupBeforeHeader:
        case veGroupBeforeFooter: return Chosen;
        case veTraversal:
        case veReportStart:
        case veReportEnd: return ReportEngine();
        default: return Band() != nullptr ? Band()->Report() : nullptr;
    }
}

void TrpVariable::ClearSlots() {
    slots_ = Slots{};
    slots_.DateTime = rpNow();
    text_.clear();
}

void TrpVariable::Init() {
    TrpCustomVariable::Init();
    SetCalcComponent(DefaultComponent(calcType_, calcComponent_));
    SetResetComponent(DefaultComponent(resetType_, resetComponent_));
    Subscribe();
    if (TrpCustomEngine* engine = ReportEngine()) {
        // 139 and 141 come from the engine whatever the chosen events.
        if (calcComponent_ != engine && resetComponent_ != engine) {
            AddNotify(engine);
            engine->AddEventNotify(this);
        }
    }
    ClearSlots();
    pageTexts_.clear();
    footerCalculated_ = takenBack_ = pageEnded_ = restored_ = false;
    before_ = after_ = slots_;
}

void TrpVariable::StartRun() {
    TrpCustomVariable::StartRun();
    lookAheadList_.reset();
    if (LookAheadActive()) lookAheadList_ = std::make_unique<TrpLookAheadList>(this);
}

Variant TrpVariable::Value() const {
    switch (dataType_) {
        case dtBoolean: return Variant(slots_.Boolean);
        case dtChar: return Variant(std::string(slots_.Char == 0 ? 0 : 1, slots_.Char));
        case dtCurrency: return Variant(Currency::FromRaw(slots_.Currency));
        case dtDate:
        case dtTime:
        case dtDateTime: return Variant::FromDateTime(slots_.DateTime);
        case dtDouble: return Variant(slots_.Double);
        case dtExtended: return Variant(slots_.Extended);
        case dtInteger: return Variant(slots_.Integer);
        case dtSingle: return Variant(slots_.Single);
        case dtString: return Variant(text_);
        default: return Variant();
    }
}

void TrpVariable::SetValue(const Variant& Value) {
    if (Value.IsEmpty() || Value.IsNull()) return;
    // Converted first: a value that does not convert leaves every slot alone.
    Slots next = slots_;
    std::string text = text_;
    switch (dataType_) {
        case dtBoolean: next.Boolean = Value.AsBoolean(); break;
        case dtChar: {
            const std::string s = Value.AsString();
            next.Char = s.empty() ? 0 : s[0];
            break;
        }
        case dtCurrency:
            // An amount given as a double is taken at its own digits, as a
            // money total adds it.
            if (Value.VarType() == varDouble) {
                if (!MoneyOf(Value.AsDouble(), next.Currency)) throw EOverflow("Arithmetic overflow");
            } else {
                next.Currency = Value.AsCurrency().Raw();
            }
            break;
        case dtDate:
        case dtTime:
        case dtDateTime: next.DateTime = Value.AsDouble(); break;
        case dtDouble: next.Double = Value.AsDouble(); break;
        case dtExtended: next.Extended = Value.AsDouble(); break;
        case dtInteger: next.Integer = Value.AsInteger(); break;
        case dtSingle: next.Single = static_cast<float>(Value.AsDouble()); break;
        case dtString: text = Value.AsString(); break;
        default: return;
    }
    slots_ = next;
    text_ = text;
    Announce();
}

void TrpVariable::Accumulate(double Amount) {
    switch (dataType_) {
        case dtCurrency: {
            // The fixed-point money type holds ten-thousandths and no finer.
            // An amount or a sum past its range is said, never dropped or
            // wrapped: a total that leaves out a row prints wrong.
            std::int64_t amount = 0;
            std::int64_t sum = 0;
            if (!MoneyOf(Amount, amount) || __builtin_add_overflow(slots_.Currency, amount, &sum)) {
                MoneyOverflow();
                return;
            }
            slots_.Currency = sum;
            break;
        }
        case dtDouble: slots_.Double = rptotal::Add(slots_.Count, slots_.Double, Amount); break;
        case dtExtended: slots_.Extended = rptotal::Add(slots_.Count, slots_.Extended, Amount); break;
        default: SetValue(Variant(Value().AsDouble() + Amount)); return;
    }
    Announce();
}

bool TrpVariable::MoneyOf(double Amount, std::int64_t& Raw) {
    // The amount's own shortest digits, rounded to ten-thousandths: a double
    // scaled by 10,000 loses the last cents of an amount past about 9 x 10^11.
    return rptotal::ToTenThousandths(rptotal::FromDouble(Amount), Raw);
}

void TrpVariable::MoneyOverflow() {
    TrpCustomReport* report = Band() != nullptr ? Band()->Report() : nullptr;
    TrpCustomEngine* engine = ReportEngine();
    if (report == nullptr || engine == nullptr || !engine->Generating()) throw EOverflow("Arithmetic overflow");
    // The run stops as for any report error: a total that cannot be added
    // would print a wrong sum, and no page of it is kept.
    report->HandlePrintError(EPrintError(
        Format("O total \"%s\" passa dos limites do tipo moeda (de -922.337.203.685.477,5808 a "
               "922.337.203.685.477,5807) e não pode ser somado.",
               {UserName()})));
}

void TrpVariable::SetAsBoolean(bool Value) {
    slots_.Boolean = Value;
    dataType_ = dtBoolean;
    Announce();
}
void TrpVariable::SetAsChar(char Value) {
    slots_.Char = Value;
    dataType_ = dtChar;
    Announce();
}
void TrpVariable::SetAsCurrency(double Value) {
    std::int64_t raw = 0;
    if (!MoneyOf(Value, raw)) throw EOverflow("Arithmetic overflow");
    slots_.Currency = raw;
    dataType_ = dtCurrency;
    Announce();
}
void TrpVariable::SetAsDateTime(TDateTime Value) {
    slots_.DateTime = Value;
    dataType_ = dtDateTime;
    Announce();
}
void TrpVariable::SetAsDouble(double Value) {
    slots_.Double = Value;
    dataType_ = dtDouble;
    Announce();
}
void TrpVariable::SetAsExtended(double Value) {
    slots_.Extended = Value;
    dataType_ = dtExtended;
    Announce();
}
void TrpVariable::SetAsInteger(int Value) {
    slots_.Integer = Value;
    dataType_ = dtInteger;
    if (!GetPrinting()) Announce();
}
void TrpVariable::SetAsSingle(float Value) {
    slots_.Single = Value;
    dataType_ = dtSingle;
    Announce();
}
void TrpVariable::SetAsString(const std::string& Value) {
    text_ = Value;
    dataType_ = dtString;
    Announce();
}

void TrpVariable::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCustomVariable::EventNotify(Sender, EventNumber, Params);
    if (Sender == nullptr) return;
    if (Sender == resetComponent_ && EventNumber == resetEvent_) {
        Reset();
    } else if (Sender == calcComponent_ && EventNumber == calcEvent_) {
        Compute();
    } else if (Sender == ReportEngine() && EventNumber == rpevNoRoomForDynamicBand && calcType_ == veTraversal) {
        // Each footer that prints gives the record back: across the page
        // every column's footer prints, one after the other, at the page's end.
        if (rpTakesBackInFooter(this) && !takenBack_) {
            CalcAfterPrint();
            footerCalculated_ = true;
        }
    } else if (Sender == ReportEngine() && EventNumber == rpevPageBeforeCurrent) {
        pageEnded_ = true;
    }
}

void TrpVariable::BandEngineNotify() {
    if (!pageEnded_) return;
    if (dataType_ == dtString) Compute();
    pageEnded_ = false;
}

void TrpVariable::Compute() {
    if (!GetPrinting()) return;
    before_ = slots_;
    Variant value = Value();
    try {
        if (OnCalc) {
            const Variant original = value;
            OnCalc(this, value);
            if (!(value == original) || value.VarType() != original.VarType()) SetValue(value);
        } else if (OldOnCalc) {
            OldOnCalc(this);
        }
    } catch (const EOverflow&) {
        // A money total its handler took past the type's range.
        if (dataType_ != dtCurrency) throw;
        slots_ = before_;
        MoneyOverflow();
        return;
    }
    // Computed once a record: the parameters are built only for a listener.
    if (HasListenerFor(rpevVariableCalc)) {
        Variant sent = Value();
        TrsParamList params;
        params.AddParam("Value", rsVariant, true, false);
        params.BindParam(0, &sent);
        SendEventNotify(this, rpevVariableCalc, &params);
    }
    restored_ = false;
    // A record given back at a footer has printed since: nothing is left to carry.
    footerCalculated_ = takenBack_ = false;
    auto* engine = dynamic_cast<TrpEngine*>(ReportEngine());
    if (lookAheadList_ && LookAheadActive() && engine != nullptr && !engine->SecondPass())
    {
        // Waiting commands take a value only from a later record than theirs.
        auto* pipeline = dynamic_cast<TrpDataPipeline*>(calcComponent_);
        if (pipeline == nullptr && Band() != nullptr && Band()->Report() != nullptr)
            pipeline = Band()->Report()->DataPipeline();
        lookAheadList_->SetValue(GetLookAheadKey(), pipeline != nullptr ? pipeline->TraversalCount() : 0, GetText());
    }
    after_ = slots_;
}

void TrpVariable::Reset() {
    TrpCustomVariable::Reset();
    // Only a page's or column's bounds carry the record on: a group that
    // ends before any other record computed holds the record itself.
    const bool pageOrColumn = resetType_ == vePageEnd || resetType_ == veColumnEnd || resetType_ == vePageStart ||
                              resetType_ == veColumnStart;
    if (pageOrColumn && footerCalculated_) {
        // The record that moved to the next page starts that page's total.
        const TDateTime now = rpNow();
        Slots carried{};
        carried.Currency = footer_.Currency - before_.Currency;
        carried.Double = footer_.Double - before_.Double;
        carried.Extended = footer_.Extended - before_.Extended;
        carried.Integer = footer_.Integer - before_.Integer;
        carried.Single = footer_.Single - before_.Single;
        // An exact total carries its exact part.
        const bool extended = dataType_ == dtExtended;
        carried.Count = rptotal::Difference(footer_.Count, extended ? footer_.Extended : footer_.Double,
                                            before_.Count, extended ? before_.Extended : before_.Double);
        if (!carried.Count.None) (extended ? carried.Extended : carried.Double) = rptotal::ToDouble(carried.Count);
        carried.DateTime = now;
        slots_ = carried;
        text_.clear();
        // The record is still to print: a footer before it does (the next
        // column's, across the page) gives it back again, down to nothing.
        before_ = Slots{};
        before_.DateTime = now;
    } else {
        ClearSlots();
    }
    footerCalculated_ = takenBack_ = false;
    after_ = slots_;
    Variant value = Value();
    if (OnReset) {
        const Variant original = value;
        OnReset(this, value);
        if (!(value == original) || value.VarType() != original.VarType()) SetValue(value);
    }
    Variant sent = Value();
    TrsParamList params;
    params.AddParam("Value", rsVariant, true, false);
    params.BindParam(0, &sent);
    SendEventNotify(this, rpevVariableReset, &params);
}

void TrpVariable::CalcAfterPrint() {
    footer_ = slots_;
    slots_ = before_;
    takenBack_ = true;
}

void TrpVariable::AfterBandPrint() {
    TrpCustomVariable::AfterBandPrint();
    // The footer printed without the record given back; the total has it
    // again, to carry on at a reset or to go on from.
    if (!takenBack_) return;
    slots_ = footer_;
    takenBack_ = false;
}

int TrpVariable::ResetPosition() const {
    TrpCustomReport* report = Band() != nullptr ? Band()->Report() : nullptr;
    auto* engine = ReportEngine();
    switch (resetType_) {
        case veTraversal: {
            TrpDataPipeline* p = dynamic_cast<TrpDataPipeline*>(calcComponent_);
            if (p == nullptr && report != nullptr) p = report->DataPipeline();
            return p != nullptr ? p->TraversalCount() : 0;
        }
        case veDataPipelineTraversal: {
            auto* p = dynamic_cast<TrpDataPipeline*>(resetComponent_);
            return p != nullptr ? p->TraversalCount() : 0;
        }
        case vePageStart:
        case vePageEnd:
        case veColumnStart:
        case veColumnEnd: return engine != nullptr ? engine->AbsolutePageNo() : 0;
        case veGroupStart:
        case veGroupEnd:
        case veGroupBeforeHeader:
        case veGroupBeforeFooter: {
            auto* g = dynamic_cast<TrpGroup*>(resetComponent_);
            return g != nullptr ? g->GroupInstance() : 0;
        }
        default: return 0;
    }
}

std::string TrpVariable::GetLookAheadKey() const {
    int column = 0;
    if (resetType_ == veColumnStart || resetType_ == veColumnEnd)
        if (auto* engine = dynamic_cast<TrpEngine*>(ReportEngine())) column = engine->CurrentColumn();
    return rpLookAheadKeyPrefix(this) + Format("%8d", {ResetPosition()}) + "|" + Format("%8d", {column});
}

void TrpVariable::GetPrintText(std::string& Text) const {
    const Variant value = Value();
    if (!GetPrinting() && Designing()) {
        Text = value.IsEmpty() ? std::string() : value.AsString();
        return;
    }
    if (blankWhenZero_ && IsNumericType(dataType_) && value.AsDouble() == 0) {
        Text.clear();
        return;
    }
    // A total prints from its exact count when it has one.
    const bool exact = (dataType_ == dtDouble || dataType_ == dtExtended) && !OnFormat &&
                       rptotal::FormatText(slots_.Count, dataType_ == dtDouble ? slots_.Double : slots_.Extended,
                                           DisplayFormat(), Text);
    if (!exact) Text = FormatText(dataType_, value);
}

void TrpVariable::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomVariable::PropertiesToDrawCommand(DrawCommand);
    if (LookAheadActive() && lookAheadList_) lookAheadList_->FillCommand(DrawCommand, GetLookAheadKey(), ReportEngine(), this);
}

void TrpVariable::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    record.PutBool(0, Printed());
    record.PutBool(1, OverFlow());
    record.PutBool(2, DrawComponent());
    // A record given back at the last footer carries on from the next
    // record: the values before and with it go with the page and with a
    // kept group's mark.
    record.PutBool(3, footerCalculated_);
    static_assert(sizeof(Slots) <= kSlotsSize);
    static_assert(std::is_trivially_copyable_v<Slots>);
    auto* saved = static_cast<char*>(record.Data()) + kCacheRecordSize;
    std::memcpy(saved, &slots_, sizeof(Slots));
    std::memcpy(saved + kSlotsSize, &before_, sizeof(Slots));
    std::memcpy(saved + 2 * kSlotsSize, &footer_, sizeof(Slots));
    WriteCacheRecord(Page, record.Data());
    pageTexts_[Page] = {text_, pageEnded_};
}

void TrpVariable::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    SetPrinted(record.GetBool(0));
    SetOverFlow(record.GetBool(1));
    SetDrawComponent(record.GetBool(2));
    footerCalculated_ = record.GetBool(3);
    takenBack_ = false;
    const auto* saved = static_cast<const char*>(record.Data()) + kCacheRecordSize;
    std::memcpy(&slots_, saved, sizeof(Slots));
    std::memcpy(&before_, saved + kSlotsSize, sizeof(Slots));
    std::memcpy(&footer_, saved + 2 * kSlotsSize, sizeof(Slots));
    // The page-end mark too: a page made alone hears the end of the page
    // before it again, which the run had already answered.
    if (auto it = pageTexts_.find(Page); it != pageTexts_.end()) {
        text_ = it->second.text;
        pageEnded_ = it->second.pageEnded;
    }
    restored_ = true;
}

// ---------------------------------------------------------------------------
// TrpSystemVariable

TClass TrpSystemVariable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpSystemVariable>("TrpSystemVariable", TrpCustomVariable::StaticClassType())
            .Enum("VarType", rpTypeInfo<TrpVarType>(), &TrpSystemVariable::VarType, &TrpSystemVariable::SetVarType,
                  vtDate)
            .Build();
    return &info;
}

TrpSystemVariable::TrpSystemVariable(TComponent* AOwner) : TrpCustomVariable(AOwner) {
    SetDrawCommandClass(TrpDrawVar::StaticClassType());
}

void TrpSystemVariable::SetVarType(TrpVarType Value) {
    varType_ = Value;
    if (IsReading() || ComponentState().Contains(csLoading)) return;
    // The page count is known only after a first pass.
    if ((Value == vtPageSet || Value == vtPageSetDesc) && Band() != nullptr)
        if (TrpCustomReport* main = MainOf(Band()->Report())) main->SetPassSetting(psTwoPass);
    Invalidate();
}

TrpDataType TrpSystemVariable::GetDataType() const { return SystemDataType(varType_); }

Variant TrpSystemVariable::Value() const { return rpSystemValue(varType_, this); }

void TrpSystemVariable::GetPrintText(std::string& Text) const {
    Text = rpSystemText(varType_, this, DisplayFormat(), OnFormat);
}

void TrpSystemVariable::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomVariable::PropertiesToDrawCommand(DrawCommand);
    if (auto* var = dynamic_cast<TrpDrawVar*>(DrawCommand)) var->SetVarType(varType_);
}

// ---------------------------------------------------------------------------
// TrpCalc

TClass TrpCalc::StaticClassType() {
    static const TClassInfo info =
        [] {
            TClassBuilder<TrpCalc> builder("TrpCalc", TrpCustomText::StaticClassType());
            // The older component also publishes the alignment of the class
            // library, kept in step with TextAlignment.
            rpPublishTextLook(builder, true)
                .Enum("Alignment", rpTypeInfo<TAlignment>(), &TrpCalc::Alignment, &TrpCalc::SetAlignment, taLeftJustify)
                .Enum("CalcType", rpTypeInfo<TrpCalcType>(), &TrpCalc::CalcType, &TrpCalc::SetCalcType, ctDate)
                .Enum("CustomType", rpTypeInfo<TrpDataType>(), &TrpCalc::CustomType, &TrpCalc::SetCustomType, dtString)
                .String("DisplayFormat", &TrpCalc::DisplayFormat, &TrpCalc::SetDisplayFormat)
                .Event("OnCalc", &TrpCalc::OnCalc)
                .Event("OnFormat", &TrpCalc::OnFormat, rpEventTypeInfo("TrpFormatEvent"));
            return builder.Build();
        }();
    return &info;
}

TrpCalc::TrpCalc(TComponent* AOwner) : TrpCustomText(AOwner) {
    SetDrawCommandClass(TrpDrawCalc::StaticClassType());
    SetCacheRecordSize(kCacheRecordSize + kCustomRecordSize);
}

void TrpCalc::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    record.PutBool(0, Printed());
    record.PutBool(1, OverFlow());
    record.PutBool(2, DrawComponent());
    auto* at = static_cast<char*>(record.Data()) + kCacheRecordSize;
    *at = customBoolean_ ? 1 : 0;
    std::memcpy(at + 1, &customDateTime_, 8);
    const std::int32_t integer = customInteger_;
    std::memcpy(at + 9, &integer, 4);
    std::memcpy(at + 13, &customDouble_, 8);
    WriteCacheRecord(Page, record.Data());
    pageTexts_[Page] = customText_;
}

void TrpCalc::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    SetPrinted(record.GetBool(0));
    SetOverFlow(record.GetBool(1));
    SetDrawComponent(record.GetBool(2));
    const auto* at = static_cast<const char*>(record.Data()) + kCacheRecordSize;
    customBoolean_ = *at != 0;
    std::memcpy(&customDateTime_, at + 1, 8);
    std::int32_t integer = 0;
    std::memcpy(&integer, at + 9, 4);
    customInteger_ = integer;
    std::memcpy(&customDouble_, at + 13, 8);
    if (auto it = pageTexts_.find(Page); it != pageTexts_.end()) customText_ = it->second;
}

void TrpCalc::SetCalcType(TrpCalcType Value) {
    if (Value == calcType_) return;
    calcType_ = Value;
    Invalidate();
    PropertyChange();
}

void TrpCalc::SetCustomType(TrpDataType Value) {
    if (!IsReading() && !ComponentState().Contains(csLoading) && calcType_ != ctCustom) return;
    customType_ = Value;
}

void TrpCalc::SetLegacyDataType(const std::string& Identifier) {
    static const std::map<std::string, TrpDataType> kinds{
        {"ftString", dtString},   {"ftSmallint", dtInteger}, {"ftInteger", dtInteger}, {"ftWord", dtInteger},
        {"ftBytes", dtInteger},   {"ftFloat", dtDouble},     {"ftCurrency", dtDouble}, {"ftBoolean", dtBoolean},
        {"ftDate", dtDate},       {"ftTime", dtTime},        {"ftDateTime", dtDateTime}};
    const auto it = kinds.find(Identifier);
    if (it != kinds.end()) customType_ = it->second;
}

void TrpCalc::DefineProperties(TFiler* Filer) {
    TrpCustomText::DefineProperties(Filer);
    Filer->DefineProperty(
        "DataType", [this](TReader* Reader) { SetLegacyDataType(Reader->ReadIdent()); }, nullptr, false);
}

TrpDataType TrpCalc::GetDataType() const {
    switch (calcType_) {
        case ctDate: return dtDate;
        case ctDateTime:
        case ctPrintDateTime: return dtDateTime;
        case ctPageCount:
        case ctPageNo: return dtInteger;
        case ctTime: return dtTime;
        case ctCustom: return customType_;
        default: return dtString;
    }
}

void TrpCalc::SetText(const std::string& Value) {
    if (calcType_ != ctCustom) return;
    customText_ = Value;
    customType_ = dtString;
    StoreText(Value);
}

void TrpCalc::SetCustomValue(const Variant& Value) {
    switch (customType_) {
        case dtBoolean: customBoolean_ = Value.AsBoolean(); break;
        case dtDate:
        case dtTime:
        case dtDateTime: customDateTime_ = Value.AsDouble(); break;
        case dtInteger: customInteger_ = Value.AsInteger(); break;
        case dtDouble: customDouble_ = Value.AsDouble(); break;
        case dtString: customText_ = Value.AsString(); break;
        default: break;
    }
}

Variant TrpCalc::CustomValue() const {
    switch (customType_) {
        case dtBoolean: return Variant(customBoolean_);
        case dtDate:
        case dtTime:
        case dtDateTime: return Variant::FromDateTime(customDateTime_);
        case dtInteger: return Variant(customInteger_);
        case dtDouble: return Variant(customDouble_);
        case dtString: return Variant(customText_);
        default: return Variant();
    }
}

void TrpCalc::GetPrintText(std::string& Text) const {
    if (calcType_ == ctCustom) {
        if (Designing() && !GetPrinting()) {
            Text = "Custom";
            return;
        }
        const Variant v = CustomValue();
        Text = v.IsEmpty() ? std::string() : rpFormatValue(OnFormat ? std::string() : DisplayFormat(), customType_, v);
        if (OnFormat) OnFormat(const_cast<TrpCalc*>(this), DisplayFormat(), customType_, v, Text);
        return;
    }
    Text = rpSystemText(rpCalcTypeToVarType(calcType_), this, DisplayFormat(), OnFormat);
}

void TrpCalc::Compute() {
    if (calcType_ != ctCustom || !GetPrinting()) return;
    if (ResetOnCompute()) Reset();
    SetResetOnCompute(false);
    if (OnCalc) OnCalc(this);
}

void TrpCalc::Reset() {
    TrpCustomText::Reset();
    customBoolean_ = false;
    customDateTime_ = 0;
    customInteger_ = 0;
    customDouble_ = 0;
    customText_.clear();
}

std::string TrpCalc::GetDescription() const {
    // The language modules lack these design-time words: the program's own.
    static const char* const kKinds[] = {"Data",          "Data e hora",  "Data e hora da impressão",
                                         "Total de páginas", "Página de total", "Página de total por extenso",
                                         "Número da página", "Página por extenso", "Hora"};
    const std::string kind = calcType_ == ctCustom ? std::string("Custom") : kKinds[static_cast<int>(calcType_)];
    return kind + ": " + Name();
}

void TrpCalc::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomText::PropertiesToDrawCommand(DrawCommand);
    if (auto* calc = dynamic_cast<TrpDrawCalc*>(DrawCommand)) calc->SetCalcType(calcType_);
}

void rpConvertLegacyCalcs(TrpBand* Band) {
    if (Band == nullptr) return;
    std::vector<TrpCalc*> calcs;
    for (int i = 0; i < Band->ObjectCount(); ++i)
        if (auto* c = dynamic_cast<TrpCalc*>(Band->Objects(i))) calcs.push_back(c);
    for (TrpCalc* old : calcs) {
        TComponent* owner = old->Owner();
        TrpCustomVariable* replacement = nullptr;
        if (old->CalcType() == ctCustom) {
            auto* v = new TrpVariable(owner);
            v->SetDataType(old->CustomType());
            replacement = v;
        } else {
            auto* v = new TrpSystemVariable(owner);
            v->SetVarType(rpCalcTypeToVarType(old->CalcType()));
            replacement = v;
        }
        replacement->SetBand(Band);
        replacement->Font()->Assign(old->Font());
        replacement->SetColor(old->Color());
        replacement->SetTextAlignment(old->TextAlignment());
        replacement->SetTransparent(old->Transparent());
        replacement->SetAutoSize(old->AutoSize());
        replacement->SetWordWrap(old->WordWrap());
        replacement->SetDisplayFormat(old->DisplayFormat());
        replacement->Border()->Assign(old->Border());
        replacement->SetVisible(old->Visible());
        // Last: the settings above may have measured the empty text.
        replacement->SetBounds(old->mmLeft(), old->mmTop(), old->mmWidth(), old->mmHeight());
        const std::string name = old->Name();
        const std::string userName = old->UserName();
        delete old;
        replacement->SetName(name);
        replacement->SetUserName(userName);
    }
}

namespace report_output {

void RegisterVariableClasses() {
    RegisterClass(TrpCustomVariable::StaticClassType());
    RegisterClass(TrpVariable::StaticClassType());
    RegisterClass(TrpSystemVariable::StaticClassType());
    RegisterClass(TrpCalc::StaticClassType());
    TrpBand::SetLegacyCalcConverter(rpConvertLegacyCalcs);
}

void UnregisterVariableClasses() {
    TrpBand::SetLegacyCalcConverter(nullptr);
    UnRegisterClass(TrpCalc::StaticClassType());
    UnRegisterClass(TrpSystemVariable::StaticClassType());
    UnRegisterClass(TrpVariable::StaticClassType());
    UnRegisterClass(TrpCustomVariable::StaticClassType());
}

}  // namespace report_output
