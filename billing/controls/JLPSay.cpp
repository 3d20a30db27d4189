#include "billing/controls/JLPSay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <random>

#include <QFont>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextDocument>

#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace {

constexpr char kFormFeed = '\f';
constexpr char kReturn = '\r';

void ShowError(const std::string& Text) {
    ui::BoxRequest request;
    request.caption = "Erro";
    request.text = Text;
    request.type = mtError;
    ui::Dialogs().Show(request);
}

}  // namespace

TClass TSay::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TSay>("TSay", TComponent::StaticClassType())
                                       .Integer("Copies", &TSay::Copies, &TSay::SetCopies, 1)
                                       .Boolean("EjectEnd", &TSay::EjectEnd, &TSay::SetEjectEnd, 0)
                                       .Object("Footer", TStrings::StaticClassType(), &TSay::Footer, &TSay::SetFooter)
                                       .Object("Header", TStrings::StaticClassType(), &TSay::Header, &TSay::SetHeader)
                                       .Integer("Margin", &TSay::Margin, &TSay::SetMargin, 0)
                                       .String("Output", &TSay::Output, &TSay::SetOutput)
                                       .Integer("StartPag", &TSay::StartPag, &TSay::SetStartPag, 1)
                                       .Boolean("PreviewReadOnly", &TSay::PreviewReadOnly,
                                                &TSay::SetPreviewReadOnly, 0)
                                       .Event("AfterNewPag", &TSay::AfterNewPag)
                                       .Event("OnNewRow", &TSay::OnNewRow)
                                       .Event("OnSay", &TSay::OnSay)
                                       .Event("BeforeNewPag", &TSay::BeforeNewPag)
                                       .Build();
    return &info;
}

namespace {
const bool registered = (RegisterClasses({TSay::StaticClassType()}), true);
}  // namespace

TSay::TSay(TComponent* AOwner)
    : TComponent(AOwner), footer_(std::make_unique<TStringList>()), header_(std::make_unique<TStringList>()) {
    (void)registered;
}

TSay::~TSay() {
    CloseFile();
    DeleteWorkFile();
}

void TSay::SetFooter(TStrings* Value) {
    if (Value == nullptr) footer_->Clear();
    else if (Value != footer_.get()) footer_->Assign(*Value);
}

void TSay::SetHeader(TStrings* Value) {
    if (Value == nullptr) header_->Clear();
    else if (Value != header_.get()) header_->Assign(*Value);
}

TDateTime TSay::Now() const { return clock_ ? clock_() : ::Now(); }

std::string TSay::WorkFolder() const {
    std::string folder = workFolder_;
    if (folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

void TSay::Fire(TNotifyEvent& Event, bool& Idle) {
    if (!Idle) return;
    Idle = false;
    struct Restore {
        bool& flag;
        ~Restore() { flag = true; }
    } restore{Idle};
    if (Event) Event(this);
}

// ---------------------------------------------------------------------------
// The report

bool TSay::StartReport() {
    if (active_) return false;
    DeleteWorkFile();
    page_ = startPag_;
    row_ = 0;
    column_ = 0;
    buffer_.clear();
    active_ = true;

    // A name nobody else holds: the file is created exclusively, and a name
    // another report took in the meantime is simply drawn again.
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> number(0, 99999997);
    std::string folder = WorkFolder();
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = folder + std::to_string(number(random)) + ".prn";
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) workFile_ = name;
        else if (errno != EEXIST) break;
    }
    if (fd < 0) {
        active_ = false;
        return false;
    }
    fd_ = fd;
    if (!Trim(header_->Text()).empty()) PrintHeader();
    if (!active_) return false;
    Fire(AfterNewPag, idleAfterNewPag_);
    return active_;
}

void TSay::Say(int Row, int Col, const std::string& Value) {
    if (!active_) return;
    Fire(OnSay, idleOnSay_);
    if (!active_) return;
    int target = Col + margin_;

    if (Row < row_) {
        Fire(BeforeNewPag, idleBeforeNewPag_);
        if (!active_) return;
        if (!Trim(footer_->Text()).empty()) PrintFooter();
        if (!active_) return;
        buffer_ += kFormFeed;
        buffer_ += kReturn;
        row_ = 0;
        column_ = 0;
        ++page_;
        if (!Trim(header_->Text()).empty()) PrintHeader();
        if (!active_) return;
        Fire(AfterNewPag, idleAfterNewPag_);
        if (!active_) return;
    }

    if (Row > row_) {
        if (!WriteLine(buffer_)) return;
        ++row_;
        Fire(OnNewRow, idleOnNewRow_);
        if (!active_) return;
        buffer_.clear();
        for (int i = row_; i < Row; ++i)
            if (!WriteLine("")) return;
        row_ = Row;
        column_ = 0;
    }

    if (target < column_) {
        if (!buffer_.empty()) buffer_ += kReturn;
        column_ = 0;
    }
    buffer_ += std::string(static_cast<std::size_t>(std::max(0, target - column_)), ' ') + Value;
    column_ = target + Length(Value);
}

void TSay::SayLn(const std::string& Value) {
    Say(row_, column_, Value);
    Say(row_ + 1, 0, "");
}

void TSay::NewPage() { Say(0, 0, ""); }

void TSay::EndReport() {
    if (!active_) return;
    Fire(BeforeNewPag, idleBeforeNewPag_);
    if (!active_) return;
    if (!Trim(footer_->Text()).empty()) PrintFooter();
    if (!active_) return;
    if (ejectEnd_) buffer_ += kFormFeed;
    if (!WriteLine(buffer_)) return;
    active_ = false;
    buffer_.clear();
    if (::close(fd_) != 0) {
        fd_ = -1;
        Fail(errno);
        return;
    }
    fd_ = -1;
}

void TSay::DeleteWorkFile() {
    if (!workFile_.empty()) ::unlink(workFile_.c_str());
}

std::string TSay::Expand(const std::string& Line) const {
    TDateTime now = Now();
    std::string s = StringReplace(Line, "&PAGE.", std::to_string(page_), {rfReplaceAll, rfIgnoreCase});
    s = StringReplace(s, "&DATE.", DateToStr(now), {rfReplaceAll, rfIgnoreCase});
    return StringReplace(s, "&TIME.", TimeToStr(now), {rfReplaceAll, rfIgnoreCase});
}

void TSay::PrintLines(const TStrings& Lines) {
    for (int i = 0; i < Lines.Count() && active_; ++i) SayLn(Expand(Lines.Strings(i)));
}

void TSay::PrintHeader() {
    PrintLines(*header_);
    row_ = header_->Count() - 1;
}

void TSay::PrintFooter() {
    SayLn("");
    PrintLines(*footer_);
}

// ---------------------------------------------------------------------------
// The work file

bool TSay::WriteLine(const std::string& Line) {
    if (fd_ < 0) return false;
    std::string bytes = Utf8ToCp1252(Line);
    bytes += "\r\n";
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void TSay::Fail(int Err) {
    CloseFile();
    active_ = false;
    buffer_.clear();
    ShowError("Não foi possível gravar o relatório no arquivo \"" + workFile_ + "\".\r\n" +
              fileio::SystemMessage(Err));
}

void TSay::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

// ---------------------------------------------------------------------------
// The preview

void TSay::Preview() {
    if (active_) EndReport();
    std::string bytes;
    try {
        if (workFile_.empty()) throw EFOpenError("no work file");
        bytes = fileio::ReadFileBytes(workFile_);
    } catch (const Exception&) {
        ShowError("O relatório não pode ser mostrado: o arquivo \"" + workFile_ + "\" não foi encontrado.");
        return;
    }

    TForm window(nullptr);
    // A temporary file's path means nothing to the clerk.
    window.SetCaption(title_.empty() ? ExtractFileName(workFile_) : title_);
    window.SetWindowState(wsNormal);
    auto* editor = new TMemo(&window);
    editor->SetName("Editor");
    editor->SetParent(&window);
    editor->SetAlign(alClient);
    QFont font(QStringLiteral("Liberation Mono"), 8);
    font.setStyleHint(QFont::Monospace);
    editor->TextEdit()->setFont(font);
    editor->SetFontColor(clWindowText);
    editor->SetScrollBars(ssBoth);
    editor->SetWordWrap(false);
    editor->SetWantReturns(true);
    editor->SetWantTabs(true);
    editor->SetReadOnly(previewReadOnly_);
    // The editor keeps Enter and Tab for the text; Esc closes the preview,
    // as it closes every other window of the program.
    editor->OnKeyDown = [&window](TObject*, Word& Key, TShiftState Shift) {
        if (Key != VK_ESCAPE || !Shift.Empty()) return;
        Key = 0;
        window.Close();
    };
    editor->SetText(Cp1252ToUtf8(bytes));
    editor->SetModified(false);
    // Wide enough for the report's longest line (132 columns for a wide
    // report) beside the scroll bar, as far as the screen allows.
    {
        int columns = 80;
        for (const QString& line : editor->TextEdit()->toPlainText().split(QLatin1Char('\n')))
            columns = std::max(columns, static_cast<int>(line.size()));
        QPlainTextEdit* text = editor->TextEdit();
        const int scrollBar = text->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, text);
        const int width = QFontMetrics(font).horizontalAdvance(QString(columns, QLatin1Char('M'))) +
                          2 * static_cast<int>(text->document()->documentMargin()) + 2 * text->frameWidth() +
                          scrollBar + 8;
        window.SetBounds(0, 0, std::min(std::max(width, 600), Screen->Width()), Screen->Height() - 70);
        window.SetPosition(poScreenCenter);
    }
    // What the editor shows of the file, to tell an edit from a look.
    const std::string loaded = editor->Text();

    previewWindow_ = &window;
    previewEditor_ = editor;
    struct Forget {
        TSay* say;
        ~Forget() {
            say->previewWindow_ = nullptr;
            say->previewEditor_ = nullptr;
        }
    } forget{this};
    window.ShowModal();

    if (editor->ReadOnly() || editor->Text() == loaded) return;
    if (MessageDlg("Você alterou manualmente o relatório.\r\nDeseja Salvar as alterações?", mtConfirmation,
                   mbYesNo) != mrYes)
        return;
    try {
        fileio::WriteFileAtomic(workFile_, Utf8ToCp1252(editor->Text()));
    } catch (const Exception& e) {
        ShowError("Não foi possível gravar as alterações do relatório.\r\n" + e.Message());
    }
}
