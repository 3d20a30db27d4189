#pragma once
// TrpCustomMemo: a multi-line text printed inside its rectangle, wrapped to
// its width. With Stretch it grows down with its text and, when the text
// does not fit the room left on the page, prints what fits and carries on
// at the top of the next page from the first word that did not fit.
// TrpMemo prints its own Lines.
//
// StartPos (a byte offset on a character boundary of the UTF-8 text) is
// where the next page's text starts; it lives in the memo's page record
// with the stretchable's state, so that a page generated again alone
// continues the text where the page before it stopped. Init resets it once
// per run; a page on which no line fits keeps it (starting over would
// print the text twice).
//
// Text is measured on the measuring canvas (the layout device unless the
// program or a test installs another).
#include <functional>
#include <map>
#include <memory>
#include <vector>
#include <string>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"
#include "report/rpStretchable.h"

class TrpCustomReport;

// The canvas memos measure their text on; nullptr restores the layout canvas.
void rpSetMeasuringCanvasFactory(std::function<std::unique_ptr<TCanvas>()> Factory);
std::unique_ptr<TCanvas> rpNewMeasuringCanvas();
// One measuring canvas kept per thread for measuring one text at a time:
// the caller assigns its font before measuring and calls nothing that may
// measure again while it holds it. Made afresh after the factory changes.
TCanvas& rpSharedMeasuringCanvas();
// Changes whenever the measuring canvas factory does: what was measured
// under another number may measure otherwise now.
unsigned rpMeasuringGeneration();

class TrpCustomMemo : public TrpStretchable {
public:
    explicit TrpCustomMemo(TComponent* AOwner);
    ~TrpCustomMemo() override;
    FAT_CLASS(TrpCustomMemo)

    static constexpr int kMemoRecordSize = 16;

    virtual TStrings* GetLines();
    TStrings* Lines() { return GetLines(); }
    virtual void SetLines(TStrings* Value);
    virtual TMemoryStream* GetMemoStream();
    // The lines laid out for the current page.
    virtual TStrings* GetPrintLines() { return wrappedText_.get(); }
    virtual void TextChanged();
    // A copy of the text (empty when there is none).
    virtual std::string GetTextBuffer();
    // The stored text rewritten from the lines as they stand, without
    // asking a data memo's field or handlers again.
    void FormatLines();
    // The lines themselves, without the refresh GetLines may do.
    TStringList* StoredLines() const { return lines_.get(); }

    TStrings* TabStopPositions() const { return tabStopPositions_.get(); }
    void SetTabStopPositions(TStrings* Value);
    bool CharWrap() const { return charWrap_; }
    void SetCharWrap(bool Value);
    int32_t mmLeading() const { return mmLeading_; }
    void SetmmLeading(int32_t Value);
    float Leading() const;
    void SetLeading(float Value);
    int32_t StartPos() const { return startPos_; }
    void SetStartPos(int32_t Value) { startPos_ = Value; }

    bool IsMemo() const override { return true; }
    bool HasFont() const override { return true; }
    bool HasColor() const override { return true; }
    std::string GetText() const override;
    void SetText(const std::string& Value) override;
    void FontChanged() override;
    void Init() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    void DefineProperties(TFiler* Filer) override;
    void Convert(int Version) override;

protected:
    void GenerateContent() override;
    void FillMemoRecord(TrpCacheRecord& Record) const;
    void ReadMemoRecord(const TrpCacheRecord& Record);

private:
    std::unique_ptr<TStringList> lines_;
    std::unique_ptr<TMemoryStream> memoStream_;
    std::unique_ptr<TStringList> wrappedText_;
    std::unique_ptr<TStringList> tabStopPositions_;
    bool charWrap_ = false;
    int32_t mmLeading_ = 0;
    int32_t startPos_ = 0;
};

class TrpMemo : public TrpCustomMemo {
public:
    explicit TrpMemo(TComponent* AOwner);
    FAT_CLASS(TrpMemo)

    void SetLines(TStrings* Value) override;
};

using TrpGetMemoEvent = std::function<void(TObject* Sender, TStrings* Lines)>;

// Events a data memo sends.
enum : int {
    rpevGetMemo = 86,
};

// TrpDBMemo: a memo whose text comes from a field of its data pipeline, or
// from OnGetMemo and the listeners of event 86 while the report prints.
// With AutoDisplay off and nobody supplying the text, it keeps whatever
// text it has when the record changes.
//
// SuppressRepeatedValues leaves out a value equal to the one printed last;
// the first record on a page and the first after a group break print it
// again. What was printed last, on which page, and whether the current
// value is a repeat go into the page record, so that a page generated again
// alone suppresses exactly what the run did.
class TrpDBMemo : public TrpCustomMemo {
public:
    explicit TrpDBMemo(TComponent* AOwner);
    ~TrpDBMemo() override;
    FAT_CLASS(TrpDBMemo)

    static constexpr int kDBMemoRecordSize = 24;

    bool AutoDisplay() const { return autoDisplay_; }
    void SetAutoDisplay(bool Value);
    bool SuppressRepeatedValues() const { return suppressRepeatedValues_; }
    void SetSuppressRepeatedValues(bool Value);
    // Whether the current value repeats the one printed last.
    bool RepeatedValue() const { return repeatedValue_; }
    const std::string& LastValueText() const { return lastValueText_; }
    // The text the repeat test compares: the field's text, else the memo's.
    std::string CurrentValueText();

    TStrings* GetLines() override;
    void TextChanged() override;
    void SetDataField(const std::string& Value) override;
    bool IsDataAware() const override { return true; }
    bool IsCalculated() const override { return suppressRepeatedValues_; }
    void Init() override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    TrpGetMemoEvent OnGetMemo;

protected:
    void GenerateContent() override;

private:
    // Sets RepeatedValue for the current record.
    void ComputeRepeated();
    int CurrentPageNo() const;
    void ListenToGroups(bool Listen);

    bool autoDisplay_ = true;
    bool suppressRepeatedValues_ = false;
    bool refreshing_ = false;
    bool repeatedValue_ = false;
    bool haveLastValue_ = false;
    bool forcedByGroup_ = false;
    int lastPageNo_ = 0;
    std::string lastValueText_;
    // The last value text at the start of each page (the record holds the rest).
    std::map<int, std::string> savedTexts_;
    std::vector<TrpCommunicator*> groupsHeard_;
};

// Every memo of the report's bands whose lines are not empty has its lines
// written afresh into its stored text (FormatLines); a data memo is not
// asked for its data again and keeps the lines it holds.
void rpFormatReportMemos(TrpCustomReport* Report);

namespace report {
void RegisterMemoClasses();
void UnregisterMemoClasses();
}  // namespace report
