#include "report_output/rpDBText.h"

#include <cstring>
#include <type_traits>

#include "platform/db/DB.h"
#include "report/rpBand.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpDrawCommand.h"
#include "report/rpEngine.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpMainReport.h"
#include "report/rpPipeline.h"
#include "report_output/rpTextLook.h"
#include "report_output/rpExactTotal.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report/rpSubReport.h"
#include "report/rpUtils.h"
#include "report_output/rpGraphics.h"

namespace {

bool IsNumericKind(const Variant& V) {
    switch (V.VarType()) {
        case varSmallint:
        case varInteger:
        case varSingle:
        case varDouble:
        case varCurrency:
        case varDate:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64: return true;
        default: return false;
    }
}

void PutDouble(TrpCacheRecord& Record, int At, double Value) {
    std::memcpy(static_cast<char*>(Record.Data()) + At, &Value, sizeof Value);
}

double GetDouble(const TrpCacheRecord& Record, int At) {
    double v = 0;
    std::memcpy(&v, static_cast<const char*>(Record.Data()) + At, sizeof v);
    return v;
}

bool IsPageBand(const TrpBand* Band) {
    return dynamic_cast<const TrpHeaderBand*>(Band) != nullptr ||
           dynamic_cast<const TrpColumnHeaderBand*>(Band) != nullptr ||
           dynamic_cast<const TrpColumnFooterBand*>(Band) != nullptr ||
           dynamic_cast<const TrpFooterBand*>(Band) != nullptr;
}

bool IsColumnBand(const TrpBand* Band) {
    return dynamic_cast<const TrpColumnHeaderBand*>(Band) != nullptr ||
           dynamic_cast<const TrpColumnFooterBand*>(Band) != nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TrpDBText

TClass TrpDBText::StaticClassType() {
    static const TClassInfo info =
        [] {
            TClassBuilder<TrpDBText> builder("TrpDBText", TrpCustomText::StaticClassType());
            rpPublishLengths(rpPublishTextLook(builder, false))
                .Boolean("BlankWhenZero", &TrpDBText::BlankWhenZero, &TrpDBText::SetBlankWhenZero, 0)
                .String("DataField", &TrpDBText::DataField, &TrpDBText::SetDataField)
                .Boolean("ParentDataPipeline", &TrpDBText::ParentDataPipeline, &TrpDBText::SetParentDataPipeline, 1)
                .Boolean("ReprintOnSubsequent", &TrpDBText::ReprintOnSubsequent,
                         &TrpDBText::SetReprintOnSubsequent, 0)
                .Boolean("SuppressRepeatedValues", &TrpDBText::SuppressRepeatedValues,
                         &TrpDBText::SetSuppressRepeatedValues, 0)
                .String("DisplayFormat", &TrpDBText::DisplayFormat, &TrpDBText::SetDisplayFormat)
                .Event("OnFormat", &TrpDBText::OnFormat, rpEventTypeInfo("TrpFormatEvent"))
                .Object("ResetGroup", TrpGroup::StaticClassType(), &TrpDBText::ResetGroup, &TrpDBText::SetResetGroup);
            rpPublishDataPipeline(builder);
            return builder.Build();
        }();
    return &info;
}

TrpDBText::TrpDBText(TComponent* AOwner) : TrpCustomText(AOwner) {
    SetDefaultAutoSize(false);
    SetTypeCode(12);
    EventSet().set(rpevRecordTraversed);
    SetCacheRecordSize(kDBTextRecordSize);
}

void TrpDBText::SetBlankWhenZero(bool Value) {
    if (Value == blankWhenZero_) return;
    blankWhenZero_ = Value;
    PropertyChange();
}

void TrpDBText::SetReprintOnSubsequent(bool Value) {
    if (Value == reprintOnSubsequent_) return;
    reprintOnSubsequent_ = Value;
    UpdateBand();
    PropertyChange();
}

void TrpDBText::SetSuppressRepeatedValues(bool Value) {
    if (Value == suppressRepeatedValues_) return;
    suppressRepeatedValues_ = Value;
    UpdateBand();
    PropertyChange();
}

int TrpDBText::CurrentPageNo() const {
    TrpCustomEngine* engine = ReportEngine();
    return engine != nullptr ? engine->AbsolutePageNo() : 0;
}

const TDataSet* TrpDBText::SeenDataSet(const TrpDataPipeline* Pipeline) const {
    // Only the table pipeline itself reads nothing but the table's fields;
    // a handler that rewrites the text may answer otherwise each time.
    if (OnFormat || Pipeline == nullptr || Pipeline->ClassType() != TrpDBPipeline::StaticClassType()) return nullptr;
    return static_cast<const TrpDBPipeline*>(Pipeline)->DataSet();
}

void TrpDBText::GetPrintText(std::string& Text) const {
    Text.clear();
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (!DataAvailable()) {
        seen_.valid = false;
        if (PrintingNow()) return;
        if (DataField().empty())
            Text = GetCaption();
        else
            Text = DataField();
        return;
    }
    const TDataSet* dataSet = SeenDataSet(pipeline);
    if (dataSet != nullptr && seen_.valid && seen_.pipeline == pipeline && seen_.dataSet == dataSet &&
        seen_.stamp == dataSet->ChangeStamp() && seen_.blankWhenZero == blankWhenZero_ &&
        seen_.dataField == DataField()) {
        if (seen_.empty) return;
        if (const std::string* known = formatMemo_.Recall(DisplayFormat())) {
            Text = *known;
            return;
        }
    }
    seen_.valid = false;
    const std::uint64_t stamp = dataSet != nullptr ? dataSet->ChangeStamp() : 0;
    // Remembered only when the value was read and formatted without fault.
    auto remember = [&](bool Empty) {
        if (dataSet == nullptr) return;
        seen_.pipeline = pipeline;
        seen_.dataSet = dataSet;
        seen_.stamp = stamp;
        seen_.dataField = DataField();
        seen_.blankWhenZero = blankWhenZero_;
        seen_.empty = Empty;
        seen_.valid = true;
    };
    TrpDataType dataType = dtNotKnown;
    Variant value;
    try {
        dataType = pipeline->GetFieldDataType(DataField());
    } catch (const std::exception&) {
        dataType = dtNotKnown;
    }
    const std::string format = OnFormat ? std::string() : DisplayFormat();
    bool readable = true;
    try {
        value = pipeline->GetFieldValue(DataField());
    } catch (const std::exception&) {
        readable = false;
    }
    if (readable) {
        if ((blankWhenZero_ && !value.IsNull() && IsNumericKind(value) && value.AsDouble() == 0) ||
            (value.VarType() == varString && value.AsString().empty()) ||
            (value.IsNull() && (dataType == dtDate || dataType == dtDateTime))) {
            remember(true);
            return;
        }
        try {
            Text = formatMemo_.Format(format, dataType, value);
            remember(false);
        } catch (const std::exception&) {
            Text.clear();
        }
    }
    if (OnFormat) OnFormat(const_cast<TrpDBText*>(this), DisplayFormat(), dataType, value, Text);
}

Variant TrpDBText::FieldValue() {
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (pipeline == nullptr) return Variant(int32_t{0});
    auto stopPrinting = [this](const std::exception& Error) {
        TrpCustomEngine* engine = ReportEngine();
        if (engine != nullptr && engine->Generating()) Band()->Report()->HandlePrintError(Error);
    };
    try {
        return pipeline->GetFieldValue(DataField());
    } catch (const EDatabaseError& e) {
        stopPrinting(e);
    } catch (const EConvertError& e) {
        stopPrinting(e);
    }
    return Variant(int32_t{0});
}

void TrpDBText::TrackValue() {
    std::string current = GetText();
    if (suppressRepeatedValues_ && !reprintOnSubsequent_ && ResetGroup() != nullptr && priorValue_ == kIgnore) {
        priorValueSame_ = true;
        return;
    }
    if (!ResetOnCompute() && priorValue_ == current) {
        priorValueSame_ = true;
        return;
    }
    priorValue_ = std::move(current);
    priorValueSame_ = false;
    firstPage_ = CurrentPageNo();
}

void TrpDBText::Compute() {
    TrackValue();
    SetResetOnCompute(false);
}

void TrpDBText::Reset() {
    TrpCustomText::Reset();
    alreadyPrinted_ = false;
    firstPage_ = -1;
    priorValue_.clear();
    priorValueSame_ = false;
}

void TrpDBText::Init() {
    TrpCustomText::Init();
    alreadyPrinted_ = false;
    firstPage_ = -1;
    priorValue_.clear();
    priorValueSame_ = false;
    SetResetOnCompute(true);
    if (TrpCustomEngine* engine = ReportEngine()) engine->AddEventNotify(this);
}

void TrpDBText::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCustomText::EventNotify(Sender, EventNumber, Params);
    if (Sender == nullptr) return;
    if (ResetGroup() != nullptr && Sender == ResetGroup() && EventNumber == rpevAfterGroupBreak) {
        Reset();
    } else if (Sender == ReportEngine()) {
        if (EventNumber == rpevRecordTraversed)
            Compute();
        else if (EventNumber == rpevNoRoomForDynamicBand && rpTakesBackInFooter(this))
            RestoreState();
    }
}

void TrpDBText::BandEngineNotify() {
    if (firstPage_ != -1) alreadyPrinted_ = !reprintOnSubsequent_;
}

void TrpDBText::CheckSuppress() {
    bool print;
    TrpDataPipeline* pipeline = GetDataPipeline();
    const bool atFirst = pipeline != nullptr && pipeline->Bof();
    if (!priorValueSame_ || (atFirst && !alreadyPrinted_)) {
        alreadyPrinted_ = false;
        print = true;
    } else if (!suppressRepeatedValues_) {
        print = DrawComponent();
    } else if (reprintOnSubsequent_) {
        print = CurrentPageNo() > firstPage_ && !alreadyPrinted_;
    } else {
        print = false;
    }
    if (!print) {
        SetSpaceUsed(0);
        SetDrawComponent(false);
    } else {
        alreadyPrinted_ = true;
    }
}

std::string TrpDBText::GetDescription() const {
    if (DataField().empty()) return UserName();
    return UserName() + ": " + DataField();
}

void TrpDBText::PutTextState(TrpCacheRecord& Record) const {
    Record.PutBool(0, DrawComponent());
    Record.PutBool(1, alreadyPrinted_);
    Record.PutInt(2, firstPage_);
    Record.PutBool(6, priorValueSame_);
    Record.PutBool(7, ResetOnCompute());
    Record.PutBool(8, Printed());
    Record.PutBool(9, OverFlow());
}

void TrpDBText::GetTextState(const TrpCacheRecord& Record) {
    SetDrawComponent(Record.GetBool(0));
    alreadyPrinted_ = Record.GetBool(1);
    firstPage_ = Record.GetInt(2);
    priorValueSame_ = Record.GetBool(6);
    SetResetOnCompute(Record.GetBool(7));
    SetPrinted(Record.GetBool(8));
    SetOverFlow(Record.GetBool(9));
    if (suppressRepeatedValues_ && !reprintOnSubsequent_ && ResetGroup() != nullptr) priorValue_ = kIgnore;
}

void TrpDBText::ResetCache(int /*Page*/) {}

void TrpDBText::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    PutTextState(record);
    WriteCacheRecord(Page, record.Data());
}

void TrpDBText::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    GetTextState(record);
}

// ---------------------------------------------------------------------------
// TrpLookAheadList

void TrpLookAheadList::SetValue(const std::string& Key, int TraversalCount, const std::string& Text) {
    for (TrpDrawVariable* entry : entries_) {
        if (entry->LookAheadKey() == Key) {
            TrsParamList params;
            std::string key = Key;
            int32_t count = TraversalCount;
            std::string text = Text;
            params.AddParam("aLookAheadKey", rsString, false, false);
            params.AddParam("aTraversalCount", rsInteger, false, false);
            params.AddParam("aText", rsString, false, false);
            params.BindParam(0, &key);
            params.BindParam(1, &count);
            params.BindParam(2, &text);
            owner_->SendEventNotify(owner_, rpevLookAheadValue, &params);
            return;
        }
        // Met before the key: its value is final.
        if (entry->Listener() != nullptr) owner_->RemoveEventNotify(entry->Listener());
    }
    auto* entry = new TrpDrawVariable(nullptr);
    entry->SetText(Text);
    entry->SetDeferred(true);
    entry->SetLookAheadKey(Key);
    if (entry->Listener() != nullptr) owner_->AddEventNotify(entry->Listener());
    entries_.push_back(entry);
    // The entry's own copy of the text follows the event like any waiting command.
    (void)TraversalCount;
}

void TrpLookAheadList::FillCommand(TrpDrawCommand* DrawCommand, const std::string& Key, TrpCustomEngine* Engine,
                                   TrpCommunicator* Owner) const {
    auto* variable = dynamic_cast<TrpDrawVariable*>(DrawCommand);
    if (variable == nullptr) return;
    variable->SetText(GetValue(Key, variable->Text()));
    auto* engine = dynamic_cast<TrpEngine*>(Engine);
    if (engine != nullptr && !engine->SecondPass()) {
        variable->SetDeferred(true);
        variable->SetLookAheadKey(Key);
        if (variable->Listener() != nullptr) Owner->AddEventNotify(variable->Listener());
    }
}

std::string TrpLookAheadList::GetValue(const std::string& Key, const std::string& Default) const {
    for (const TrpDrawVariable* entry : entries_)
        if (entry->LookAheadKey() == Key) return entry->Text();
    return Default;
}

void TrpLookAheadList::DetachDrawCommands() {
    for (TrpDrawVariable* entry : entries_)
        if (entry->Listener() != nullptr) owner_->RemoveEventNotify(entry->Listener());
}

void TrpLookAheadList::Clear() {
    for (TrpDrawVariable* entry : entries_) {
        if (entry->Listener() != nullptr) owner_->RemoveEventNotify(entry->Listener());
        delete entry;
    }
    entries_.clear();
}

// ---------------------------------------------------------------------------
// TrpDBCalc

TClass TrpDBCalc::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDBCalc>("TrpDBCalc", TrpDBText::StaticClassType())
            .Enum("DBCalcType", rpTypeInfo<TrpDBCalcType>(), &TrpDBCalc::DBCalcType, &TrpDBCalc::SetDBCalcType, dcSum)
            .Boolean("LookAhead", &TrpDBCalc::LookAhead, &TrpDBCalc::SetLookAhead, 0)
            .Event("OnCalc", &TrpDBCalc::OnCalc)
            .Event("OnGroupBreak", &TrpDBCalc::OnGroupBreak)
            .Build();
    return &info;
}

TrpDBCalc::TrpDBCalc(TComponent* AOwner) : TrpDBText(AOwner) {
    SetTypeCode(32);
    SetDrawCommandClass(TrpDrawVariable::StaticClassType());
    SetCacheRecordSize(kCalcRecordSize);
}

TrpDBCalc::~TrpDBCalc() { lookAheadList_.reset(); }

void TrpDBCalc::SetDBCalcType(TrpDBCalcType Value) {
    dbCalcType_ = Value;
    if (Designing() && !PrintingNow()) PropertyChange();
    UpdateBand();
}

void TrpDBCalc::SetLookAhead(bool Value) {
    if (PrintingNow()) return;
    lookAhead_ = Value;
    if (!IsReading() && !ComponentState().Contains(csLoading) && Value && Band() != nullptr &&
        Band()->Report() != nullptr) {
        TrpCustomReport* main = Band()->Report()->GetMainReport();
        (main != nullptr ? main : Band()->Report())->SetPassSetting(psTwoPass);
    }
    PropertyChange();
    UpdateBand();
}

bool TrpDBCalc::LookAheadActive() const {
    if (!lookAhead_ || Band() == nullptr || Band()->Report() == nullptr) return false;
    TrpCustomReport* main = Band()->Report()->GetMainReport();
    return (main != nullptr ? main : Band()->Report())->PassSetting() == psTwoPass;
}

std::string rpLookAheadKeyPrefix(const TrpComponent* Control) {
    std::string prefix;
    const TrpCustomReport* report = Control->Band() != nullptr ? Control->Band()->Report() : nullptr;
    while (auto* child = dynamic_cast<const TrpChildReport*>(report)) {
        TrpSubReport* sub = child->SubReport();
        if (sub == nullptr || sub->Band() == nullptr) break;
        report = sub->Band()->Report();
        const TrpDataPipeline* pipeline = report != nullptr ? report->DataPipeline() : nullptr;
        prefix = Format("%8d", {pipeline != nullptr ? pipeline->TraversalCount() : 0}) + "|" + prefix;
    }
    return prefix;
}

std::string TrpDBCalc::GetLookAheadKey() const {
    int a = 0;
    int b = 0;
    if (ResetGroup() != nullptr) {
        a = ResetGroup()->GroupInstance();
    } else if (IsPageBand(Band())) {
        a = CurrentPageNo();
        if (IsColumnBand(Band())) {
            auto* engine = dynamic_cast<TrpEngine*>(ReportEngine());
            b = engine != nullptr ? engine->CurrentColumn() : 0;
        }
    }
    return rpLookAheadKeyPrefix(this) + Format("%8d", {a}) + "|" + Format("%8d", {b});
}

std::string TrpDBCalc::GetLookAheadValue(const std::string& Key) const {
    return lookAheadList_ ? lookAheadList_->GetValue(Key, "0") : std::string("0");
}

int TrpDBCalc::LookAheadTraversalCount() const {
    if (TrpDataPipeline* p = GetDataPipeline()) return p->TraversalCount();
    if (ResetGroup() != nullptr && ResetGroup()->DataPipeline() != nullptr)
        return ResetGroup()->DataPipeline()->TraversalCount();
    if (Band() != nullptr && Band()->Report() != nullptr && Band()->Report()->DataPipeline() != nullptr)
        return Band()->Report()->DataPipeline()->TraversalCount();
    return 0;
}

double TrpDBCalc::FieldValueAsNumber() {
    if (ResetOnCompute()) {
        if (OnGroupBreak) OnGroupBreak(this);
        SendEventNotify(this, rpevGroupBreak, nullptr);
    }
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (pipeline == nullptr || DataField().empty()) return 0;
    Variant v;
    try {
        v = pipeline->GetFieldValue(DataField());
    } catch (const std::exception&) {
        return 0;
    }
    if (v.IsNull()) return 0;
    if (IsNumericKind(v)) return v.AsDouble();
    return 0;
}

void TrpDBCalc::Compute() {
    previousValue_ = value_;
    previousCount_ = valueCount_;
    previousDivisor_ = divisor_;
    TrpDataPipeline* pipeline = GetDataPipeline();
    const bool noRecords = pipeline != nullptr && pipeline->Bof() && pipeline->Eof();
    if (noRecords) {
        TrpDataPipeline* own = Band() != nullptr && Band()->Report() != nullptr ? Band()->Report()->DataPipeline()
                                                                                 : nullptr;
        if (own != nullptr && own->Bof() && own->Eof()) value_ = 0;
    } else {
        const double x = FieldValueAsNumber();
        divisor_ += 1;
        switch (dbCalcType_) {
            case dcCount: value_ = divisor_; break;
            case dcSum:
            case dcAverage: value_ = rptotal::Add(valueCount_, value_, x); break;
            case dcMinimum: value_ = ResetOnCompute() || x < value_ ? x : value_; break;
            case dcMaximum: value_ = ResetOnCompute() || x > value_ ? x : value_; break;
        }
    }
    TrpDBText::Compute();
    if (OnCalc) OnCalc(this);
    SendEventNotify(this, rpevCalcDone, nullptr);
    auto* engine = dynamic_cast<TrpEngine*>(ReportEngine());
    if (lookAheadList_ && LookAheadActive() && engine != nullptr && !engine->SecondPass())
        lookAheadList_->SetValue(GetLookAheadKey(), LookAheadTraversalCount(), GetText());
    savedValue_ = value_;
    savedCount_ = valueCount_;
    savedDivisor_ = divisor_;
}

void TrpDBCalc::Reset() {
    TrpDBText::Reset();
    carryPending_ = false;
    value_ = divisor_ = previousValue_ = previousDivisor_ = savedValue_ = savedDivisor_ = 0;
    valueCount_ = previousCount_ = savedCount_ = rptotal::Exact{};
    if (stateSaved_ && (dynamic_cast<TrpFooterBand*>(Band()) != nullptr ||
                        dynamic_cast<TrpColumnFooterBand*>(Band()) != nullptr)) {
        stateSaved_ = false;
        SaveToCache(CurrentPageNo());
    }
}

void TrpDBCalc::Init() {
    TrpDBText::Init();
    carryPending_ = false;
    value_ = divisor_ = previousValue_ = previousDivisor_ = savedValue_ = savedDivisor_ = 0;
    valueCount_ = previousCount_ = savedCount_ = rptotal::Exact{};
    if (dynamic_cast<TrpFooterBand*>(Band()) != nullptr || dynamic_cast<TrpColumnFooterBand*>(Band()) != nullptr)
        EventSet().set(rpevNoRoomForDynamicBand);
    else
        EventSet().reset(rpevNoRoomForDynamicBand);
}

void TrpDBCalc::StartRun() {
    TrpDBText::StartRun();
    lookAheadList_.reset();
    if (LookAheadActive()) lookAheadList_ = std::make_unique<TrpLookAheadList>(this);
}

void TrpDBCalc::ResetLinkedCalc() {
    if (lookAheadList_) lookAheadList_->DetachDrawCommands();
}

void TrpDBCalc::RestoreState() {
    carryPending_ = true;
    carryValue_ = value_;
    carryCount_ = valueCount_;
    carryDivisor_ = divisor_;
    value_ = previousValue_;
    valueCount_ = previousCount_;
    divisor_ = previousDivisor_;
}

// The record left out of this footer prints on the next page and belongs to
// the total from there on; without this it would be lost for good.
void TrpDBCalc::AfterBandPrint() {
    TrpDBText::AfterBandPrint();
    if (!carryPending_) return;
    carryPending_ = false;
    value_ = carryValue_;
    valueCount_ = carryCount_;
    divisor_ = carryDivisor_;
}

void TrpDBCalc::SetBand(TrpBand* Value) {
    TrpDBText::SetBand(Value);
    if (!Designing() || ComponentState().Contains(csLoading)) return;
    if (auto* groupBand = dynamic_cast<TrpGroupBand*>(Value))
        SetResetGroup(groupBand->Group());
    else
        SetResetGroup(nullptr);
}

std::string TrpDBCalc::TypeWord() const { return rpLanguageText(1028 + static_cast<int>(dbCalcType_)); }

std::string TrpDBCalc::GetDescription() const {
    std::string d = UserName() + ": " + TypeWord() + "(";
    if (DataField().empty()) return d + (dbCalcType_ == dcCount ? "*)" : "?)");
    return d + DataField() + ")";
}

void TrpDBCalc::GetPrintText(std::string& Text) const {
    Text.clear();
    if (Designing() && !PrintingNow()) {
        Text = TypeWord() + "(";
        if (DataField().empty())
            Text += dbCalcType_ == dcCount ? "*)" : "?)";
        else
            Text += DataField() +
                    ")";
        return;
    }
    double v = value_;
    if (dbCalcType_ == dcAverage) v = divisor_ == 0 ? 0 : value_ / divisor_;
    TrpDataType dataType = dtDouble;
    if (dbCalcType_ == dcCount) {
        dataType = dtInteger;
    } else if (GetDataPipeline() != nullptr && !DataField().empty()) {
        TrpDataType fieldType = dtNotKnown;
        try {
            fieldType = GetDataPipeline()->GetFieldDataType(DataField());
        } catch (const std::exception&) {
        }
        if (fieldType == dtDate || fieldType == dtTime || fieldType == dtDateTime) dataType = dtDateTime;
    }
    const Variant value = dataType == dtInteger ? Variant(static_cast<int>(v)) : Variant(v);
    if (BlankWhenZero() && v == 0) {
    } else if (!(dataType == dtDateTime && v == 0)) {
        // A sum prints from its exact count when it has one.
        if (OnFormat || dbCalcType_ != dcSum || dataType != dtDouble ||
            !rptotal::FormatText(valueCount_, value_, DisplayFormat(), Text))
            Text = formatMemo_.Format(OnFormat ? std::string() : DisplayFormat(), dataType, value);
    }
    if (OnFormat) OnFormat(const_cast<TrpDBCalc*>(this), DisplayFormat(), dataType, value, Text);
}

void TrpDBCalc::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpDBText::PropertiesToDrawCommand(DrawCommand);
    if (LookAheadActive() && lookAheadList_) lookAheadList_->FillCommand(DrawCommand, GetLookAheadKey(), ReportEngine(), this);
}

static_assert(std::is_trivially_copyable_v<rptotal::Exact>, "the exact counts are copied into the page record");

void TrpDBCalc::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    PutTextState(record);
    PutDouble(record, kDBTextRecordSize, savedDivisor_);
    PutDouble(record, kDBTextRecordSize + 8, savedValue_);
    PutDouble(record, kDBTextRecordSize + 16, previousDivisor_);
    PutDouble(record, kDBTextRecordSize + 24, previousValue_);
    // The exact totals travel in the record itself: a page made again alone,
    // or a kept group rolled back (whose mark is a record too), goes on from
    // the same cents.
    auto* counts = static_cast<char*>(record.Data()) + kDBTextRecordSize + 32;
    std::memcpy(counts, &savedCount_, sizeof(rptotal::Exact));
    std::memcpy(counts + sizeof(rptotal::Exact), &previousCount_, sizeof(rptotal::Exact));
    WriteCacheRecord(Page, record.Data());
    stateSaved_ = true;
}

void TrpDBCalc::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    GetTextState(record);
    divisor_ = savedDivisor_ = GetDouble(record, kDBTextRecordSize);
    value_ = savedValue_ = GetDouble(record, kDBTextRecordSize + 8);
    previousDivisor_ = GetDouble(record, kDBTextRecordSize + 16);
    previousValue_ = GetDouble(record, kDBTextRecordSize + 24);
    const auto* counts = static_cast<const char*>(record.Data()) + kDBTextRecordSize + 32;
    std::memcpy(&savedCount_, counts, sizeof(rptotal::Exact));
    std::memcpy(&previousCount_, counts + sizeof(rptotal::Exact), sizeof(rptotal::Exact));
    valueCount_ = savedCount_;
    carryPending_ = false;
}

bool rpTakesBackInFooter(const TrpCustomText* Control) {
    const TrpBand* band = Control->Band();
    const TrpCustomReport* report = band != nullptr ? band->Report() : nullptr;
    const TrpCustomEngine* engine = report != nullptr ? report->Engine() : nullptr;
    if (engine == nullptr) return false;
    const TrpEngineSections state = engine->BandState();
    if (dynamic_cast<const TrpColumnFooterBand*>(band) != nullptr) return state.Contains(TrpEngineSection::ColumnFooter);
    if (dynamic_cast<const TrpFooterBand*>(band) != nullptr)
        return state.Contains(TrpEngineSection::PageFooter) && !state.Contains(TrpEngineSection::ColumnFooter);
    return false;
}

namespace report_output {

void RegisterDBTextClasses() {
    RegisterClass(TrpDBText::StaticClassType());
    RegisterClass(TrpDBCalc::StaticClassType());
}

void UnregisterDBTextClasses() {
    UnRegisterClass(TrpDBCalc::StaticClassType());
    UnRegisterClass(TrpDBText::StaticClassType());
}

}  // namespace report_output
