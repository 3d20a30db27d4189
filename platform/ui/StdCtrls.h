#pragma once
// The standard controls: label, button, check box, radio button, edit,
// memo, combo box, list box, group box and radio group.
#include <memory>
#include <string>

#include <QString>

#include "platform/rtl/Lists.h"
#include "platform/ui/Controls.h"

class QLabel;
class QPushButton;
class QShortcut;
class QCheckBox;
class QRadioButton;
class QLineEdit;
class QPlainTextEdit;
class QComboBox;
class QListWidget;
class QGroupBox;
class QButtonGroup;

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TLabel : public TGraphicControl {
public:
    FAT_CLASS_NAME(TLabel)
    explicit TLabel(TComponent* AOwner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    bool Transparent() const { return true; }
    void SetTransparent(bool) {}
    // The control an accelerator ("&Nome") of the caption focuses.
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* Value);

protected:
    void SetTextValue(const std::string& Value) override;
    void FontChanged() override { SetTextValue(text_); }

private:
    void Apply();
    QLabel* label_;
    TAlignment alignment_ = taLeftJustify;
    TTextLayout layout_ = tlTop;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    TWinControl* focusControl_ = nullptr;
};

class TButton : public TWinControl {
public:
    FAT_CLASS_NAME(TButton)
    explicit TButton(TComponent* AOwner);
    ~TButton() override;

    // Sets the form's ModalResult to the button's (when not mrNone), then
    // runs OnClick.
    void Click() override;
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult Value) { modalResult_ = Value; }
    // Enter presses the default button, Esc the cancel one.
    bool Default() const { return default_; }
    void SetDefault(bool Value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool Value);
    void SetParent(TWinControl* AParent) override;
    // The width that shows the caption (and glyph) whole, with the margin
    // the style keeps around them.
    int FittingWidth() const;
    // A key that presses the button wherever the focus is in its window,
    // besides its caption's Alt letter (Alt+Home for a record row's
    // "Primeiro"); Key 0 takes it away. Shown, enabled buttons only.
    void SetShortCut(Word Key, TShiftState Shift);

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    QPushButton* button_;

private:
    void Register();
    QShortcut* shortCut_ = nullptr;
    TModalResult modalResult_ = mrNone;
    bool default_ = false;
    bool cancel_ = false;
    TCustomForm* registeredWith_ = nullptr;
};

class TCheckBox : public TWinControl {
public:
    FAT_CLASS_NAME(TCheckBox)
    explicit TCheckBox(TComponent* AOwner);

    bool Checked() const { return State() == cbChecked; }
    // Setting it runs OnClick when the state changes, as a click would.
    void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const;
    virtual void SetState(TCheckBoxState Value);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool Value);
    TAlignment Alignment() const { return taRightJustify; }
    void SetAlignment(TAlignment) {}

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    // The user toggled the box.
    virtual void Toggled();
    QCheckBox* box_;
    bool allowGrayed_ = false;
    bool settingState_ = false;
};

class TRadioButton : public TWinControl {
public:
    FAT_CLASS_NAME(TRadioButton)
    explicit TRadioButton(TComponent* AOwner);
    bool Checked() const;
    void SetChecked(bool Value);

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    QRadioButton* radio_;
};

// The single-line edit.
class TCustomEdit : public TWinControl {
public:
    FAT_CLASS_NAME(TCustomEdit)
    explicit TCustomEdit(TComponent* AOwner);

    bool ReadOnly() const { return readOnly_; }
    virtual void SetReadOnly(bool Value);
    bool PassedByTab() const override { return readOnly_; }
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int Value);
    // Shown instead of each character (a password field); 0 shows the text.
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char Value);
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase Value);
    bool Modified() const { return modified_; }
    void SetModified(bool Value) { modified_ = Value; }
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool Value) { autoSelect_ = Value; }
    // Character positions, counted from 0.
    int SelStart() const;
    void SetSelStart(int Value);
    int SelLength() const;
    void SetSelLength(int Value);
    std::string SelText() const;
    void SelectAll();
    void Clear() { SetText(""); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);

    // Runs whenever the text changes, typed or set.
    TNotifyEvent OnChange;

    QLineEdit* LineEdit() const { return edit_; }

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    void DoEnter() override;
    virtual void Change();
    // The user changed the text (not a program's SetText).
    virtual void UserEdited() {}
    void ApplyReadOnly(bool Value);
    QLineEdit* edit_;
    bool readOnly_ = false;
    int maxLength_ = 0;
    char passwordChar_ = 0;
    TEditCharCase charCase_ = ecNormal;
    bool modified_ = false;
    bool autoSelect_ = true;
    bool settingText_ = false;
    TAlignment alignment_ = taLeftJustify;
};

class TEdit : public TCustomEdit {
public:
    FAT_CLASS_NAME(TEdit)
    explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

class TCustomMemo : public TWinControl {
public:
    FAT_CLASS_NAME(TCustomMemo)
    explicit TCustomMemo(TComponent* AOwner);
    ~TCustomMemo() override;

    // The lines; changing them changes the text and the other way round.
    TStrings* Lines() const;
    bool ReadOnly() const { return readOnly_; }
    virtual void SetReadOnly(bool Value);
    bool PassedByTab() const override { return readOnly_; }
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int Value) { maxLength_ = Value; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle Value);
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool Value) { wantReturns_ = Value; }
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool Value) { wantTabs_ = Value; }
    void SelectAll();
    void Clear() { SetText(""); }
    bool Modified() const { return modified_; }
    void SetModified(bool Value) { modified_ = Value; }

    TNotifyEvent OnChange;

    bool WantsReturns() const override { return wantReturns_; }
    QPlainTextEdit* TextEdit() const { return memo_; }

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    virtual void Change();
    virtual void UserEdited() {}
    void ApplyReadOnly(bool Value);
    QPlainTextEdit* memo_;

private:
    std::unique_ptr<TStringList> lines_;
    bool readOnly_ = false;
    int maxLength_ = 0;
    bool wordWrap_ = true;
    bool wantReturns_ = true;
    bool wantTabs_ = false;
    bool modified_ = false;
    bool syncing_ = false;
    TScrollStyle scrollBars_ = ssNone;
};

class TMemo : public TCustomMemo {
public:
    FAT_CLASS_NAME(TMemo)
    explicit TMemo(TComponent* AOwner) : TCustomMemo(AOwner) {}
};

class TCustomComboBox : public TWinControl {
public:
    FAT_CLASS_NAME(TCustomComboBox)
    explicit TCustomComboBox(TComponent* AOwner);
    ~TCustomComboBox() override;

    TStrings* Items() const;
    int ItemIndex() const;
    void SetItemIndex(int Value);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle Value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int Value);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int Value);
    bool DroppedDown() const;
    void SetDroppedDown(bool Value);
    void Clear();

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;

    QComboBox* ComboBox() const { return combo_; }

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    virtual void Change();
    virtual void UserEdited() {}
    // The items or the style changed (a data-aware combo shows its field again).
    virtual void ListChanged() {}
    // The keys that choose from the list count as a choice.
    bool AcceptKey(QKeyEvent* Event) override;
    void SyncItems();
    QComboBox* combo_;
    bool syncing_ = false;

private:
    void WatchLine();
    // Whether the text changed only by the list's own matching on leaving
    // (another spelling of the text shown), with nothing typed or chosen.
    bool AutoMatched() const;
    void RestoreShown();
    std::unique_ptr<TStringList> items_;
    // The text last shown from outside, and whether the user has typed or
    // pointed at the list since.
    QString shown_;
    bool touched_ = false;
    TComboBoxStyle style_ = csDropDown;
    bool sorted_ = false;
    int dropDownCount_ = 8;
    int maxLength_ = 0;
};

class TComboBox : public TCustomComboBox {
public:
    FAT_CLASS_NAME(TComboBox)
    explicit TComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {}
};

class TListBox : public TWinControl {
public:
    FAT_CLASS_NAME(TListBox)
    explicit TListBox(TComponent* AOwner);
    ~TListBox() override;

    TStrings* Items() const;
    int ItemIndex() const;
    void SetItemIndex(int Value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool Value);
    bool Selected(int Index) const;
    void SetSelected(int Index, bool Value);
    int SelCount() const;
    int Count() const { return Items()->Count(); }
    void Clear();

    QListWidget* ListWidget() const { return list_; }

private:
    void SyncItems();
    QListWidget* list_;
    std::unique_ptr<TStringList> items_;
    bool sorted_ = false;
    bool multiSelect_ = false;
    bool syncing_ = false;
};

class TGroupBox : public TWinControl {
public:
    FAT_CLASS_NAME(TGroupBox)
    explicit TGroupBox(TComponent* AOwner);
    bool CanFocus() const override { return false; }

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    QGroupBox* box_;
};

class TRadioGroup : public TGroupBox {
public:
    FAT_CLASS_NAME(TRadioGroup)
    explicit TRadioGroup(TComponent* AOwner);
    ~TRadioGroup() override;

    TStrings* Items() const;
    // -1 when none is selected. Setting it runs OnClick when it changes.
    int ItemIndex() const { return itemIndex_; }
    virtual void SetItemIndex(int Value);
    int Columns() const { return columns_; }
    void SetColumns(int Value);
    bool CanFocus() const override;

protected:
    // The user picked an item.
    virtual void UserPicked(int Index);
    void Rebuild();
    QButtonGroup* group_;

private:
    std::unique_ptr<TStringList> items_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool syncing_ = false;
};
