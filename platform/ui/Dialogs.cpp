#include "platform/ui/Dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpacerItem>
#include <QSplitter>
#include <QTreeView>

#include "platform/ui/Desktop.h"
#include "platform/ui/Forms.h"

using ui::ToQt;
using ui::ToStd;

namespace ui {

// Each button's letter differs from every other's, so that a box of any
// set of them answers each by its own.
std::string ButtonCaption(TMsgDlgBtn Button) {
    switch (Button) {
    case mbYes: return "&Sim";
    case mbNo: return "&Não";
    case mbOK: return "&OK";
    case mbCancel: return "&Cancelar";
    case mbAbort: return "&Abortar";
    case mbRetry: return "&Repetir";
    case mbIgnore: return "&Ignorar";
    case mbAll: return "&Todos";
    case mbNoToAll: return "N&ão para Todos";
    case mbYesToAll: return "Sim &para Todos";
    case mbHelp: return "A&juda";
    }
    return "";
}

std::string MessageCaption(TMsgDlgType Type) {
    switch (Type) {
    case mtWarning: return "Atenção";
    case mtError: return "Erro";
    case mtInformation: return "Informação";
    case mtConfirmation: return "Confirmação";
    case mtCustom: break;
    }
    return Application->Title();
}

TModalResult ButtonResult(TMsgDlgBtn Button) {
    switch (Button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
    }
    return mrNone;
}

// "Texto|*.a;*.A;*.b|Outro|*.c" -> "Texto (*.a *.b);;Outro (*.c)": each
// pattern once, whatever its spellings; the dialog matches names without
// regard to case, so "*.db" also lists "X.DB".
QString QtFileFilter(const std::string& Filter) {
    QStringList parts = ToQt(Filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            QString t = p.trimmed();
            if (!t.isEmpty() && !patterns.contains(t, Qt::CaseInsensitive)) patterns << t;
        }
        // A description that names its patterns already keeps them once.
        const QString named = " (" + patterns.join(' ') + ")";
        out << (parts[i].endsWith(named) ? parts[i] : parts[i] + named);
    }
    return out.join(";;");
}

namespace {

QWidget* DialogParent() {
    QWidget* w = QApplication::activeWindow();
    if (w == nullptr && Application->MainForm() != nullptr) w = Application->MainForm()->Widget();
    return w;
}

// Room in a title bar beside its caption: the window's icon and its close,
// minimise and maximise buttons, as the window managers draw them.
constexpr int kTitleBarButtons = 4 * 28;

// A box sizes itself to its text and buttons; a short text under a long
// caption would leave the caption cut in the title bar, beside the window
// manager's buttons.
void WidenToCaption(QMessageBox& Box) {
    auto* grid = qobject_cast<QGridLayout*>(Box.layout());
    if (grid == nullptr) return;
    QFont title = Box.font();
    title.setBold(true);
    const int width = QFontMetrics(title).horizontalAdvance(Box.windowTitle()) + kTitleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// The folder listing of a file dialog in the program's language: the type
// of each entry and its date as a Brazilian clerk reads them, whatever the
// system's locale and Qt's own catalogues say.
class PortugueseListing : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    QVariant data(const QModelIndex& Index, int Role) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (files == nullptr || Role != Qt::DisplayRole || !Index.isValid())
            return QSortFilterProxyModel::data(Index, Role);
        const QFileInfo info = files->fileInfo(mapToSource(Index));
        switch (Index.column()) {
        case 1:
            if (info.isDir()) return QString();
            return Brazil().formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat);
        case 2: return TypeOf(info);
        case 3: return Brazil().toString(info.lastModified(), QStringLiteral("dd/MM/yyyy HH:mm"));
        default: return QSortFilterProxyModel::data(Index, Role);
        }
    }

    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override {
        static const char* const kTitles[] = {"Nome", "Tamanho", "Tipo", "Data de modificação"};
        if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < 4)
            return QString::fromUtf8(kTitles[Section]);
        return QSortFilterProxyModel::headerData(Section, Orientation, Role);
    }

    static QString TypeOf(const QFileInfo& Info) {
        if (Info.isRoot()) return QStringLiteral("Unidade");
        if (Info.isDir()) return QStringLiteral("Pasta");
        const QString suffix = Info.suffix();
        return suffix.isEmpty() ? QStringLiteral("Arquivo") : QStringLiteral("Arquivo ") + suffix.toUpper();
    }

private:
    static QLocale Brazil() { return QLocale(QLocale::Portuguese, QLocale::Brazil); }
};

void ListInPortuguese(QFileDialog& Dialog) {
    Dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    Dialog.setProxyModel(new PortugueseListing(&Dialog));
    // Wide enough for a date and its column's title, the places beside the
    // list named whole.
    Dialog.resize(std::max(Dialog.width(), 820), std::max(Dialog.height(), 480));
    if (auto* details = Dialog.findChild<QTreeView*>()) {
        QHeaderView* header = details->header();
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < 4; ++column) header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (auto* places = Dialog.findChild<QSplitter*>()) places->setSizes({170, Dialog.width() - 170});
}

class QtDialogService : public DialogService {
public:
    BoxAnswer Show(const BoxRequest& R) override {
        ui::EnsureQtApplication();
        BoxAnswer a;
        switch (R.kind) {
        case BoxKind::Message: {
            QMessageBox::Icon icon = R.type == mtWarning        ? QMessageBox::Warning
                                     : R.type == mtError        ? QMessageBox::Critical
                                     : R.type == mtInformation  ? QMessageBox::Information
                                     : R.type == mtConfirmation ? QMessageBox::Question
                                                                : QMessageBox::NoIcon;
            QMessageBox box(icon, ToQt(R.caption), ToQt(R.text), QMessageBox::NoButton, DialogParent(),
                            Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
            std::map<QAbstractButton*, TModalResult> results;
            QAbstractButton* escape = nullptr;
            for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll}) {
                if (!R.buttons.Contains(b)) continue;
                QMessageBox::ButtonRole role = (b == mbNo || b == mbCancel) ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
                QPushButton* qb = box.addButton(ToQt(ButtonCaption(b)), role);
                results[qb] = ButtonResult(b);
                if (b == R.defaultButton) box.setDefaultButton(qb);
                if (b == mbCancel || (b == mbNo && escape == nullptr) || (b == mbOK && escape == nullptr)) escape = qb;
            }
            if (escape != nullptr) box.setEscapeButton(escape);
            WidenToCaption(box);
            box.exec();
            auto it = results.find(box.clickedButton());
            a.result = it != results.end() ? it->second : mrCancel;
            return a;
        }
        case BoxKind::Input: {
            QInputDialog d(DialogParent());
            d.setWindowTitle(ToQt(R.caption));
            d.setLabelText(ToQt(R.text));
            d.setTextValue(ToQt(R.value));
            d.setOkButtonText("OK");
            d.setCancelButtonText("Cancelar");
            if (d.exec() == QDialog::Accepted) {
                a.result = mrOk;
                a.text = ToStd(d.textValue());
            }
            return a;
        }
        case BoxKind::OpenFile:
        case BoxKind::SaveFile: {
            QFileDialog d(DialogParent(), ToQt(R.caption), ToQt(R.initialDir), QtFileFilter(R.filter));
            ListInPortuguese(d);
            if (!QtTranslationsLoaded()) {
                // Qt's own Portuguese texts are missing: at least the dialog's
                // words are ours.
                d.setLabelText(QFileDialog::Accept, R.kind == BoxKind::SaveFile ? "Salvar" : "Abrir");
                d.setLabelText(QFileDialog::Reject, "Cancelar");
                d.setLabelText(QFileDialog::FileName, "Nome:");
                d.setLabelText(QFileDialog::FileType, "Tipo:");
                d.setLabelText(QFileDialog::LookIn, "Examinar:");
            }
            if (R.kind == BoxKind::SaveFile) {
                d.setAcceptMode(QFileDialog::AcceptSave);
                d.setFileMode(QFileDialog::AnyFile);
            } else {
                d.setFileMode(R.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
            }
            std::string ext = R.defaultExt;
            if (ext.rfind("*.", 0) == 0) ext = ext.substr(2);
            if (!ext.empty() && ext[0] == '.') ext = ext.substr(1);
            if (!ext.empty()) d.setDefaultSuffix(ToQt(ext));
            if (!R.value.empty()) d.selectFile(ToQt(R.value));
            if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()) {
                a.result = mrOk;
                a.text = ToStd(d.selectedFiles().join('\n'));
            }
            return a;
        }
        case BoxKind::Folder: {
            QFileDialog d(DialogParent(), ToQt(R.caption), ToQt(R.value.empty() ? R.initialDir : R.value));
            ListInPortuguese(d);
            d.setFileMode(QFileDialog::Directory);
            d.setOption(QFileDialog::ShowDirsOnly, true);
            if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()) {
                a.result = mrOk;
                a.text = ToStd(d.selectedFiles().front());
            }
            return a;
        }
        }
        return a;
    }
};

DialogService* g_service = nullptr;

const char* KindName(BoxKind Kind) {
    switch (Kind) {
    case BoxKind::Message: return "mensagem";
    case BoxKind::Input: return "entrada de texto";
    case BoxKind::OpenFile: return "abrir arquivo";
    case BoxKind::SaveFile: return "salvar arquivo";
    case BoxKind::Folder: return "escolha de pasta";
    }
    return "?";
}

}  // namespace

DialogService& Dialogs() {
    static QtDialogService qt;
    return g_service != nullptr ? *g_service : qt;
}

DialogService* SetDialogService(DialogService* Service) {
    DialogService* previous = g_service;
    g_service = Service;
    return previous;
}

// ---------------------------------------------------------------------------

ScriptedDialogs::ScriptedDialogs(FailFn Fail) : fail_(std::move(Fail)) { previous_ = SetDialogService(this); }

ScriptedDialogs::~ScriptedDialogs() {
    SetDialogService(previous_);
    Verify();
}

ScriptedDialogs& ScriptedDialogs::Answer(TModalResult Result) {
    Step s;
    s.answer.result = Result;
    queue_.push_back(s);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Expect(const std::string& TextPart, TModalResult Result, const std::string& Caption) {
    Step s;
    s.kind = BoxKind::Message;
    s.textPart = TextPart;
    s.caption = Caption;
    s.answer.result = Result;
    queue_.push_back(s);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::AnswerText(const std::string& Text) {
    Step s;
    s.answer.result = mrOk;
    s.answer.text = Text;
    queue_.push_back(s);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Cancel() {
    Step s;
    s.answer.result = mrCancel;
    queue_.push_back(s);
    return *this;
}

void ScriptedDialogs::Fail(const std::string& Message) {
    if (fail_) {
        fail_(Message);
        return;
    }
    std::fprintf(stderr, "ScriptedDialogs: %s\n", Message.c_str());
    std::abort();
}

BoxAnswer ScriptedDialogs::Show(const BoxRequest& Request) {
    shown_.push_back(Request);
    std::string described = std::string("caixa de ") + KindName(Request.kind) + " \"" + Request.caption + "\": \"" + Request.text + "\"";
    if (queue_.empty()) {
        Fail("apareceu uma " + described + " que nenhuma resposta esperava");
        BoxAnswer a;
        a.result = Request.buttons.Contains(mbCancel) ? mrCancel : Request.buttons.Contains(mbNo) ? mrNo : mrOk;
        if (Request.kind != BoxKind::Message) a.result = mrCancel;
        return a;
    }
    Step s = queue_.front();
    queue_.pop_front();
    if (s.kind && *s.kind != Request.kind) Fail("esperava uma caixa de " + std::string(KindName(*s.kind)) + ", apareceu uma " + described);
    if (!s.textPart.empty() && Request.text.find(s.textPart) == std::string::npos)
        Fail("esperava uma mensagem com \"" + s.textPart + "\", apareceu uma " + described);
    if (!s.caption.empty() && Request.caption != s.caption)
        Fail("esperava o título \"" + s.caption + "\", apareceu uma " + described);
    return s.answer;
}

void ScriptedDialogs::Verify() {
    while (!queue_.empty()) {
        Step s = queue_.front();
        queue_.pop_front();
        Fail("uma resposta preparada não foi usada" + (s.textPart.empty() ? std::string() : " (mensagem \"" + s.textPart + "\")"));
    }
}

}  // namespace ui

// ---------------------------------------------------------------------------

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
    (void)HelpCtx;
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Message;
    r.caption = ui::MessageCaption(DlgType);
    r.text = Msg;
    r.type = DlgType;
    r.buttons = Buttons.Empty() ? TMsgDlgButtons{mbOK} : Buttons;
    for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll}) {
        if (r.buttons.Contains(b)) {
            r.defaultButton = b;
            break;
        }
    }
    return ui::Dialogs().Show(r).result;
}

void ShowMessage(const std::string& Msg) {
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Message;
    r.caption = Application->Title();
    r.text = Msg;
    r.type = mtCustom;
    ui::Dialogs().Show(r);
}

std::string InputBox(const std::string& ACaption, const std::string& APrompt, const std::string& ADefault) {
    std::string value = ADefault;
    InputQuery(ACaption, APrompt, value);
    return value;
}

bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value) {
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Input;
    r.caption = ACaption;
    r.text = APrompt;
    r.value = Value;
    r.buttons = {mbOK, mbCancel};
    ui::BoxAnswer a = ui::Dialogs().Show(r);
    if (a.result != mrOk) return false;
    Value = a.text;
    return true;
}

bool SelectDirectory(const std::string& Caption, const std::string& Root, std::string& Directory) {
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Folder;
    r.caption = Caption;
    r.initialDir = Root;
    r.value = Directory;
    ui::BoxAnswer a = ui::Dialogs().Show(r);
    if (a.result != mrOk || a.text.empty()) return false;
    Directory = a.text;
    return true;
}

bool TOpenDialog::Run(bool Save) {
    ui::BoxRequest r;
    r.kind = Save ? ui::BoxKind::SaveFile : ui::BoxKind::OpenFile;
    r.caption = !title_.empty() ? title_ : Save ? "Salvar como" : "Abrir";
    r.filter = filter_;
    r.initialDir = initialDir_;
    r.defaultExt = defaultExt_;
    r.value = fileName_;
    r.multiSelect = !Save && options_.Contains(ofAllowMultiSelect);
    ui::BoxAnswer a = ui::Dialogs().Show(r);
    if (a.result != mrOk || a.text.empty()) return false;
    files_.clear();
    if (r.multiSelect) {
        std::size_t start = 0;
        for (std::size_t end; (end = a.text.find('\n', start)) != std::string::npos; start = end + 1)
            if (end > start) files_.push_back(a.text.substr(start, end - start));
        if (start < a.text.size()) files_.push_back(a.text.substr(start));
    } else {
        files_.push_back(a.text);
    }
    if (files_.empty()) return false;
    fileName_ = files_.front();
    return true;
}

bool TOpenDialog::Execute() { return Run(false); }
bool TSaveDialog::Execute() { return Run(true); }
