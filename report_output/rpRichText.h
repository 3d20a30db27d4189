#pragma once
// Formatted text in reports: RTF documents laid out on the reference
// device, split over pages at the right character, with field values merged
// into them.
//
// TrpRTFEngine lays a range of a document's characters out into a
// rectangle of a canvas and, when asked, draws it there. Lines are always
// broken on the reference measuring device, whatever the canvas, so the
// preview, the printer and an archived page break them alike; the canvas
// only draws. Documents are QTextDocuments (read by our own RTF reader),
// which are not thread-safe: every engine call holds one recursive lock,
// since background printing lays out on its own thread.
//
// TrpCustomRichText prints its document into its rectangle; with Stretch it
// grows with the text and carries the rest over to the next page from the
// first character that did not fit. The character range of the current page
// lives in the page record, so that a page made again alone continues at
// the same character. Each page gets a TrpDrawRichText holding the whole
// document and the range to show.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <QTextFormat>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Streams.h"
#include "report/rpDrawCommand.h"
#include "report/rpStretchable.h"

class QTextDocument;
class TrpDataPipeline;

// A range of characters: First..Last inclusive; Last -1 runs to the end.
struct TrpCharRange {
    int First = 0;
    int Last = -1;
};

class TrpRTFEngine {
public:
    // The one lock every layout and drawing call holds (re-entrant).
    static std::recursive_mutex& Lock();
    // Lays Range out into Rect (device pixels of Canvas) and, with Render
    // and a canvas that draws, draws it. Returns the first character that
    // did not fit (Range's end + 1 when everything fits).
    static int FormatRange(TCanvas* Canvas, QTextDocument& Doc, const TRect& Rect, TrpCharRange Range,
                           bool Render);
    // As FormatRange without drawing. When not everything fits, LastChar is
    // the last character that fits and Height the rectangle's height; a
    // break that falls only on paragraph ends counts as a complete fit.
    // When everything fits, LastChar is the range's end and Height the
    // height the lines use, trailing paragraph ends left out.
    static void MeasureRange(TCanvas* Canvas, QTextDocument& Doc, const TRect& Rect, TrpCharRange Range,
                             int& LastChar, int& Height);
    // Gives the characters of Selection the background Color (clNone takes
    // the background away) and returns the background the selection's first
    // character had before (clNone when it had none), so that a highlight
    // can be undone by setting that back. An empty selection changes nothing.
    static TColor SetSelectionBackColor(QTextDocument& Doc, TrpCharRange Selection, TColor Color);
    // Same size and the same lines, compared as text.
    static bool StreamsEqual(TStream* A, TStream* B);
    // The number of characters of a document (paragraph ends count one).
    static int TextLength(const QTextDocument& Doc);
    // The document of an RTF text, parsed once per distinct text (a small
    // cache keyed by the text's hash); callers hold the lock while using it.
    static std::shared_ptr<QTextDocument> Parse(const std::string& RTF);
};

// The draw command: the whole RTF document and the range of it a page
// shows. Streamed with the document as "RTFStream" (a 4-byte length and the
// bytes).
class TrpDrawRichText : public TrpDrawCommand {
public:
    explicit TrpDrawRichText(TComponent* AOwner);
    ~TrpDrawRichText() override;
    FAT_CLASS(TrpDrawRichText)

    void Assign(TPersistent* Source) override;
    bool IsEqual(TrpDrawCommand* Other) override;
    void DefineProperties(TFiler* Filer) override;

    TrpDataType DataType() const { return dataType_; }
    void SetDataType(TrpDataType Value) { dataType_ = Value; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    int StartCharPos() const { return startCharPos_; }
    void SetStartCharPos(int Value) { startCharPos_ = Value; }
    int EndCharPos() const { return endCharPos_; }
    void SetEndCharPos(int Value) { endCharPos_ = Value; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value) { transparent_ = Value; }
    TMemoryStream* RichTextStream() const { return stream_.get(); }

    // Draws the range into DeviceRect of a raster device's canvas: the
    // background unless transparent, then the lines. Nothing is drawn for an
    // empty range (both positions -1).
    void DrawOn(TCanvas* Canvas, const TRect& DeviceRect);

private:
    TrpDataType dataType_ = dtBLOB;
    TColor color_ = clWhite;
    int startCharPos_ = 0;
    int endCharPos_ = -1;
    bool transparent_ = false;
    std::unique_ptr<TMemoryStream> stream_;
};

using TrpGetRichTextEvent = std::function<void(TObject* Sender, std::string& Text)>;

class TrpCustomRichText;

// The look of a rich text's selected characters. Reading gives the look of
// the selection's first character (of the one at the caret when nothing is
// selected); each change applies at once to every selected character,
// keeps the rest of their look and is kept in the RTF text. With nothing
// selected a change has nothing to apply to.
class TrpTextAttributes : public TPersistent {
public:
    explicit TrpTextAttributes(TrpCustomRichText* Owner) : owner_(Owner) {}
    FAT_CLASS(TrpTextAttributes)

    std::string Name() const;
    void SetName(const std::string& Value);
    // In points.
    int Size() const;
    void SetSize(int Value);
    TFontStyles Style() const;
    void SetStyle(TFontStyles Value);
    TColor Color() const;
    void SetColor(TColor Value);
    // From a TFont or other text attributes: name, size, style and colour at once.
    void Assign(TPersistent* Source) override;

private:
    QTextCharFormat Look() const;
    void Change(const QTextCharFormat& Format);

    TrpCustomRichText* owner_;
};

// The paragraph look of the paragraphs a rich text's selection touches (the
// caret's paragraph when nothing is selected); reading gives the first
// one's. Indents are in points: LeftIndent for every line, FirstIndent the
// first line's further indent from it (negative for a hanging first line),
// RightIndent from the right edge. A justified paragraph reads as left
// aligned.
class TrpParaAttributes : public TPersistent {
public:
    explicit TrpParaAttributes(TrpCustomRichText* Owner) : owner_(Owner) {}
    FAT_CLASS(TrpParaAttributes)

    TAlignment Alignment() const;
    void SetAlignment(TAlignment Value);
    int FirstIndent() const;
    void SetFirstIndent(int Value);
    int LeftIndent() const;
    void SetLeftIndent(int Value);
    int RightIndent() const;
    void SetRightIndent(int Value);
    // Tab stops in points from the left edge, in ascending order.
    int TabCount() const;
    int Tab(int Index) const;
    // Replaces the paragraphs' tab stops.
    void SetTabs(const std::vector<int>& Stops);
    void Assign(TPersistent* Source) override;

private:
    QTextBlockFormat Look() const;
    void Change(const QTextBlockFormat& Format);

    TrpCustomRichText* owner_;
};

// One "<DBTEXT" tag of a merge: pipeline, display format and field.
struct TrpMergeInfo {
    std::string DataPipelineName;
    std::string DisplayFormat;
    std::string FieldName;
};

class TrpCustomRichText : public TrpStretchable {
public:
    explicit TrpCustomRichText(TComponent* AOwner);
    ~TrpCustomRichText() override;
    FAT_CLASS(TrpCustomRichText)

    static constexpr int kRichTextRecordSize = 24;

    // The RTF text (a plain text is taken as such).
    virtual std::string GetRichText();
    virtual void SetRichText(const std::string& Value);
    // The stream holding the RTF text; subclasses refresh it first.
    virtual TMemoryStream* GetRTFStream();
    virtual void LoadRichText() {}
    // The document as it stands (kept in step with the stream).
    QTextDocument* Document() const { return document_.get(); }
    std::string PlainText() const;
    int TextLength() const;

    bool MailMerge() const { return mailMerge_; }
    void SetMailMerge(bool Value) { mailMerge_ = Value; }
    int StartCharPos() const { return startCharPos_; }
    int EndCharPos() const { return endCharPos_; }

    // Replaces the field tags of the document with the data's values (both
    // steps); done while printing when MailMerge is on.
    void MergeFields();

    // Files and streams of RTF.
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);
    void LoadFromRTFStream(TStream* Stream);
    void SaveToRTFStream(TStream* Stream);
    // The position of Text from StartPos within Length characters; -1 when absent.
    int FindText(const std::string& Text, int StartPos, int Length, bool WholeWord, bool MatchCase) const;

    // The look of the selection's characters and paragraphs (owned).
    TrpTextAttributes* SelAttributes() const { return selAttributes_.get(); }
    TrpParaAttributes* Paragraph() const { return paragraph_.get(); }
    // Gives the selected characters the background Color (clNone: none) and
    // returns the previous one; used to highlight a text that was found.
    TColor SetSelectionBackColor(TColor Color);
    // The document follows the RTF stream (done before each page's part).
    virtual void UpdateRichEdit();

    // Selection formats, as the attribute objects read and change them.
    QTextCharFormat SelCharFormat() const;
    void MergeSelCharFormat(const QTextCharFormat& Format);
    QTextBlockFormat SelBlockFormat() const;
    void MergeSelBlockFormat(const QTextBlockFormat& Format);

    // A selection over the document's characters, as scripts use it.
    int SelStart() const { return selStart_; }
    void SetSelStart(int Value);
    int SelLength() const { return selLength_; }
    void SetSelLength(int Value);
    std::string SelText() const;
    // Replaces the selected characters, keeping the look of the first one.
    void SetSelText(const std::string& Value);
    // The RTF text line by line (a copy made on each call).
    TStrings* RichTextStrings();

    bool HasColor() const override { return true; }
    bool IsMemo() const override { return true; }
    void Init() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

protected:
    void GenerateContent() override;
    // The text changed: the document follows the stream.
    void RichTextChanged();

private:
    // The selection cut to the text: first character and count.
    std::pair<int, int> Selection() const;
    // The document changed by an edit: the RTF text follows it.
    void DocumentEdited();

    std::unique_ptr<TMemoryStream> stream_;
    std::unique_ptr<QTextDocument> document_;
    bool mailMerge_ = false;
    int startCharPos_ = -1;
    int endCharPos_ = -1;
    bool partRemaining_ = false;
    int selStart_ = 0;
    int selLength_ = 0;
    std::unique_ptr<TStringList> richTextStrings_;
    std::unique_ptr<TrpTextAttributes> selAttributes_;
    std::unique_ptr<TrpParaAttributes> paragraph_;
};

class TrpRichText : public TrpCustomRichText {
public:
    explicit TrpRichText(TComponent* AOwner);
    FAT_CLASS(TrpRichText)

    const std::string& RichText() const { return richText_; }
    void SetRichText(const std::string& Value) override;
    std::string GetRichText() override { return richText_; }

private:
    std::string richText_;
};

// Events a data rich text sends.
enum : int {
    rpevGetRichText = 53,
};

class TrpDBRichText : public TrpCustomRichText {
public:
    explicit TrpDBRichText(TComponent* AOwner);
    FAT_CLASS(TrpDBRichText)

    bool AutoDisplay() const { return autoDisplay_; }
    void SetAutoDisplay(bool Value);
    TMemoryStream* GetRTFStream() override;
    void LoadRichText() override;
    bool IsDataAware() const override { return true; }

    TrpGetRichTextEvent OnGetRichText;

private:
    bool autoDisplay_ = true;
};

namespace report_output {
void RegisterRichTextClasses();
void UnregisterRichTextClasses();
}  // namespace report_output
