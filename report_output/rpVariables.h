#pragma once
// Text controls whose text is computed: TrpVariable (a value the program
// computes on one event and resets on another, kept per page so that a page
// made again shows the same numbers) and TrpSystemVariable (dates, times,
// page numbers and counts, the document name).
//
// A variable in a page or column footer that computes per record gives
// back, when the record counted last has not printed in the page or column
// that ends (event 139), the part of the total that record added: the
// footer prints without it, and the total has it again once the footer has
// printed. A reset at that page's or column's end (or at the next one's
// start) carries that part on, where the record prints. Only the numeric
// slots carry a difference: a Boolean, a character or a date has no
// meaningful difference, so those reset as usual.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/rtl/Variant.h"
#include "report_output/rpDBText.h"

class TrpCustomEngine;

using TrpVarCalcEvent = std::function<void(TObject* Sender, Variant& Value)>;

// Events the variables send.
enum : int {
    rpevVariableCalc = 33,
    rpevVariableReset = 34,
};

class TrpCustomVariable : public TrpCustomText {
public:
    explicit TrpCustomVariable(TComponent* AOwner);
    FAT_CLASS(TrpCustomVariable)

    virtual TrpDataType GetDataType() const { return dtString; }
    bool IsCalculated() const override { return true; }
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

    TrpFormatEvent OnFormat;

protected:
    // The formatted text of Value, with OnFormat when assigned.
    std::string FormatText(TrpDataType DataType, const Variant& Value) const;
};

class TrpVariable : public TrpCustomVariable {
public:
    explicit TrpVariable(TComponent* AOwner);
    ~TrpVariable() override;
    FAT_CLASS(TrpVariable)

    // Every slot but the text, as the page record holds it.
    struct Slots {
        bool Boolean = false;
        char Char = 0;
        std::int64_t Currency = 0;  // ten-thousandths
        double DateTime = 0;
        double Double = 0;
        double Extended = 0;
        std::int32_t Integer = 0;
        float Single = 0;
        // The double or extended total as an exact count (see
        // rpExactTotal.h), while it still stands for that value.
        rptotal::Exact Count;
    };
    static constexpr int kSlotsSize = 80;

    TrpDataType GetDataType() const override { return dataType_; }
    TrpDataType DataType() const { return dataType_; }
    void SetDataType(TrpDataType Value);
    TrpVarEventType CalcType() const { return calcType_; }
    void SetCalcType(TrpVarEventType Value);
    TrpVarEventType ResetType() const { return resetType_; }
    void SetResetType(TrpVarEventType Value);
    TrpCommunicator* CalcComponent() const { return calcComponent_; }
    void SetCalcComponent(TrpCommunicator* Value);
    TrpCommunicator* ResetComponent() const { return resetComponent_; }
    void SetResetComponent(TrpCommunicator* Value);
    int CalcOrder() const;
    void SetCalcOrder(int Value);
    bool LookAhead() const { return lookAhead_; }
    void SetLookAhead(bool Value);
    bool LookAheadActive() const;
    bool BlankWhenZero() const { return blankWhenZero_; }
    void SetBlankWhenZero(bool Value);

    Variant Value() const;
    // Null or empty does nothing; otherwise converted to the slot of DataType.
    void SetValue(const Variant& Value);
    void SetAsBoolean(bool Value);
    void SetAsChar(char Value);
    void SetAsCurrency(double Value);
    void SetAsDateTime(TDateTime Value);
    void SetAsDouble(double Value);
    void SetAsExtended(double Value);
    void SetAsInteger(int Value);
    void SetAsSingle(float Value);
    void SetAsString(const std::string& Value);
    void SetText(const std::string& Value) override { SetAsString(Value); }
    // Adds Amount to a numeric value. Money totals kept this way are exact
    // to the cent: each amount is rounded to ten-thousandths as it comes and
    // the total is counted in them, where Value + Amount in a double drifts
    // once the total passes about 10^12.
    void Accumulate(double Amount);

    const Slots& CurrentSlots() const { return slots_; }
    std::string GetLookAheadKey() const;

    void Init() override;
    void StartRun() override;
    void Compute() override;
    void Reset() override;
    void CalcAfterPrint();
    void AfterBandPrint() override;
    void BandEngineNotify() override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void SetBand(TrpBand* Value) override;
    // A read variable takes its stored place among its band's variables
    // (the order they compute in, which the stream keeps as CalcOrder).
    void Loaded() override;
    std::string GetEventNotifySortKey() const override;
    void GetPrintText(std::string& Text) const override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void DefineProperties(TFiler* Filer) override;
    void ResolveDataPipelineName(TComponent* Owner) override;

    TrpVarCalcEvent OnCalc;
    TrpVarCalcEvent OnReset;
    TNotifyEvent OldOnCalc;

private:
    // Amount in ten-thousandths, exactly as its digits read; false past the
    // money type's range.
    static bool MoneyOf(double Amount, std::int64_t& Raw);
    // A money total past the type's range: during a run the report stops
    // with a report error (its file is not written); elsewhere EOverflow.
    void MoneyOverflow();
    void Subscribe();
    void ClearSlots();
    void Announce();
    void Listen(TrpCommunicator*& Field, TrpCommunicator* Value);
    TrpCommunicator* DefaultComponent(TrpVarEventType Type, TrpCommunicator* Chosen) const;
    int ResetPosition() const;

    TrpVarEventType calcType_ = veTraversal;
    TrpVarEventType resetType_ = veReportEnd;
    TrpCommunicator* calcComponent_ = nullptr;
    TrpCommunicator* resetComponent_ = nullptr;
    // Pipelines read by name, found once the whole report is loaded.
    std::string calcPipelineName_;
    std::string resetPipelineName_;
    TrpDataType dataType_ = dtString;
    bool lookAhead_ = false;
    bool blankWhenZero_ = false;
    int storedCalcOrder_ = -1;
    Slots slots_;
    std::string text_;
    // The text value each page started from, with the page-end mark: they
    // have no room in the fixed page record, and a page generated again
    // alone must show the text the run showed.
    struct PageText {
        std::string text;
        bool pageEnded = false;
    };
    std::map<int, PageText> pageTexts_;
    Slots before_;
    Slots after_;
    Slots footer_;
    int calcEvent_ = 35;
    int resetEvent_ = 14;
    // The record counted last was given back at a footer (footerCalculated_:
    // a reset of the page or column carries it on) and the footer printing
    // now shows the total without it (takenBack_: it has it again once
    // printed).
    bool footerCalculated_ = false;
    bool takenBack_ = false;
    bool pageEnded_ = false;
    bool restored_ = false;
    std::unique_ptr<TrpLookAheadList> lookAheadList_;
};

class TrpSystemVariable : public TrpCustomVariable {
public:
    explicit TrpSystemVariable(TComponent* AOwner);
    FAT_CLASS(TrpSystemVariable)

    TrpVarType VarType() const { return varType_; }
    void SetVarType(TrpVarType Value);
    TrpDataType GetDataType() const override;
    Variant Value() const;
    void GetPrintText(std::string& Text) const override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

private:
    TrpVarType varType_ = vtDate;
};

// The older component that was both: a system value, or (ctCustom) a value
// set by the program in OnCalc. Reports stored before version 3999 have their
// calcs replaced by variables once loading ends.
class TrpCalc : public TrpCustomText {
public:
    explicit TrpCalc(TComponent* AOwner);
    FAT_CLASS(TrpCalc)

    TrpCalcType CalcType() const { return calcType_; }
    virtual void SetCalcType(TrpCalcType Value);
    TrpDataType CustomType() const { return customType_; }
    // Accepted only while loading or for a custom calc.
    void SetCustomType(TrpDataType Value);
    TrpDataType GetDataType() const;
    // Older streams name the type by field type ("ftFloat" ...).
    void SetLegacyDataType(const std::string& Identifier);

    void SetText(const std::string& Value) override;
    void SetCaption(const std::string& Value) override { SetText(Value); }
    void SetCustomValue(const Variant& Value);
    Variant CustomValue() const;
    void GetPrintText(std::string& Text) const override;
    void Compute() override;
    void Reset() override;
    bool IsCalculated() const override { return true; }
    std::string GetDescription() const override;
    void DefineProperties(TFiler* Filer) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    // The page record keeps the Boolean, date-time, integer and double
    // custom values; the text is not kept.
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    TNotifyEvent OnCalc;
    TrpFormatEvent OnFormat;

private:
    static constexpr int kCustomRecordSize = 1 + 8 + 4 + 8;

    TrpCalcType calcType_ = ctDate;
    TrpDataType customType_ = dtString;
    bool customBoolean_ = false;
    double customDateTime_ = 0;
    int customInteger_ = 0;
    double customDouble_ = 0;
    std::string customText_;
    // The custom text each page started from (see TrpVariable).
    std::map<int, std::string> pageTexts_;
};

// The value and the printed text of a system variable of VarType placed
// like On (its report gives the page numbers while printing).
Variant rpSystemValue(TrpVarType VarType, const TrpComponent* On);
std::string rpSystemText(TrpVarType VarType, const TrpComponent* On, const std::string& DisplayFormat,
                         const TrpFormatEvent& OnFormat);

// Replaces every TrpCalc of Band by the variable that does its work.
void rpConvertLegacyCalcs(TrpBand* Band);

namespace report_output {
void RegisterVariableClasses();
void UnregisterVariableClasses();
}  // namespace report_output
