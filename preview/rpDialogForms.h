#pragma once
// The smaller report dialogs: the no-data message, the question asked when
// a template cannot be read, and the auto-search criteria. Each keeps its
// values where the report reads them and shows a TrpForm for the user.
#include <memory>
#include <vector>

#include "preview/rpForm.h"
#include "report/rpDialogs.h"

class TButton;
class TEdit;
class TLabel;

// Tells the user that the report found nothing to print.
class TrpNoDataDialog : public TrpCustomNoDataDialog {
public:
    explicit TrpNoDataDialog(TComponent* AOwner);
    ~TrpNoDataDialog() override;
    FAT_CLASS(TrpNoDataDialog)

    void SetReport(TrpProducer* Value) override;
    void SetLanguageIndex(int Value) override;
    bool ShowModal() override;

    TrpForm* Form() const { return form_.get(); }
    TLabel* Message() const { return message_; }
    TButton* OK() const { return ok_; }

private:
    void Captions();
    std::unique_ptr<TrpForm> form_;
    TLabel* message_;
    TButton* ok_;
};

// Opens a template from a file or saves it to one, the file chosen
// through the common file dialogs ("Abrir modelo", "Salvar modelo"). A
// file that cannot be read or written is reported in a message box.
class TrpTemplateDialog : public TrpCustomTemplateDialog {
public:
    explicit TrpTemplateDialog(TComponent* AOwner) : TrpCustomTemplateDialog(AOwner) {}
    FAT_CLASS(TrpTemplateDialog)

    bool ShowModal() override;
    // The texts of the file dialog, for the mode.
    std::string Title() const;
    static std::string Filter();
};

// Shows a template read error and asks whether to go on: Sim ignores this
// error, Sim para todos every later one of the same load, Não (or closing
// the window) stops the load.
class TrpTemplateErrorDialog : public TrpCustomTemplateErrorDialog {
public:
    explicit TrpTemplateErrorDialog(TComponent* AOwner);
    ~TrpTemplateErrorDialog() override;
    FAT_CLASS(TrpTemplateErrorDialog)

    void SetLanguageIndex(int Value) override;
    void SetErrorMessage(const std::string& Value) override;
    bool ShowModal() override;

    TrpForm* Form() const { return form_.get(); }
    TLabel* Message() const { return message_; }
    TButton* Yes() const { return yes_; }
    TButton* YesToAll() const { return yesToAll_; }
    TButton* No() const { return no_; }

private:
    void Captions();
    std::unique_ptr<TrpForm> form_;
    TLabel* message_;
    TButton* yes_;
    TButton* yesToAll_;
    TButton* no_;
};

// One line per auto-search criterion: its description and the value to
// search for. A criterion is read and written through its published
// properties "FieldAlias" (else "FieldName", else its name) and
// "SearchExpression", so that any component the report lists can serve.
class TrpAutoSearchDialog : public TrpCustomAutoSearchDialog {
public:
    explicit TrpAutoSearchDialog(TComponent* AOwner);
    ~TrpAutoSearchDialog() override;
    FAT_CLASS(TrpAutoSearchDialog)

    void SetLanguageIndex(int Value) override;
    // Builds a line for each criterion.
    void Init() override;
    bool ShowModal() override;

    TrpForm* Form() const { return form_.get(); }
    int EditCount() const { return static_cast<int>(edits_.size()); }
    TEdit* Edits(int Index) const { return edits_.at(static_cast<std::size_t>(Index)); }
    TLabel* Labels(int Index) const { return labels_.at(static_cast<std::size_t>(Index)); }
    // Writes the typed values into the criteria (OK does it).
    void StoreValues();

private:
    void Captions();
    std::unique_ptr<TrpForm> form_;
    std::vector<TLabel*> labels_;
    std::vector<TEdit*> edits_;
    TButton* ok_;
    TButton* cancel_;
};
