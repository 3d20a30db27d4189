#pragma once
// TrpDBText prints one field of a pipeline, formatted by its display format,
// optionally blank when zero or left out while it repeats the previous
// record. TrpDBCalc prints a running count, sum, minimum, maximum or
// average of a field, restarted at its group's break; with LookAhead in a
// two-pass report it prints, already on a group's first page, the total
// the group reaches at its end. TrpLookAheadList keeps those final values
// and the draw commands waiting for them.
//
// Both keep their per-page state in the page record, so a page generated
// again alone prints what it printed the first time.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/rtl/Variant.h"
#include "report/rpDisplayFormat.h"
#include "report_output/rpExactTotal.h"
#include "report_output/rpTextControls.h"

class TDataSet;
class TrpDataPipeline;

class TrpCustomEngine;
class TrpDrawVariable;

using TrpFormatEvent = std::function<void(TObject* Sender, const std::string& DisplayFormat, TrpDataType DataType,
                                          const Variant& Value, std::string& Text)>;

// Events the totals send.
enum : int {
    rpevCalcDone = 33,
    rpevLookAheadValue = 67,
};

class TrpDBText : public TrpCustomText {
public:
    explicit TrpDBText(TComponent* AOwner);
    FAT_CLASS(TrpDBText)

    static constexpr const char* kIgnore = "Ignore";

    bool AlreadyPrinted() const { return alreadyPrinted_; }
    // The field's value as the pipeline gives it, unformatted; integer 0
    // without a pipeline. A data or conversion error while the report
    // generates pages stops the print; otherwise it is ignored (0 again).
    Variant FieldValue();
    bool BlankWhenZero() const { return blankWhenZero_; }
    void SetBlankWhenZero(bool Value);
    int FirstPage() const { return firstPage_; }
    const std::string& PriorValue() const { return priorValue_; }
    bool PriorValueSame() const { return priorValueSame_; }
    bool ReprintOnSubsequent() const { return reprintOnSubsequent_; }
    void SetReprintOnSubsequent(bool Value);
    bool SuppressRepeatedValues() const { return suppressRepeatedValues_; }
    void SetSuppressRepeatedValues(bool Value);

    void GetPrintText(std::string& Text) const override;
    void Compute() override;
    void Reset() override;
    void Init() override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void BandEngineNotify() override;
    void CheckSuppress() override;
    bool IsCalculated() const override { return true; }
    bool IsDataAware() const override { return true; }
    std::string GetDescription() const override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    virtual void RestoreState() {}

    TrpFormatEvent OnFormat;

protected:
    static constexpr int kDBTextRecordSize = 12;
    // Writes the text's part of a page record (the first 12 bytes).
    void PutTextState(TrpCacheRecord& Record) const;
    void GetTextState(const TrpCacheRecord& Record);
    int CurrentPageNo() const;
    void TrackValue();

    // The record's value is formatted when the record is traversed and
    // again when its draw command is made.
    mutable TrpFormatMemo formatMemo_;

private:
    // The record the text was last made for: while its table's change
    // stamp stays, the text is made again only from the memo. A record is
    // asked for its text when traversed, by print handlers and when its
    // draw command is made.
    struct SeenRecord {
        const void* pipeline = nullptr;
        const TDataSet* dataSet = nullptr;
        std::uint64_t stamp = 0;
        std::string dataField;
        bool blankWhenZero = false;
        bool empty = false;  // the value prints as nothing, whatever the format
        bool valid = false;
    };
    const TDataSet* SeenDataSet(const TrpDataPipeline* Pipeline) const;
    mutable SeenRecord seen_;

    bool alreadyPrinted_ = false;
    bool blankWhenZero_ = false;
    int firstPage_ = -1;
    std::string priorValue_;
    bool priorValueSame_ = false;
    bool reprintOnSubsequent_ = false;
    bool suppressRepeatedValues_ = false;
};

class TrpDBCalc;

// The start of a look-ahead key of a control in a child report: one
// "%8d|" per subreport it lies in, outermost first, of the record its
// containing report stands on, so that the child printed for each record
// keeps totals of its own. Empty in the main report.
std::string rpLookAheadKeyPrefix(const TrpComponent* Control);

class TrpLookAheadList {
public:
    explicit TrpLookAheadList(TrpCommunicator* Owner) : owner_(Owner) {}
    ~TrpLookAheadList() { Clear(); }
    TrpLookAheadList(const TrpLookAheadList&) = delete;
    TrpLookAheadList& operator=(const TrpLookAheadList&) = delete;

    void SetValue(const std::string& Key, int TraversalCount, const std::string& Text);
    // A look-ahead text's command gets the value known so far; in the first
    // pass it is also marked to be filled in once the value is final, and
    // Owner hears its listener.
    void FillCommand(TrpDrawCommand* DrawCommand, const std::string& Key, TrpCustomEngine* Engine,
                     TrpCommunicator* Owner) const;
    std::string GetValue(const std::string& Key, const std::string& Default) const;
    // Entries stop listening; they stay.
    void DetachDrawCommands();
    void Clear();
    int Count() const { return static_cast<int>(entries_.size()); }

private:
    TrpCommunicator* owner_;
    std::vector<TrpDrawVariable*> entries_;
};

class TrpDBCalc : public TrpDBText {
public:
    explicit TrpDBCalc(TComponent* AOwner);
    ~TrpDBCalc() override;
    FAT_CLASS(TrpDBCalc)

    TrpDBCalcType DBCalcType() const { return dbCalcType_; }
    void SetDBCalcType(TrpDBCalcType Value);
    bool LookAhead() const { return lookAhead_; }
    void SetLookAhead(bool Value);
    double Value() const { return value_; }
    double Divisor() const { return divisor_; }
    bool LookAheadActive() const;
    std::string GetLookAheadKey() const;
    std::string GetLookAheadValue(const std::string& Key) const;
    TrpLookAheadList* LookAheadList() const { return lookAheadList_.get(); }

    void GetPrintText(std::string& Text) const override;
    void Compute() override;
    void Reset() override;
    void Init() override;
    void StartRun() override;
    void ResetLinkedCalc() override;
    void RestoreState() override;
    void AfterBandPrint() override;
    void SetBand(TrpBand* Value) override;
    bool IsDBCalc() const override { return true; }
    std::string GetDescription() const override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    TNotifyEvent OnCalc;
    TNotifyEvent OnGroupBreak;

private:
    // The text's part, the saved Divisor and Value, the ones before the
    // last Compute (a keep-together roll-back may have to give that record
    // back), then the saved and the previous exact counts.
    static constexpr int kCalcRecordSize = kDBTextRecordSize + 32 + 2 * static_cast<int>(sizeof(rptotal::Exact));
    double FieldValueAsNumber();
    int LookAheadTraversalCount() const;
    std::string TypeWord() const;

    TrpDBCalcType dbCalcType_ = dcSum;
    double divisor_ = 0;
    bool stateSaved_ = false;
    bool lookAhead_ = false;
    std::unique_ptr<TrpLookAheadList> lookAheadList_;
    double value_ = 0;
    double savedDivisor_ = 0;
    double savedValue_ = 0;
    double previousDivisor_ = 0;
    double previousValue_ = 0;
    // The total with the record that moved on, taken back once the footer
    // has printed without it.
    bool carryPending_ = false;
    double carryDivisor_ = 0;
    double carryValue_ = 0;
    // Each total above as an exact count (rpExactTotal.h).
    rptotal::Exact valueCount_;
    rptotal::Exact savedCount_;
    rptotal::Exact previousCount_;
    rptotal::Exact carryCount_;
};

// Event 139 gives back the record counted last, which did not print in the
// column or on the page that ends. Only the footer about to print takes it
// out of its totals: a column's footer at the column's end, the page's
// footer at the page's end (a page's figures keep a record that moved to
// its next column).
bool rpTakesBackInFooter(const TrpCustomText* Control);

namespace report_output {
void RegisterDBTextClasses();
void UnregisterDBTextClasses();
}  // namespace report_output
