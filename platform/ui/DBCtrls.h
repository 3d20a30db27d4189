#pragma once
// Data-aware controls: each shows one field of a data source's current
// record, starts an edit when the user types (if the data source allows
// it), and writes its text back through the field when the record is posted
// or the control is left.
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"
#include "platform/ui/Mask.h"
#include "platform/ui/StdCtrls.h"

class QAction;
class QCalendarWidget;

namespace ui {
// Whether a key press would change an edit's text.
bool IsEditingKey(const QKeyEvent* Event, bool EnterEdits);
// A money, quantity or rate field: its text is a number with decimals, typed
// as an amount (TAmountTyping).
bool TakesDecimals(const TField* Field);
}  // namespace ui

class TDBEdit : public TCustomMaskEdit {
public:
    FAT_CLASS_NAME(TDBEdit)
    explicit TDBEdit(TComponent* AOwner);
    ~TDBEdit() override;

    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }
    void LabelCaptionChanged(const std::string& Caption) override { link_.SetCaption(Caption); }
    // Read-only here means the control never writes its field.
    void SetReadOnly(bool Value) override;

protected:
    virtual void DataChange();
    virtual void UpdateData();
    void ApplyState();
    bool AcceptKey(QKeyEvent* Event) override;
    bool EscapeUndoes() const override { return link_.IsModified(); }
    // A "." typed into a money, quantity or rate field with no decimal comma
    // yet is taken for the keypad's decimal point and shown as ","; a ","
    // or "." typed after it shows that it was a thousands mark ("5.000,00"),
    // and so does leaving with three digits after it ("5.000").
    void KeyPressed(char32_t& Key) override;
    void UserEdited() override;
    void DoEnter() override;
    void DoExit() override;
    TFieldDataLink link_;
    bool focused_ = false;
    TAmountTyping amount_;
};

class TDBMemo : public TCustomMemo {
public:
    FAT_CLASS_NAME(TDBMemo)
    explicit TDBMemo(TComponent* AOwner);
    ~TDBMemo() override;

    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }
    void LabelCaptionChanged(const std::string& Caption) override { link_.SetCaption(Caption); }
    void SetReadOnly(bool Value) override;

protected:
    virtual void DataChange();
    virtual void UpdateData();
    bool AcceptKey(QKeyEvent* Event) override;
    bool EscapeUndoes() const override { return link_.IsModified(); }
    void UserEdited() override;
    void DoExit() override;
    TFieldDataLink link_;
};

class TDBCheckBox : public TCheckBox {
public:
    FAT_CLASS_NAME(TDBCheckBox)
    explicit TDBCheckBox(TComponent* AOwner);
    ~TDBCheckBox() override;

    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }
    bool ReadOnly() const { return link_.ReadOnly(); }
    void SetReadOnly(bool Value) { link_.SetReadOnly(Value); }
    // The texts that mean ticked and not ticked ("Sim", "Não"); several
    // may be given separated by ";", the first is the one written.
    const std::string& ValueChecked() const { return valueChecked_; }
    void SetValueChecked(const std::string& Value);
    const std::string& ValueUnchecked() const { return valueUnchecked_; }
    void SetValueUnchecked(const std::string& Value);

protected:
    void Toggled() override;
    bool AcceptKey(QKeyEvent* Event) override;
    bool EscapeUndoes() const override { return link_.IsModified(); }
    void DoExit() override;

private:
    TCheckBoxState FieldState() const;
    void DataChange();
    void UpdateData();
    TFieldDataLink link_;
    std::string valueChecked_ = "True";
    std::string valueUnchecked_ = "False";
};

class TDBComboBox : public TCustomComboBox {
public:
    FAT_CLASS_NAME(TDBComboBox)
    explicit TDBComboBox(TComponent* AOwner);
    ~TDBComboBox() override;

    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }
    void LabelCaptionChanged(const std::string& Caption) override { link_.SetCaption(Caption); }
    bool ReadOnly() const { return link_.ReadOnly(); }
    void SetReadOnly(bool Value) { link_.SetReadOnly(Value); }

protected:
    bool AcceptKey(QKeyEvent* Event) override;
    bool EscapeUndoes() const override { return link_.IsModified(); }
    void UserEdited() override;
    void DoExit() override;
    void ListChanged() override { DataChange(); }

private:
    void DataChange();
    void UpdateData();
    TFieldDataLink link_;
};

// A list-only combo that shows ListField of the ListSource rows and writes
// the chosen row's KeyField into the field.
class TDBLookupComboBox : public TCustomComboBox {
public:
    FAT_CLASS_NAME(TDBLookupComboBox)
    explicit TDBLookupComboBox(TComponent* AOwner);
    ~TDBLookupComboBox() override;

    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }
    void LabelCaptionChanged(const std::string& Caption) override { link_.SetCaption(Caption); }
    bool ReadOnly() const { return link_.ReadOnly(); }
    void SetReadOnly(bool Value) { link_.SetReadOnly(Value); }
    TDataSource* ListSource() const;
    void SetListSource(TDataSource* Value);
    const std::string& KeyField() const { return keyField_; }
    void SetKeyField(const std::string& Value);
    const std::string& ListField() const { return listField_; }
    void SetListField(const std::string& Value);
    // The key of the shown row as text; empty when none.
    std::string KeyValue() const;
    // Reads the list rows again.
    void RefreshList();

protected:
    bool AcceptKey(QKeyEvent* Event) override;
    void UserEdited() override;
    void DoExit() override;

private:
    class ListLink;
    void DataChange();
    void UpdateData();
    TFieldDataLink link_;
    std::unique_ptr<ListLink> listLink_;
    std::string keyField_, listField_;
    std::vector<std::string> keys_;
    bool filling_ = false;
};

// A label that shows a field's display text.
class TDBText : public TLabel {
public:
    FAT_CLASS_NAME(TDBText)
    explicit TDBText(TComponent* AOwner);
    ~TDBText() override;
    TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* Value);
    const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(const std::string& Value) { link_.SetFieldName(Value); }
    TField* Field() const { return link_.Field(); }

private:
    TFieldDataLink link_;
};

// An edit with a "..." button: the button (and F5... as the form decides)
// runs OnCustomDlg, where a form looks a key up and writes it to the field.
// An edit with a button that opens a search; Alt+Down presses the button,
// and the hint says so.
class TexDBComboDlg : public TDBEdit {
public:
    static constexpr const char* kLookupHint = "Pesquisar (Alt+↓)";

    FAT_CLASS_NAME(TexDBComboDlg)
    explicit TexDBComboDlg(TComponent* AOwner);
    bool ShowButton() const { return showButton_; }
    void SetShowButton(bool Value);
    // Presses the button.
    void DoCustomDlg();
    TNotifyEvent OnCustomDlg;

private:
    QAction* button_;
    bool showButton_ = true;
};

// A date edit that can be left empty (an empty text makes the field null).
// Two-digit years fall in the hundred years that start at Epoch.
class TexDBDateTimePicker : public TDBEdit {
public:
    FAT_CLASS_NAME(TexDBDateTimePicker)
    explicit TexDBDateTimePicker(TComponent* AOwner);
    ~TexDBDateTimePicker() override;

    int Epoch() const { return epoch_; }
    void SetEpoch(int Value) { epoch_ = Value; }
    // The shown date; 0 when empty.
    TDateTime Date() const;
    void SetDate(TDateTime Value);
    bool IsEmpty() const;
    // Opens the calendar (the button does it).
    void DropDown();
    QCalendarWidget* Calendar() const { return calendar_; }

    TNotifyEvent OnCloseUp;

protected:
    void DataChange() override;
    void UpdateData() override;
    void DoExit() override;

private:
    bool ParseDate(const std::string& Shown, TDateTime& Result) const;
    void CalendarPicked();
    QAction* button_;
    QCalendarWidget* calendar_ = nullptr;
    int epoch_ = 1950;
};

// A memo for formatted text. Text kept in the platform's rich-text format
// ("{\rtf...") is shown as its plain text and left untouched unless the
// user changes it.
class TexDBRichEdit : public TDBMemo {
public:
    FAT_CLASS_NAME(TexDBRichEdit)
    explicit TexDBRichEdit(TComponent* AOwner) : TDBMemo(AOwner) {}
    // The plain text of rich text ("{\rtf1 ... }"): control words and
    // groups dropped, "\par" as line breaks, "\'e7" as the code page 1252
    // character. Other text is returned as it is.
    static std::string PlainText(const std::string& Rtf);

protected:
    void DataChange() override;
};
