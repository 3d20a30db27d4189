#pragma once
// TSay: the text-report printer. The caller places texts at a row and a
// column of a character grid; TSay writes them, line by line, into a plain
// text work file for text printers (code page 1252, one byte per character,
// lines ended by CR LF, pages separated by a form feed and a carriage
// return) and shows the finished file in a preview window.
//
// What a reader must keep in mind:
// - A row is written out only when a later row is addressed, a page ends or
//   the report ends; until then it lives in the line buffer. A column lower
//   than the current one on the same row starts with a carriage return, so
//   the rest is printed over the same line (overprint).
// - Addressing a row lower than the current one ends the page: the buffer
//   takes a form feed and a carriage return, and the new page's first row
//   shares that file line.
// - Each event is guarded against re-entry: a Say made from inside a handler
//   does not fire that same event again.
// - The clock (for the "&DATE." and "&TIME." macros and the boxed header)
//   and the work folder are injectable, so that a report can be compared
//   byte for byte.
// - A write failure ends the report with a message; later calls do nothing.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/TypInfo.h"

class TForm;
class TMemo;

class TSay : public TComponent {
public:
    FAT_CLASS(TSay)
    explicit TSay(TComponent* AOwner);
    ~TSay() override;

    // --- published
    // Stored settings for a text printer; nothing prints through them.
    int Copies() const { return copies_; }
    void SetCopies(int Value) { copies_ = Value < 1 ? 1 : Value; }
    const std::string& Output() const { return output_; }
    void SetOutput(const std::string& Value) { output_ = Value; }
    // A form feed ends the last page.
    bool EjectEnd() const { return ejectEnd_; }
    void SetEjectEnd(bool Value) { ejectEnd_ = Value; }
    // Printed at the end and at the top of every page, one line per item;
    // the setters copy the given lists.
    TStrings* Footer() const { return footer_.get(); }
    void SetFooter(TStrings* Value);
    TStrings* Header() const { return header_.get(); }
    void SetHeader(TStrings* Value);
    // Columns added to every column given to Say; never negative.
    std::int16_t Margin() const { return margin_; }
    void SetMargin(std::int16_t Value) { margin_ = Value < 0 ? 0 : Value; }
    int StartPag() const { return startPag_; }
    void SetStartPag(int Value) { startPag_ = Value; }
    bool PreviewReadOnly() const { return previewReadOnly_; }
    void SetPreviewReadOnly(bool Value) { previewReadOnly_ = Value; }
    // The preview window's caption: the report's title (the boxed header
    // gives one); without it the work file's name, never its folder.
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }

    TNotifyEvent AfterNewPag;   // after a page has begun (and its header is printed)
    TNotifyEvent OnNewRow;      // after a row has been written out
    TNotifyEvent OnSay;         // at the start of every Say
    TNotifyEvent BeforeNewPag;  // before a page ends (before its footer)

    // --- the report
    // Opens a new report in a new work file; false when one is open already
    // or the work file cannot be created.
    bool StartReport();
    // Places Value at Row, Column (both from 0); nothing when no report is open.
    void Say(int Row, int Column, const std::string& Value);
    // Say at the current row and column, then moves to the next row's column 0.
    void SayLn(const std::string& Value);
    // Begins a new page unless the current row is 0.
    void NewPage();
    void EndReport();
    void DeleteWorkFile();
    // Ends an open report and shows the work file. An edited text is written
    // back only when the user answers Yes; a missing file or a failing write
    // is a message.
    void Preview();
    void PrintHeader();
    void PrintFooter();

    // --- run-time state
    int Row() const { return row_; }
    int Column() const { return column_; }
    int Page() const { return page_; }
    bool Active() const { return active_; }
    const std::string& WorkFile() const { return workFile_; }

    // --- seams
    // The time the macros and the header print; the local clock by default.
    void SetClock(std::function<TDateTime()> Clock) { clock_ = std::move(Clock); }
    TDateTime Now() const;
    // The folder for work files; the system's temporary folder by default.
    void SetWorkFolder(const std::string& Folder) { workFolder_ = Folder; }
    std::string WorkFolder() const;
    // The preview window and its editor while Preview shows them.
    TForm* PreviewWindow() const { return previewWindow_; }
    TMemo* PreviewEditor() const { return previewEditor_; }

private:
    void Fire(TNotifyEvent& Event, bool& Idle);
    // Appends the line and CR LF to the work file; false (report ended, the
    // user told) when the write fails.
    bool WriteLine(const std::string& Line);
    void Fail(int Err);
    void CloseFile();
    void PrintLines(const TStrings& Lines);
    std::string Expand(const std::string& Line) const;

    int copies_ = 1;
    bool ejectEnd_ = false;
    std::unique_ptr<TStringList> footer_;
    std::unique_ptr<TStringList> header_;
    std::int16_t margin_ = 0;
    std::string output_ = "PRN";
    int startPag_ = 1;
    bool previewReadOnly_ = false;

    std::string workFile_;
    std::string title_;
    int row_ = 0;
    int column_ = 0;
    std::string buffer_;  // the current row, UTF-8, not yet written
    int page_ = 0;
    bool active_ = false;
    bool idleAfterNewPag_ = true;
    bool idleOnNewRow_ = true;
    bool idleOnSay_ = true;
    bool idleBeforeNewPag_ = true;
    int fd_ = -1;

    std::function<TDateTime()> clock_;
    std::string workFolder_;
    TForm* previewWindow_ = nullptr;
    TMemo* previewEditor_ = nullptr;
};
