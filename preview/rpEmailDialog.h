#pragma once
// The window in which the user edits an e-mail before its reports are sent
// (TrpEmailDialog, the registered TrpCustomEmailDialog), and the small
// log-on window of transports that need a host and credentials
// (TrpEmailLoginDialog).
//
// The e-mail window's fields are built in code in rows: To, CC and Subject
// always show; From, BCC, Attach, Reply To, File Name and the Advanced
// panel (file type, delete after sending) are toggled from the menus. A
// row that shows pushes every control below it down by its height + 6 and
// the body shrinks by as much, so the body keeps its bottom edge; hiding
// it undoes exactly that. Everything the buttons do is a method, so tests
// drive the window without showing it; its boxes go through the dialog
// service.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "report_output/rpEmail.h"
#include "toolbar/rpToolbar.h"

class TForm;
class TLabel;
class TEdit;
class TMemo;
class TPanel;
class TComboBox;
class TCheckBox;
class TButton;
class TControl;
class TStatusBar;
class TrpTBTDock;
class TrpTBTCustomItem;
class TrpToolbar;
class TrpSubMenuItem;

// The e-mail window's menu bar, its menus (each made with its caption; the
// window fills them with its commands) and its toolbar.
class TrpEmailMenu : public TrpToolbar {
public:
    FAT_CLASS_NAME(TrpEmailMenu)
    explicit TrpEmailMenu(TComponent* AOwner);
};

class TrpEmailFileMenu : public TrpSubMenuItem {
public:
    FAT_CLASS_NAME(TrpEmailFileMenu)
    explicit TrpEmailFileMenu(TComponent* AOwner);
};

class TrpEmailOptionsMenu : public TrpSubMenuItem {
public:
    FAT_CLASS_NAME(TrpEmailOptionsMenu)
    explicit TrpEmailOptionsMenu(TComponent* AOwner);
};

class TrpEmailReportMenu : public TrpSubMenuItem {
public:
    FAT_CLASS_NAME(TrpEmailReportMenu)
    explicit TrpEmailReportMenu(TComponent* AOwner);
};

// Shown only for transports that need a host and credentials.
class TrpEmailConnectionMenu : public TrpSubMenuItem {
public:
    FAT_CLASS_NAME(TrpEmailConnectionMenu)
    explicit TrpEmailConnectionMenu(TComponent* AOwner);
};

class TrpEmailToolbar : public TrpToolbar {
public:
    FAT_CLASS_NAME(TrpEmailToolbar)
    explicit TrpEmailToolbar(TComponent* AOwner);
};

class TrpEmailDialog : public TrpCustomEmailDialog, public TrpEmailConnectionOption {
public:
    FAT_CLASS(TrpEmailDialog)
    explicit TrpEmailDialog(TComponent* AOwner);
    ~TrpEmailDialog() override;

    enum TRow { erFrom, erBCC, erAttach, erReplyTo, erFileName, erAdvanced, erRowCount };

    void SetEmailSettings(TrpEmailSettings* Value) override;
    void SetConnectionVisible(bool Value) override;
    bool ConnectionVisible() const;
    bool ShowModal() override;

    // --- Commands ---
    void ToggleRow(TRow Row);
    bool RowShown(TRow Row) const { return rows_[Row]; }
    // Reads the fields back, checks them and closes with OK; false (with a
    // box) when a recipient or the file name is missing.
    bool SendClick();
    void NewClick();
    void AttachClick();
    void ReportClick();
    void LoginClick();
    void PreviewClick();

    TForm* Form() const { return form_.get(); }
    TEdit* ToEdit() const { return to_; }
    TEdit* CCEdit() const { return cc_; }
    TEdit* BCCEdit() const { return bcc_; }
    TEdit* FromEdit() const { return from_; }
    TEdit* ReplyToEdit() const { return replyTo_; }
    TEdit* SubjectEdit() const { return subject_; }
    TEdit* AttachEdit() const { return attach_; }
    TEdit* FileNameEdit() const { return fileName_; }
    TMemo* BodyMemo() const { return body_; }
    TComboBox* FileTypeList() const { return fileType_; }
    TCheckBox* DeleteFileCheck() const { return deleteFile_; }
    // Every control the window places, for tests of the layout.
    std::vector<TControl*> Controls() const;
    TrpSubMenuItem* ConnectionMenu() const { return connectionMenu_; }
    TrpTBTCustomItem* RowItem(TRow Row) const { return rowItems_[Row]; }
    TrpTBTCustomItem* PreviewItem() const { return previewItem_; }
    TrpTBTCustomItem* SendButton() const { return send_; }
    TrpEmailMenu* Menu() const { return menu_; }
    TrpEmailToolbar* Toolbar() const { return toolbar_; }
    TStatusBar* StatusBar() const { return statusBar_; }

private:
    void BuildWindow();
    void BuildMenus();
    TEdit* AddRow(int Top, int TextNo, TLabel*& Label);
    void ReadFields();

    std::unique_ptr<TForm> form_;
    TrpTBTDock* dock_ = nullptr;
    TrpEmailMenu* menu_ = nullptr;
    TrpEmailToolbar* toolbar_ = nullptr;
    TEdit *to_ = nullptr, *cc_ = nullptr, *subject_ = nullptr, *from_ = nullptr, *bcc_ = nullptr,
          *attach_ = nullptr, *replyTo_ = nullptr, *fileName_ = nullptr;
    TButton *attachButton_ = nullptr, *reportButton_ = nullptr;
    TPanel* advanced_ = nullptr;
    TComboBox* fileType_ = nullptr;
    TCheckBox* deleteFile_ = nullptr;
    TMemo* body_ = nullptr;
    TStatusBar* statusBar_ = nullptr;
    // In layout order: To, CC, Subject, then the optional rows by TRow.
    std::vector<std::vector<TControl*>> layout_;
    std::array<bool, erRowCount> rows_{};
    std::array<TrpTBTCustomItem*, erRowCount> rowItems_{};
    TrpSubMenuItem* connectionMenu_ = nullptr;
    TrpTBTCustomItem* previewItem_ = nullptr;
    TrpTBTCustomItem* send_ = nullptr;
};

class TrpEmailLoginDialog : public TrpCustomReportDialog {
public:
    FAT_CLASS(TrpEmailLoginDialog)
    explicit TrpEmailLoginDialog(TComponent* AOwner);
    ~TrpEmailLoginDialog() override;

    bool ShowModal() override;
    void btnOkClick();
    // Logs on with the three edits through a new transport; "Test
    // Successful" when it works, the transport's text otherwise.
    bool btnTestClick();

    const std::string& HostAddress() const { return hostAddress_; }
    void SetHostAddress(const std::string& Value);
    const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& Value);
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& Value);

    TEdit* edtHostAddr = nullptr;
    TEdit* edtUserName = nullptr;
    TEdit* edtPass = nullptr;
    TForm* Form() const { return form_.get(); }

private:
    std::unique_ptr<TForm> form_;
    std::string hostAddress_, userName_, password_;
};

namespace preview {
// The dialogs, and the preview's e-mail action.
void RegisterEmailDialogs();
void UnregisterEmailDialogs();
}  // namespace preview
