#include "platform/ui/DBCtrls.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCalendarWidget>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"

using ui::ToQt;
using ui::ToStd;

namespace ui {

bool IsEditingKey(const QKeyEvent* Event, bool EnterEdits) {
    if (Event->matches(QKeySequence::Paste) || Event->matches(QKeySequence::Cut) ||
        Event->matches(QKeySequence::Undo) || Event->matches(QKeySequence::Redo) ||
        Event->matches(QKeySequence::DeleteEndOfWord) || Event->matches(QKeySequence::DeleteStartOfWord))
        return true;
    int k = Event->key();
    if (k == Qt::Key_Backspace || k == Qt::Key_Delete) return true;
    if ((k == Qt::Key_Return || k == Qt::Key_Enter) && EnterEdits) return true;
    if (Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    QString t = Event->text();
    return !t.isEmpty() && t[0].unicode() >= 32 && t[0].unicode() != 127;
}

}  // namespace ui

namespace {

// The link's callbacks reach into the control: cut them before the control
// goes, since the link outlives the control's own destructor body.
void Disconnect(TFieldDataLink& Link) {
    Link.OnDataChange = nullptr;
    Link.OnEditingChange = nullptr;
    Link.OnUpdateData = nullptr;
    Link.OnActiveChange = nullptr;
    Link.SetDataSource(nullptr);
}

bool ValueMatch(const std::string& Values, const std::string& Text) {
    for (const std::string& v : db::SplitFieldNames(Values))
        if (AnsiCompareText(v, Text) == 0) return true;
    return false;
}

std::string FirstValue(const std::string& Values) {
    size_t p = Values.find(';');
    return p == std::string::npos ? Values : Values.substr(0, p);
}

// Escape in a control the user changed puts the field's value back and is
// used up; true when it did.
bool EscapeResets(QKeyEvent* Event, TFieldDataLink& Link) {
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier && Link.IsModified()) {
        Link.Reset();
        return true;
    }
    return false;
}

// A change the user made puts the record in edit; where it cannot be edited
// the control goes back to the field's value. True when the change stands.
bool BeginUserEdit(TFieldDataLink& Link, bool ReadOnly) {
    if (Link.Field() == nullptr) return false;
    if (ReadOnly || (!Link.Editing() && !Link.Edit())) {
        Link.Reset();
        return false;
    }
    Link.Modified();
    return true;
}

// A value the field refuses on leaving keeps the focus in the control, for
// the user to correct, and the error goes on.
void UpdateRecordOrRefocus(TFieldDataLink& Link, TWinControl* Control) {
    try {
        Link.UpdateRecord();
    } catch (...) {
        Control->SetFocus();
        throw;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TDBEdit

TDBEdit::TDBEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) { DataChange(); };
    link_.OnEditingChange = [this](TObject*) { ApplyState(); };
    link_.OnActiveChange = [this](TObject*) { ApplyState(); };
    link_.OnUpdateData = [this](TObject*) { UpdateData(); };
    ApplyState();
}

TDBEdit::~TDBEdit() { Disconnect(link_); }

void TDBEdit::SetDataSource(TDataSource* Value) {
    link_.SetDataSource(Value);
    ApplyState();
}

void TDBEdit::SetReadOnly(bool Value) {
    readOnly_ = Value;
    link_.SetReadOnly(Value);
    ApplyState();
}

void TDBEdit::ApplyState() { ApplyReadOnly(readOnly_ || !link_.CanModify()); }

void TDBEdit::DataChange() {
    TField* f = link_.Field();
    if (f == nullptr) {
        SetEditMask("");
        SetTextValue("");
    } else {
        SetEditMask(f->EditMask());
        SetAlignment(f->Alignment());
        bool text = f->DataType() == ftString || f->DataType() == ftWideString || f->DataType() == ftFixedChar;
        SetMaxLength(text && !IsMasked() ? f->Size() : 0);
        if (focused_ && link_.CanModify()) SetTextValue(f->Text());
        else if (IsMasked()) SetShownValue(f->AsString());
        else SetTextValue(f->DisplayText());
    }
    modified_ = false;
    amount_.Reset();
    ApplyState();
    // A value that arrives while the clerk is in the field (a new row's
    // default, the row Desfazer leaves) is selected, as entering the field
    // selects it: what is typed next replaces it, never adds to it.
    if (focused_ && AutoSelect()) SelectAll();
}

namespace ui {

bool TakesDecimals(const TField* Field) {
    return dynamic_cast<const TFloatField*>(Field) != nullptr || dynamic_cast<const TBCDField*>(Field) != nullptr;
}

}  // namespace ui

using ui::TakesDecimals;

void TDBEdit::UpdateData() {
    try {
        ValidateEdit();
    } catch (const EDBEditError&) {
        // A form holds many masked edits: the clerk is told which one.
        throw EDBEditError("Valor inválido em " + link_.Field()->DisplayName() +
                           ". Use a tecla Esc para abandonar as alterações.");
    }
    std::string text = GetText();
    // Amounts as they are written ("5.000,00", "1.000.000", "5.000"), pasted
    // with a decimal point ("7.25"), or typed plain ("5000,00").
    if (TakesDecimals(link_.Field())) text = amount_.Left(text, FormatSettings);
    link_.Field()->SetText(text);
}

void TDBEdit::KeyPressed(char32_t& Key) {
    if (TakesDecimals(link_.Field()) && !IsMasked()) {
        std::string text = GetText();
        const int caret = SelStart();
        if (amount_.KeyPressed(Key, text, caret, SelLength(), FormatSettings)) {
            SetTextValue(text);
            SetSelStart(caret);
        }
    }
    TCustomMaskEdit::KeyPressed(Key);
}

bool TDBEdit::AcceptKey(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        if (link_.IsModified()) {
            link_.Reset();
            SelectAll();
            return false;
        }
        return true;
    }
    if (ui::IsEditingKey(Event, false)) {
        if (readOnly_ || !link_.CanModify() || !link_.Edit()) return false;
    }
    return true;
}

void TDBEdit::UserEdited() { BeginUserEdit(link_, false); }

void TDBEdit::DoEnter() {
    focused_ = true;
    if (link_.Field() != nullptr && !link_.IsModified()) DataChange();
    TCustomMaskEdit::DoEnter();
}

void TDBEdit::DoExit() {
    try {
        link_.UpdateRecord();
    } catch (...) {
        SelectAll();
        SetFocus();
        throw;
    }
    focused_ = false;
    if (link_.Field() != nullptr && !link_.IsModified()) DataChange();
    TCustomMaskEdit::DoExit();
}

// ---------------------------------------------------------------------------
// TDBMemo

TDBMemo::TDBMemo(TComponent* AOwner) : TCustomMemo(AOwner) {
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) { DataChange(); };
    link_.OnEditingChange = [this](TObject*) { ApplyReadOnly(ReadOnly() || !link_.CanModify()); };
    link_.OnActiveChange = [this](TObject*) { ApplyReadOnly(ReadOnly() || !link_.CanModify()); };
    link_.OnUpdateData = [this](TObject*) { UpdateData(); };
}

TDBMemo::~TDBMemo() { Disconnect(link_); }

void TDBMemo::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }

void TDBMemo::SetReadOnly(bool Value) {
    link_.SetReadOnly(Value);
    TCustomMemo::SetReadOnly(Value);
    ApplyReadOnly(Value || !link_.CanModify());
}

void TDBMemo::DataChange() {
    TField* f = link_.Field();
    if (f == nullptr) SetTextValue("");
    else SetTextValue(f->IsBlob() ? f->AsString() : f->DisplayText());
    SetModified(false);
    ApplyReadOnly(ReadOnly() || !link_.CanModify());
}

void TDBMemo::UpdateData() { link_.Field()->SetAsString(GetText()); }

bool TDBMemo::AcceptKey(QKeyEvent* Event) {
    if (EscapeResets(Event, link_)) return false;
    if (ui::IsEditingKey(Event, WantReturns())) {
        if (ReadOnly() || !link_.CanModify() || !link_.Edit()) return false;
    }
    return true;
}

void TDBMemo::UserEdited() { BeginUserEdit(link_, false); }

void TDBMemo::DoExit() {
    UpdateRecordOrRefocus(link_, this);
    TCustomMemo::DoExit();
}

// ---------------------------------------------------------------------------
// TDBCheckBox

TDBCheckBox::TDBCheckBox(TComponent* AOwner) : TCheckBox(AOwner) {
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) { DataChange(); };
    link_.OnUpdateData = [this](TObject*) { UpdateData(); };
}

TDBCheckBox::~TDBCheckBox() { Disconnect(link_); }

void TDBCheckBox::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }

void TDBCheckBox::SetValueChecked(const std::string& Value) {
    valueChecked_ = Value;
    DataChange();
}

void TDBCheckBox::SetValueUnchecked(const std::string& Value) {
    valueUnchecked_ = Value;
    DataChange();
}

TCheckBoxState TDBCheckBox::FieldState() const {
    TField* f = link_.Field();
    if (f == nullptr) return cbUnchecked;
    // An unset flag reads as not ticked; only a box that may be greyed shows
    // the third state for it.
    if (f->IsNull()) return allowGrayed_ ? cbGrayed : cbUnchecked;
    if (f->DataType() == ftBoolean) return f->AsBoolean() ? cbChecked : cbUnchecked;
    std::string text = f->Text();
    if (ValueMatch(valueChecked_, text)) return cbChecked;
    if (ValueMatch(valueUnchecked_, text)) return cbUnchecked;
    return cbGrayed;
}

void TDBCheckBox::DataChange() {
    settingState_ = true;
    TCheckBoxState s = FieldState();
    box_->setCheckState(s == cbChecked ? Qt::Checked : s == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
    box_->setTristate(allowGrayed_ || s == cbGrayed);
    settingState_ = false;
}

void TDBCheckBox::UpdateData() {
    TField* f = link_.Field();
    TCheckBoxState s = State();
    if (s == cbGrayed) f->Clear();
    else if (f->DataType() == ftBoolean) f->SetAsBoolean(s == cbChecked);
    else f->SetText(FirstValue(s == cbChecked ? valueChecked_ : valueUnchecked_));
}

void TDBCheckBox::Toggled() {
    if (link_.Field() == nullptr) return;
    if (link_.ReadOnly() || !link_.CanModify() || !link_.Edit()) {
        DataChange();  // the box goes back to what the field holds
        return;
    }
    if (!allowGrayed_ && box_->checkState() == Qt::PartiallyChecked) {
        settingState_ = true;
        box_->setCheckState(Qt::Checked);
        settingState_ = false;
    }
    box_->setTristate(allowGrayed_);
    link_.Modified();
    Click();
}

bool TDBCheckBox::AcceptKey(QKeyEvent* Event) { return !EscapeResets(Event, link_); }

void TDBCheckBox::DoExit() {
    UpdateRecordOrRefocus(link_, this);
    TCheckBox::DoExit();
}

// ---------------------------------------------------------------------------
// TDBComboBox

TDBComboBox::TDBComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) { DataChange(); };
    link_.OnUpdateData = [this](TObject*) { UpdateData(); };
}

TDBComboBox::~TDBComboBox() { Disconnect(link_); }

void TDBComboBox::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }

void TDBComboBox::DataChange() {
    TField* f = link_.Field();
    SetTextValue(f != nullptr ? f->Text() : "");
}

void TDBComboBox::UpdateData() { link_.Field()->SetText(GetText()); }

bool TDBComboBox::AcceptKey(QKeyEvent* Event) {
    if (EscapeResets(Event, link_)) return false;
    bool changes = ui::IsEditingKey(Event, false) || Event->key() == Qt::Key_Up || Event->key() == Qt::Key_Down ||
                   Event->key() == Qt::Key_PageUp || Event->key() == Qt::Key_PageDown;
    if (changes && (link_.ReadOnly() || !link_.CanModify() || !link_.Edit())) return false;
    return TCustomComboBox::AcceptKey(Event);
}

void TDBComboBox::UserEdited() { BeginUserEdit(link_, link_.ReadOnly()); }

void TDBComboBox::DoExit() {
    UpdateRecordOrRefocus(link_, this);
    TCustomComboBox::DoExit();
}

// ---------------------------------------------------------------------------
// TDBLookupComboBox

class TDBLookupComboBox::ListLink : public TDataLink {
public:
    explicit ListLink(TDBLookupComboBox* Owner) : owner_(Owner) {}

protected:
    void ActiveChanged() override { owner_->RefreshList(); }
    void DataSetChanged() override { owner_->RefreshList(); }
    // A row being added or changed shows once it is posted.
    void EditingChanged() override { owner_->RefreshList(); }
    // Moving through the list changes nothing it shows.
    void DataSetScrolled(int) override {}
    void RecordChanged(TField*) override {}

private:
    TDBLookupComboBox* owner_;
};

TDBLookupComboBox::TDBLookupComboBox(TComponent* AOwner)
    : TCustomComboBox(AOwner), listLink_(std::make_unique<ListLink>(this)) {
    SetStyle(csDropDownList);
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) { DataChange(); };
    link_.OnUpdateData = [this](TObject*) { UpdateData(); };
}

TDBLookupComboBox::~TDBLookupComboBox() {
    Disconnect(link_);
    filling_ = true;
    listLink_->SetDataSource(nullptr);
}

void TDBLookupComboBox::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }
TDataSource* TDBLookupComboBox::ListSource() const { return listLink_->DataSource(); }

void TDBLookupComboBox::SetListSource(TDataSource* Value) {
    listLink_->SetDataSource(Value);
    RefreshList();
}

void TDBLookupComboBox::SetKeyField(const std::string& Value) {
    keyField_ = Value;
    RefreshList();
}

void TDBLookupComboBox::SetListField(const std::string& Value) {
    listField_ = Value;
    RefreshList();
}

void TDBLookupComboBox::RefreshList() {
    if (filling_) return;
    TDataSet* listSet = listLink_->DataSet();
    // Walking the list would post or drop a row being edited there.
    if (listSet != nullptr && listSet->Active() && listSet->State() != dsBrowse) return;
    filling_ = true;
    keys_.clear();
    Items()->BeginUpdate();
    Items()->Clear();
    TDataSet* ds = listLink_->DataSet();
    try {
        if (ds != nullptr && ds->Active() && !keyField_.empty() && !listField_.empty()) {
            TField* key = ds->FieldByName(keyField_);
            TField* text = ds->FieldByName(listField_);
            TBookmark mark = ds->GetBookmark();
            ds->DisableControls();
            try {
                for (ds->First(); !ds->Eof(); ds->Next()) {
                    keys_.push_back(key->AsString());
                    Items()->Add(text->DisplayText());
                }
            } catch (...) {
                if (!mark.empty()) ds->GotoBookmark(mark);
                ds->EnableControls();
                throw;
            }
            if (!mark.empty()) ds->GotoBookmark(mark);
            ds->EnableControls();
        }
    } catch (...) {
        Items()->EndUpdate();
        filling_ = false;
        throw;
    }
    Items()->EndUpdate();
    filling_ = false;
    DataChange();
}

void TDBLookupComboBox::DataChange() {
    TField* f = link_.Field();
    int index = -1;
    if (f != nullptr && !f->IsNull()) {
        std::string k = f->AsString();
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] == k) index = static_cast<int>(i);
    }
    SetItemIndex(index);
}

std::string TDBLookupComboBox::KeyValue() const {
    int i = ItemIndex();
    return i >= 0 && i < static_cast<int>(keys_.size()) ? keys_[static_cast<size_t>(i)] : "";
}

void TDBLookupComboBox::UpdateData() {
    std::string k = KeyValue();
    if (k.empty()) link_.Field()->Clear();
    else link_.Field()->SetAsString(k);
}

bool TDBLookupComboBox::AcceptKey(QKeyEvent* Event) {
    bool changes = ui::IsEditingKey(Event, false) || Event->key() == Qt::Key_Up || Event->key() == Qt::Key_Down;
    if (changes && (link_.ReadOnly() || !link_.CanModify() || !link_.Edit())) return false;
    return true;
}

void TDBLookupComboBox::UserEdited() {
    if (!BeginUserEdit(link_, link_.ReadOnly())) return;
    // The choice shows at once in the other controls of the field.
    link_.UpdateRecord();
}

void TDBLookupComboBox::DoExit() {
    link_.UpdateRecord();
    TCustomComboBox::DoExit();
}

// ---------------------------------------------------------------------------
// TDBText

TDBText::TDBText(TComponent* AOwner) : TLabel(AOwner) {
    link_.SetControl(this);
    link_.OnDataChange = [this](TObject*) {
        TField* f = link_.Field();
        SetCaption(f != nullptr ? ui::MaskedDisplayText(f) : "");
    };
}

TDBText::~TDBText() { Disconnect(link_); }

void TDBText::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }

// ---------------------------------------------------------------------------
// TexDBComboDlg

namespace {

QIcon TextIcon(const QString& Text) {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setPen(QApplication::palette().color(QPalette::ButtonText));
    painter.drawText(p.rect(), Qt::AlignCenter, Text);
    return QIcon(p);
}

}  // namespace

TexDBComboDlg::TexDBComboDlg(TComponent* AOwner) : TDBEdit(AOwner) {
    button_ = edit_->addAction(TextIcon("..."), QLineEdit::TrailingPosition);
    // The key that opens a list on this desktop opens the search of every
    // lookup, in every form; Down alone moves on to the next field.
    button_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    button_->setShortcutContext(Qt::WidgetShortcut);
    button_->setToolTip(QString::fromUtf8(kLookupHint));
    SetHint(kLookupHint);
    QObject::connect(button_, &QAction::triggered, edit_, [this] { Guarded([this] { DoCustomDlg(); }); });
}

void TexDBComboDlg::SetShowButton(bool Value) {
    showButton_ = Value;
    button_->setVisible(Value);
}

void TexDBComboDlg::DoCustomDlg() {
    if (!Enabled()) return;
    if (OnCustomDlg) OnCustomDlg(this);
}

// ---------------------------------------------------------------------------
// TexDBDateTimePicker

TexDBDateTimePicker::TexDBDateTimePicker(TComponent* AOwner) : TDBEdit(AOwner) {
    SetEditMask("!99/99/9999;1; ");
    button_ = edit_->addAction(TextIcon(QString::fromUtf8("\u25BE")), QLineEdit::TrailingPosition);
    QObject::connect(button_, &QAction::triggered, edit_, [this] { Guarded([this] { DropDown(); }); });
}

TexDBDateTimePicker::~TexDBDateTimePicker() { delete calendar_; }

bool TexDBDateTimePicker::ParseDate(const std::string& Shown, TDateTime& Result) const {
    QString s = ToQt(Shown);
    QStringList parts = s.split('/');
    if (parts.size() != 3) return false;
    bool okD = false, okM = false, okY = false;
    int d = parts[0].trimmed().toInt(&okD);
    int m = parts[1].trimmed().toInt(&okM);
    QString ys = parts[2].trimmed();
    int y = ys.toInt(&okY);
    if (!okD || !okM || !okY) return false;
    if (ys.size() <= 2) {
        // Two digits: the year in the hundred that starts at the epoch.
        int century = epoch_ / 100 * 100;
        y += century;
        if (y < epoch_) y += 100;
    }
    return TryEncodeDate(y, m, d, Result);
}

bool TexDBDateTimePicker::IsEmpty() const { return GetText().find_first_not_of(" /") == std::string::npos; }

TDateTime TexDBDateTimePicker::Date() const {
    TDateTime d = 0;
    if (IsEmpty() || !ParseDate(EditText(), d)) return 0;
    return d;
}

void TexDBDateTimePicker::SetDate(TDateTime Value) {
    if (Value == 0) SetTextValue("");
    else SetTextValue(FormatDateTime("dd/mm/yyyy", Value));
}

void TexDBDateTimePicker::DataChange() {
    TField* f = link_.Field();
    if (f == nullptr || f->IsNull()) SetTextValue("");
    else SetTextValue(FormatDateTime("dd/mm/yyyy", f->AsDateTime()));
    modified_ = false;
    ApplyState();
}

void TexDBDateTimePicker::UpdateData() {
    TField* f = link_.Field();
    if (IsEmpty()) {
        f->Clear();
        return;
    }
    TDateTime d = 0;
    std::string shown = EditText();
    if (!ParseDate(shown, d)) throw EDBEditError("'" + shown + "' não é uma data válida.");
    // The time of day the field held stays.
    if (!f->IsNull() && f->DataType() != ftDate) {
        double t = f->AsDateTime();
        d += t - static_cast<double>(static_cast<long long>(t));
    }
    f->SetAsDateTime(d);
}

void TexDBDateTimePicker::DoExit() {
    if (!IsEmpty()) {
        TDateTime d = 0;
        if (!ParseDate(EditText(), d)) {
            SetFocus();
            throw EDBEditError("'" + EditText() + "' não é uma data válida.");
        }
    }
    TDBEdit::DoExit();
}

void TexDBDateTimePicker::DropDown() {
    if (!Enabled()) return;
    if (calendar_ == nullptr) {
        calendar_ = new QCalendarWidget;
        calendar_->setWindowFlags(Qt::Popup);
        calendar_->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QObject::connect(calendar_, &QCalendarWidget::clicked, calendar_, [this](const QDate&) {
            Guarded([this] { CalendarPicked(); });
        });
        QObject::connect(calendar_, &QCalendarWidget::activated, calendar_, [this](const QDate&) {
            Guarded([this] { CalendarPicked(); });
        });
    }
    TDateTime d = Date();
    if (d != 0) {
        uint16_t y, m, day;
        DecodeDate(d, y, m, day);
        calendar_->setSelectedDate(QDate(y, m, day));
    } else {
        calendar_->setSelectedDate(QDate::currentDate());
    }
    calendar_->move(edit_->mapToGlobal(QPoint(0, edit_->height())));
    calendar_->show();
}

void TexDBDateTimePicker::CalendarPicked() {
    QDate q = calendar_->selectedDate();
    calendar_->hide();
    if (link_.Field() != nullptr) {
        if (readOnly_ || !link_.CanModify() || !link_.Edit()) return;
    }
    SetDate(EncodeDate(q.year(), q.month(), q.day()));
    if (link_.Field() != nullptr) link_.Modified();
    if (OnCloseUp) OnCloseUp(this);
}

// ---------------------------------------------------------------------------
// TexDBRichEdit

std::string TexDBRichEdit::PlainText(const std::string& Rtf) {
    if (Rtf.rfind("{\\rtf", 0) != 0) return Rtf;
    std::string bytes;  // code page 1252, converted once at the end
    int depth = 0;
    int skipDepth = -1;
    for (size_t i = 0; i < Rtf.size(); ++i) {
        char c = Rtf[i];
        if (c == '{') {
            ++depth;
            // Destinations such as font and colour tables hold no text.
            if (skipDepth < 0 && i + 1 < Rtf.size() && Rtf[i + 1] == '\\') {
                size_t j = i + 2;
                std::string word;
                if (j < Rtf.size() && Rtf[j] == '*') skipDepth = depth;
                while (j < Rtf.size() && std::isalpha(static_cast<unsigned char>(Rtf[j]))) word += Rtf[j++];
                if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" || word == "pict")
                    skipDepth = depth;
            }
            continue;
        }
        if (c == '}') {
            if (depth == skipDepth) skipDepth = -1;
            --depth;
            continue;
        }
        bool skipping = skipDepth >= 0;
        if (c == '\\') {
            if (i + 1 >= Rtf.size()) break;
            char n = Rtf[i + 1];
            if (n == '\\' || n == '{' || n == '}') {
                if (!skipping) bytes += n;
                ++i;
                continue;
            }
            if (n == '\'') {
                if (i + 3 < Rtf.size() && !skipping) {
                    bytes += static_cast<char>(std::stoi(Rtf.substr(i + 2, 2), nullptr, 16));
                }
                i += 3;
                continue;
            }
            size_t j = i + 1;
            std::string word;
            while (j < Rtf.size() && std::isalpha(static_cast<unsigned char>(Rtf[j]))) word += Rtf[j++];
            while (j < Rtf.size() && (std::isdigit(static_cast<unsigned char>(Rtf[j])) || Rtf[j] == '-')) ++j;
            if (j < Rtf.size() && Rtf[j] == ' ') ++j;
            if (!skipping) {
                if (word == "par" || word == "line") bytes += "\r\n";
                else if (word == "tab") bytes += '\t';
            }
            i = j - 1;
            continue;
        }
        if (c == '\r' || c == '\n') continue;
        if (!skipping) bytes += c;
    }
    while (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) bytes.resize(bytes.size() - 2);
    return Cp1252ToUtf8(bytes);
}

void TexDBRichEdit::DataChange() {
    TField* f = link_.Field();
    if (f == nullptr) {
        TDBMemo::DataChange();
        return;
    }
    SetTextValue(PlainText(f->AsString()));
    SetModified(false);
    ApplyReadOnly(ReadOnly() || !link_.CanModify());
}
