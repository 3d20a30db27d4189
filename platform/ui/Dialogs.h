#pragma once
// Message boxes, input boxes and the common file and folder dialogs, all
// through one service. The program uses Qt's dialogs; a test installs a
// ScriptedDialogs that answers from a queue and reports any box that nobody
// expected.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

class QString;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
inline constexpr TMsgDlgButtons mbYesNo{mbYes, mbNo};
inline constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// Shows Msg with the caption of its type ("Atenção", "Erro", "Informação",
// "Confirmação"; the application title for mtCustom); returns the modal
// result of the button pressed.
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx = 0);
// A plain box with OK, captioned with the application title.
void ShowMessage(const std::string& Msg);
// The typed text, or ADefault when cancelled.
std::string InputBox(const std::string& ACaption, const std::string& APrompt, const std::string& ADefault);
// True and Value replaced when confirmed; Value untouched when cancelled.
bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value);
// Lets the user choose a folder; true and Directory set when chosen.
bool SelectDirectory(const std::string& Caption, const std::string& Root, std::string& Directory);

enum TOpenOption { ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofAllowMultiSelect,
                   ofPathMustExist, ofFileMustExist, ofCreatePrompt, ofNoReadOnlyReturn };
using TOpenOptions = TSet<TOpenOption>;

class TOpenDialog : public TComponent {
public:
    FAT_CLASS_NAME(TOpenDialog)
    explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

    // True when the user chose a file (FileName holds its full name; with
    // ofAllowMultiSelect, Files holds every file chosen, FileName the first).
    virtual bool Execute();
    const std::vector<std::string>& Files() const { return files_; }

    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& Value) { fileName_ = Value; }
    // "Description|pattern;pattern|Description|pattern", as the class library writes it.
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& Value) { filter_ = Value; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int Value) { filterIndex_ = Value; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& Value) { defaultExt_ = Value; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& Value) { initialDir_ = Value; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions Value) { options_ = Value; }

protected:
    bool Run(bool Save);
    std::string fileName_, filter_, defaultExt_, initialDir_, title_;
    std::vector<std::string> files_;
    int filterIndex_ = 1;
    TOpenOptions options_{ofHideReadOnly};
};

class TSaveDialog : public TOpenDialog {
public:
    FAT_CLASS_NAME(TSaveDialog)
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
    bool Execute() override;
};

namespace ui {

enum class BoxKind { Message, Input, OpenFile, SaveFile, Folder };

// What the program asks the user.
struct BoxRequest {
    BoxKind kind = BoxKind::Message;
    std::string caption;
    std::string text;  // the message, or the prompt of an input box
    TMsgDlgType type = mtCustom;
    TMsgDlgButtons buttons{mbOK};
    TMsgDlgBtn defaultButton = mbOK;
    std::string value;  // input: the proposed text; files: the proposed name or folder
    std::string filter;
    std::string initialDir;
    std::string defaultExt;
    // An open-file choice of several files: the answer lists them, one a line.
    bool multiSelect = false;
};

// The user's answer: the button, and the text or path where one was asked.
struct BoxAnswer {
    TModalResult result = mrCancel;
    std::string text;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual BoxAnswer Show(const BoxRequest& Request) = 0;
};

// The service in use: Qt's boxes unless a test installed another.
DialogService& Dialogs();
// Installs a service (nullptr: back to Qt's); returns the previous one.
DialogService* SetDialogService(DialogService* Service);

// A filter as the class library writes it ("Texto|*.a;*.b|Outro|*.c") in
// Qt's form, each pattern listed once whatever its case.
QString QtFileFilter(const std::string& Filter);

// The button captions the boxes use ("Sim", "Não", "OK", "Cancelar"...).
std::string ButtonCaption(TMsgDlgBtn Button);
// The caption of a box of this type ("Atenção", "Erro"...).
std::string MessageCaption(TMsgDlgType Type);
TModalResult ButtonResult(TMsgDlgBtn Button);

// Answers boxes from a queue, in order, for tests. Installed for its
// lifetime. A box with no queued answer, an answer whose expectation does
// not match the box, and answers left unused at the end are each reported
// through the failure function (a test passes one that fails the test);
// without one they abort the program.
class ScriptedDialogs : public DialogService {
public:
    using FailFn = std::function<void(const std::string& Message)>;
    explicit ScriptedDialogs(FailFn Fail = nullptr);
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // The next box, whatever it says, is answered with Result.
    ScriptedDialogs& Answer(TModalResult Result);
    // The next box must be a message whose text contains TextPart (and, when
    // given, whose caption is Caption); it is answered with Result.
    ScriptedDialogs& Expect(const std::string& TextPart, TModalResult Result, const std::string& Caption = "");
    // The next box is an input box (or a file or folder choice) answered
    // with OK and this text.
    ScriptedDialogs& AnswerText(const std::string& Text);
    // The next box is cancelled.
    ScriptedDialogs& Cancel();

    BoxAnswer Show(const BoxRequest& Request) override;

    // Every box shown so far, in order.
    const std::vector<BoxRequest>& Shown() const { return shown_; }
    int Pending() const { return static_cast<int>(queue_.size()); }
    // Reports unused answers now (the destructor does it too).
    void Verify();

private:
    struct Step {
        std::optional<BoxKind> kind;
        std::string textPart;
        std::string caption;
        BoxAnswer answer;
    };
    void Fail(const std::string& Message);

    FailFn fail_;
    std::deque<Step> queue_;
    std::vector<BoxRequest> shown_;
    DialogService* previous_ = nullptr;
};

}  // namespace ui
