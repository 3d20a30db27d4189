#include "platform/ui/StdCtrls.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTimer>

#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"

using ui::ToQt;
using ui::ToStd;

namespace {

// A caption's "&x" marks the accelerator; "&&" is a plain ampersand.
QString WithoutAccelerator(const std::string& Caption) {
    QString out;
    QString in = ToQt(Caption);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '&') {
            if (i + 1 < in.size() && in[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner), label_(new QLabel) {
    SetWidget(label_);
    label_->setTextFormat(Qt::PlainText);
    SetBounds(0, 0, 65, 13);
    Apply();
}

void TLabel::SetTextValue(const std::string& Value) {
    text_ = Value;
    if (focusControl_ != nullptr) {
        QString caption = WithoutAccelerator(Value).trimmed();
        while (caption.endsWith(':')) caption = caption.chopped(1).trimmed();
        focusControl_->LabelCaptionChanged(ToStd(caption));
        // With a buddy Qt draws the accelerator itself.
        label_->setText(ToQt(Value));
    } else {
        label_->setText(WithoutAccelerator(Value));
    }
    if (autoSize_ && !wordWrap_) {
        QSize s = label_->sizeHint();
        Widget()->resize(s.width(), std::max(s.height(), Height()));
    }
}

void TLabel::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    Apply();
}

void TLabel::SetLayout(TTextLayout Value) {
    layout_ = Value;
    Apply();
}

void TLabel::SetWordWrap(bool Value) {
    wordWrap_ = Value;
    Apply();
}

void TLabel::SetAutoSize(bool Value) {
    autoSize_ = Value;
    SetTextValue(text_);
}

void TLabel::SetFocusControl(TWinControl* Value) {
    focusControl_ = Value;
    label_->setBuddy(Value ? Value->Widget() : nullptr);
    SetTextValue(text_);
}

void TLabel::Apply() {
    Qt::Alignment h = alignment_ == taCenter ? Qt::AlignHCenter : alignment_ == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
    Qt::Alignment v = layout_ == tlCenter ? Qt::AlignVCenter : layout_ == tlBottom ? Qt::AlignBottom : Qt::AlignTop;
    label_->setAlignment(h | v);
    label_->setWordWrap(wordWrap_);
}

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner), button_(new QPushButton) {
    SetWidget(button_);
    button_->setAutoDefault(false);
    SetBounds(0, 0, 75, 25);
    QObject::connect(button_, &QPushButton::clicked, button_, [this] { Guarded([this] { Click(); }); });
}

TButton::~TButton() {
    if (registeredWith_ != nullptr) registeredWith_->ForgetButton(this);
}

std::string TButton::GetText() const { return text_; }

void TButton::SetTextValue(const std::string& Value) {
    text_ = Value;
    button_->setText(ToQt(Value));
}

int TButton::FittingWidth() const {
    QStyleOptionButton opt;
    opt.initFrom(button_);
    QStyle* style = button_->style();
    int width = button_->fontMetrics().size(Qt::TextShowMnemonic, button_->text()).width();
    if (!button_->icon().isNull()) width += button_->iconSize().width() + 4;
    return width + style->pixelMetric(QStyle::PM_ButtonMargin, &opt, button_) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, button_);
}

void TButton::SetShortCut(Word Key, TShiftState Shift) {
    delete shortCut_;
    shortCut_ = nullptr;
    if (Key == 0) return;
    // Not the button's own shortcut: a new caption would take that one
    // back for its Alt letter.
    shortCut_ = new QShortcut(ui::KeySequenceOf(ShortCut(Key, Shift)), button_);
    shortCut_->setContext(Qt::WindowShortcut);
    QObject::connect(shortCut_, &QShortcut::activated, button_, [this] {
        Guarded([this] {
            if (VisibleAndEnabledUpToForm()) Click();
        });
    });
}

void TButton::Click() {
    if (modalResult_ != mrNone) {
        if (TCustomForm* f = GetParentForm()) f->SetModalResult(modalResult_);
    }
    TWinControl::Click();
}

void TButton::SetDefault(bool Value) {
    default_ = Value;
    button_->setDefault(Value);
    Register();
}

void TButton::SetCancel(bool Value) {
    cancel_ = Value;
    Register();
}

void TButton::SetParent(TWinControl* AParent) {
    TWinControl::SetParent(AParent);
    Register();
}

void TButton::Register() {
    TCustomForm* f = GetParentForm();
    if (registeredWith_ != nullptr && registeredWith_ != f) registeredWith_->ForgetButton(this);
    registeredWith_ = f;
    if (f != nullptr) f->RegisterButton(this, default_, cancel_);
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner), box_(new QCheckBox) {
    SetWidget(box_);
    SetBounds(0, 0, 97, 17);
    QObject::connect(box_, &QCheckBox::clicked, box_, [this] {
        if (!settingState_) Guarded([this] { Toggled(); });
    });
}

TCheckBoxState TCheckBox::State() const {
    switch (box_->checkState()) {
    case Qt::Checked: return cbChecked;
    case Qt::PartiallyChecked: return cbGrayed;
    default: return cbUnchecked;
    }
}

void TCheckBox::SetState(TCheckBoxState Value) {
    if (Value == State()) return;
    settingState_ = true;
    box_->setCheckState(Value == cbChecked ? Qt::Checked : Value == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
    settingState_ = false;
    Click();
}

void TCheckBox::Toggled() {
    // Qt has already moved the state; a box without the grey state never
    // stops there.
    if (!allowGrayed_ && box_->checkState() == Qt::PartiallyChecked) {
        settingState_ = true;
        box_->setCheckState(Qt::Checked);
        settingState_ = false;
    }
    Click();
}

void TCheckBox::SetAllowGrayed(bool Value) {
    allowGrayed_ = Value;
    box_->setTristate(Value);
}

std::string TCheckBox::GetText() const { return text_; }

void TCheckBox::SetTextValue(const std::string& Value) {
    text_ = Value;
    box_->setText(ToQt(Value));
}

// ---------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner), radio_(new QRadioButton) {
    SetWidget(radio_);
    SetBounds(0, 0, 113, 17);
    QObject::connect(radio_, &QRadioButton::clicked, radio_, [this] { Guarded([this] { Click(); }); });
}

bool TRadioButton::Checked() const { return radio_->isChecked(); }
void TRadioButton::SetChecked(bool Value) { radio_->setChecked(Value); }
std::string TRadioButton::GetText() const { return text_; }

void TRadioButton::SetTextValue(const std::string& Value) {
    text_ = Value;
    radio_->setText(ToQt(Value));
}

// ---------------------------------------------------------------------------
// TCustomEdit

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner), edit_(new QLineEdit) {
    SetWidget(edit_);
    SetBounds(0, 0, 121, 21);
    QObject::connect(edit_, &QLineEdit::textChanged, edit_, [this] {
        if (charCase_ != ecNormal && !settingText_) {
            QString t = edit_->text();
            QString c = charCase_ == ecUpperCase ? t.toUpper() : t.toLower();
            if (c != t) {
                int pos = edit_->cursorPosition();
                edit_->setText(c);
                edit_->setCursorPosition(pos);
                return;
            }
        }
        Guarded([this] { Change(); });
    });
    QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this] {
        modified_ = true;
        Guarded([this] { UserEdited(); });
    });
}

std::string TCustomEdit::GetText() const { return ToStd(edit_->text()); }

void TCustomEdit::SetTextValue(const std::string& Value) {
    // The same text again keeps the cursor and the selection (a data-aware
    // edit shows its field again when the edit starts, under the user's keys).
    if (GetText() == Value) return;
    settingText_ = true;
    QString t = ToQt(Value);
    if (charCase_ == ecUpperCase) t = t.toUpper();
    if (charCase_ == ecLowerCase) t = t.toLower();
    edit_->setText(t);
    settingText_ = false;
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::SetReadOnly(bool Value) {
    readOnly_ = Value;
    ApplyReadOnly(Value);
}

void TCustomEdit::ApplyReadOnly(bool Value) { edit_->setReadOnly(Value); }

void TCustomEdit::SetMaxLength(int Value) {
    // Qt sets the text again for a new limit, losing the selection.
    if (Value == maxLength_) return;
    maxLength_ = Value;
    edit_->setMaxLength(Value > 0 ? Value : 32767);
}

void TCustomEdit::SetPasswordChar(char Value) {
    passwordChar_ = Value;
    edit_->setEchoMode(Value != 0 ? QLineEdit::Password : QLineEdit::Normal);
}

void TCustomEdit::SetCharCase(TEditCharCase Value) {
    charCase_ = Value;
    if (Value != ecNormal) SetTextValue(GetText());
}

int TCustomEdit::SelStart() const {
    return edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
}

void TCustomEdit::SetSelStart(int Value) { edit_->setCursorPosition(Value); }
int TCustomEdit::SelLength() const { return static_cast<int>(edit_->selectedText().size()); }

void TCustomEdit::SetSelLength(int Value) {
    int start = edit_->cursorPosition();
    edit_->setSelection(start, Value);
}

std::string TCustomEdit::SelText() const { return ToStd(edit_->selectedText()); }
void TCustomEdit::SelectAll() { edit_->selectAll(); }

void TCustomEdit::SetAlignment(TAlignment Value) {
    if (Value == alignment_) return;
    alignment_ = Value;
    edit_->setAlignment(Value == taRightJustify ? Qt::AlignRight : Value == taCenter ? Qt::AlignHCenter : Qt::AlignLeft);
}

void TCustomEdit::DoEnter() {
    if (autoSelect_) {
        // Qt places the cursor after the focus event; select once it is done.
        edit_->selectAll();
        QPointer<QLineEdit> e = edit_;
        QTimer::singleShot(0, edit_, [e] {
            if (e && e->hasFocus()) e->selectAll();
        });
    }
    TWinControl::DoEnter();
}

// ---------------------------------------------------------------------------
// TCustomMemo

TCustomMemo::TCustomMemo(TComponent* AOwner)
    : TWinControl(AOwner), memo_(new QPlainTextEdit), lines_(std::make_unique<TStringList>()) {
    SetWidget(memo_);
    SetBounds(0, 0, 185, 89);
    memo_->setTabChangesFocus(true);
    lines_->OnChange = [this](TObject*) {
        if (syncing_) return;
        syncing_ = true;
        std::string t = lines_->Text();
        if (!t.empty() && t.back() == '\n') t.pop_back();
        memo_->setPlainText(ToQt(t));
        syncing_ = false;
    };
    QObject::connect(memo_, &QPlainTextEdit::textChanged, memo_, [this] {
        if (!syncing_) {
            syncing_ = true;
            lines_->SetText(ToStd(memo_->toPlainText()));
            syncing_ = false;
            if (memo_->hasFocus()) {
                modified_ = true;
                Guarded([this] { UserEdited(); });
            }
        }
        Guarded([this] { Change(); });
    });
}

TCustomMemo::~TCustomMemo() { lines_->OnChange = nullptr; }

TStrings* TCustomMemo::Lines() const { return lines_.get(); }

std::string TCustomMemo::GetText() const {
    // Lines end with CR LF in the text, as the class library's memo gives it.
    std::string t = ToStd(memo_->toPlainText());
    std::string out;
    for (char c : t) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    return out;
}

void TCustomMemo::SetTextValue(const std::string& Value) {
    std::string t;
    for (size_t i = 0; i < Value.size(); ++i) {
        if (Value[i] == '\r') {
            if (i + 1 < Value.size() && Value[i + 1] == '\n') ++i;
            t += '\n';
        } else {
            t += Value[i];
        }
    }
    syncing_ = true;
    memo_->setPlainText(ToQt(t));
    lines_->SetText(t);
    syncing_ = false;
    Guarded([this] { Change(); });
}

void TCustomMemo::Change() {
    if (OnChange) OnChange(this);
}

void TCustomMemo::SetReadOnly(bool Value) {
    readOnly_ = Value;
    ApplyReadOnly(Value);
}

void TCustomMemo::ApplyReadOnly(bool Value) { memo_->setReadOnly(Value); }

void TCustomMemo::SetWordWrap(bool Value) {
    wordWrap_ = Value;
    memo_->setLineWrapMode(Value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TCustomMemo::SetScrollBars(TScrollStyle Value) {
    scrollBars_ = Value;
    bool v = Value == ssVertical || Value == ssBoth;
    bool h = Value == ssHorizontal || Value == ssBoth;
    memo_->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    memo_->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

void TCustomMemo::SelectAll() { memo_->selectAll(); }

// ---------------------------------------------------------------------------
// TCustomComboBox

TCustomComboBox::TCustomComboBox(TComponent* AOwner)
    : TWinControl(AOwner), combo_(new QComboBox), items_(std::make_unique<TStringList>()) {
    SetWidget(combo_);
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    SetBounds(0, 0, 145, 21);
    items_->OnChange = [this](TObject*) { SyncItems(); };
    QObject::connect(combo_, &QComboBox::activated, combo_, [this](int) {
        if (syncing_) return;
        if (AutoMatched()) {
            RestoreShown();
            return;
        }
        Guarded([this] {
            UserEdited();
            if (OnSelect) OnSelect(this);
            Change();
        });
    });
    QObject::connect(combo_, &QComboBox::currentTextChanged, combo_, [this](const QString&) {
        if (syncing_ || AutoMatched()) return;
        if (combo_->isEditable() && combo_->lineEdit()->hasFocus()) Guarded([this] {
            UserEdited();
            Change();
        });
    });
    // Pointing at an entry of the open list is choosing; the entry the list
    // points at as it opens is not.
    QObject::connect(combo_, &QComboBox::highlighted, combo_, [this](int) {
        if (combo_->view() != nullptr && combo_->view()->isVisible()) touched_ = true;
    });
    WatchLine();
}

void TCustomComboBox::WatchLine() {
    if (QLineEdit* line = combo_->lineEdit())
        QObject::connect(line, &QLineEdit::textEdited, combo_, [this](const QString&) { touched_ = true; });
}

bool TCustomComboBox::AutoMatched() const {
    // An editable list, left without a key typed or an entry chosen, takes
    // the list's spelling of a text that differs from it only in capitals:
    // that is no choice, and what the field holds must stay.
    if (touched_ || !combo_->isEditable()) return false;
    const QString now = combo_->currentText();
    return now != shown_ && now.compare(shown_, Qt::CaseInsensitive) == 0;
}

void TCustomComboBox::RestoreShown() {
    syncing_ = true;
    combo_->setCurrentIndex(combo_->findText(shown_, Qt::MatchExactly));
    combo_->setEditText(shown_);
    syncing_ = false;
}

bool TCustomComboBox::AcceptKey(QKeyEvent* Event) {
    // The keys that step through the entries choose one; with Alt (and F4)
    // they open or close the list, which is no choice: Qt then matches the
    // text against the list, and what the field holds must stay.
    if (Event->modifiers() & Qt::AltModifier) return true;
    switch (Event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: touched_ = true; break;
    default: break;
    }
    return true;
}

TCustomComboBox::~TCustomComboBox() { items_->OnChange = nullptr; }

TStrings* TCustomComboBox::Items() const { return items_.get(); }

void TCustomComboBox::SyncItems() {
    syncing_ = true;
    QString text = combo_->currentText();
    combo_->clear();
    for (int i = 0; i < items_->Count(); ++i) combo_->addItem(ToQt(items_->Get(i)));
    if (style_ == csDropDownList) {
        combo_->setCurrentIndex(combo_->findText(text, Qt::MatchExactly));
    } else {
        combo_->setCurrentIndex(-1);
        combo_->setEditText(text);
    }
    syncing_ = false;
    ListChanged();
}

int TCustomComboBox::ItemIndex() const {
    if (style_ != csDropDownList) return combo_->findText(combo_->currentText(), Qt::MatchExactly);
    return combo_->currentIndex();
}

void TCustomComboBox::SetItemIndex(int Value) {
    syncing_ = true;
    combo_->setCurrentIndex(Value >= 0 && Value < combo_->count() ? Value : -1);
    if (Value < 0 && combo_->isEditable()) combo_->setEditText(QString());
    shown_ = combo_->currentText();
    touched_ = false;
    syncing_ = false;
}

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
    style_ = Value;
    syncing_ = true;
    QString text = combo_->currentText();
    combo_->setEditable(Value != csDropDownList);
    if (Value != csDropDownList) {
        combo_->setInsertPolicy(QComboBox::NoInsert);
        WatchWidget(combo_->lineEdit());
        WatchLine();
        combo_->setEditText(text);
    } else {
        combo_->setCurrentIndex(combo_->findText(text, Qt::MatchExactly));
    }
    syncing_ = false;
    ListChanged();
}

void TCustomComboBox::SetSorted(bool Value) {
    sorted_ = Value;
    items_->SetSorted(Value);
}

void TCustomComboBox::SetDropDownCount(int Value) {
    dropDownCount_ = Value;
    combo_->setMaxVisibleItems(std::max(1, Value));
}

void TCustomComboBox::SetMaxLength(int Value) {
    maxLength_ = Value;
    if (combo_->lineEdit()) combo_->lineEdit()->setMaxLength(Value > 0 ? Value : 32767);
}

bool TCustomComboBox::DroppedDown() const { return combo_->view() && combo_->view()->isVisible(); }

void TCustomComboBox::SetDroppedDown(bool Value) {
    if (Value) {
        if (OnDropDown) OnDropDown(this);
        combo_->showPopup();
    } else {
        combo_->hidePopup();
    }
}

void TCustomComboBox::Clear() {
    items_->Clear();
    SetTextValue("");
}

std::string TCustomComboBox::GetText() const { return ToStd(combo_->currentText()); }

void TCustomComboBox::SetTextValue(const std::string& Value) {
    syncing_ = true;
    QString t = ToQt(Value);
    int i = combo_->findText(t, Qt::MatchExactly);
    if (style_ == csDropDownList) {
        // A list-only combo shows nothing for a text outside its list.
        combo_->setCurrentIndex(i);
    } else {
        combo_->setCurrentIndex(i);
        combo_->setEditText(t);
    }
    shown_ = combo_->currentText();
    touched_ = false;
    syncing_ = false;
}

void TCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* AOwner)
    : TWinControl(AOwner), list_(new QListWidget), items_(std::make_unique<TStringList>()) {
    SetWidget(list_);
    SetBounds(0, 0, 121, 97);
    items_->OnChange = [this](TObject*) { SyncItems(); };
    QObject::connect(list_, &QListWidget::itemClicked, list_, [this](QListWidgetItem*) {
        if (!syncing_) Guarded([this] { Click(); });
    });
}

TListBox::~TListBox() { items_->OnChange = nullptr; }

TStrings* TListBox::Items() const { return items_.get(); }

void TListBox::SyncItems() {
    syncing_ = true;
    int index = list_->currentRow();
    list_->clear();
    for (int i = 0; i < items_->Count(); ++i) list_->addItem(ToQt(items_->Get(i)));
    if (index >= 0 && index < list_->count()) list_->setCurrentRow(index);
    syncing_ = false;
}

int TListBox::ItemIndex() const { return list_->currentItem() ? list_->currentRow() : -1; }

void TListBox::SetItemIndex(int Value) {
    syncing_ = true;
    if (Value >= 0 && Value < list_->count()) list_->setCurrentRow(Value);
    else list_->setCurrentRow(-1);
    syncing_ = false;
}

void TListBox::SetSorted(bool Value) {
    sorted_ = Value;
    items_->SetSorted(Value);
}

void TListBox::SetMultiSelect(bool Value) {
    multiSelect_ = Value;
    list_->setSelectionMode(Value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

bool TListBox::Selected(int Index) const {
    QListWidgetItem* it = list_->item(Index);
    if (it == nullptr) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return it->isSelected();
}

void TListBox::SetSelected(int Index, bool Value) {
    QListWidgetItem* it = list_->item(Index);
    if (it == nullptr) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    it->setSelected(Value);
}

int TListBox::SelCount() const { return static_cast<int>(list_->selectedItems().size()); }

void TListBox::Clear() { items_->Clear(); }

// ---------------------------------------------------------------------------
// TGroupBox, TRadioGroup

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner), box_(new QGroupBox) {
    SetWidget(box_);
    SetBounds(0, 0, 185, 105);
}

std::string TGroupBox::GetText() const { return text_; }

void TGroupBox::SetTextValue(const std::string& Value) {
    text_ = Value;
    box_->setTitle(ToQt(Value));
}

TRadioGroup::TRadioGroup(TComponent* AOwner)
    : TGroupBox(AOwner), group_(new QButtonGroup(box_)), items_(std::make_unique<TStringList>()) {
    new QGridLayout(box_);
    items_->OnChange = [this](TObject*) { Rebuild(); };
    QObject::connect(group_, &QButtonGroup::idClicked, box_, [this](int id) {
        if (!syncing_) Guarded([this, id] { UserPicked(id); });
    });
}

TRadioGroup::~TRadioGroup() { items_->OnChange = nullptr; }

TStrings* TRadioGroup::Items() const { return items_.get(); }

bool TRadioGroup::CanFocus() const { return TWinControl::VisibleAndEnabledUpToForm() && items_->Count() > 0; }

void TRadioGroup::Rebuild() {
    syncing_ = true;
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    auto* grid = static_cast<QGridLayout*>(box_->layout());
    int n = items_->Count();
    int cols = std::max(1, columns_);
    int rows = (n + cols - 1) / cols;
    for (int i = 0; i < n; ++i) {
        auto* b = new QRadioButton(ToQt(items_->Get(i)), box_);
        WatchWidget(b);
        group_->addButton(b, i);
        grid->addWidget(b, rows > 0 ? i % rows : 0, rows > 0 ? i / rows : 0);
        if (i == itemIndex_) b->setChecked(true);
    }
    if (itemIndex_ >= n) itemIndex_ = -1;
    syncing_ = false;
}

void TRadioGroup::SetItemIndex(int Value) {
    if (Value < -1 || Value >= items_->Count()) Value = -1;
    if (Value == itemIndex_) return;
    itemIndex_ = Value;
    syncing_ = true;
    if (Value < 0) {
        group_->setExclusive(false);
        for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
        group_->setExclusive(true);
    } else if (QAbstractButton* b = group_->button(Value)) {
        b->setChecked(true);
    }
    syncing_ = false;
    Click();
}

void TRadioGroup::UserPicked(int Index) { SetItemIndex(Index); }

void TRadioGroup::SetColumns(int Value) {
    columns_ = std::max(1, Value);
    Rebuild();
}
