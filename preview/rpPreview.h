#pragma once
// The preview window the producer opens for a report whose device is the
// screen: a toolbar (print, the four zooms, paging with the page number,
// cancel, e-mail, close), the viewer with the pages and a status line. It
// is the registered concrete class of TrpCustomPreviewer.
//
// The producer's hooks: activation runs the job of a modal preview (once),
// closing runs its close hook, freeing its destroy hook. A close while pages
// are made cancels the job first. After a close the window frees itself
// once the event loop is back (never from inside a running job), and
// everything that runs while the messages are processed checks that the
// window is still there.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Forms.h"
#include "report/rpDialogs.h"
#include "report/rpSettings.h"

class QLineEdit;
class QSpinBox;
class TLabel;
class TPanel;
class TrpTBTDock;
class TrpTBTCustomItem;
class TrpToolbar;
class TrpViewer;

// Sends the report by e-mail from the preview; set by the e-mail layer when
// a transport is registered (nullptr: no e-mail button).
using TrpPreviewEmailAction = std::function<void(TrpProducer* Report)>;
void rpSetPreviewEmailAction(TrpPreviewEmailAction Action);
const TrpPreviewEmailAction& rpPreviewEmailAction();

class TrpPrintPreview : public TrpCustomPreviewer {
public:
    FAT_CLASS(TrpPrintPreview)
    explicit TrpPrintPreview(TComponent* AOwner);
    ~TrpPrintPreview() override;

    TrpViewer* Viewer() const { return viewer_; }
    TForm* Form() const { return form_.get(); }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState Value);

    void SetReport(TrpProducer* Value) override;
    void SetLanguageIndex(int Value) override;
    // Applies the report's preview settings (window state, zoom).
    void BeforePreview() override;
    bool ShowModal() override;
    void Show() override;
    // Closes the window (cancelling a running job first).
    void Close();

    // The toolbar's commands, for the keys and for tests.
    void PrintClick();
    void CancelClick();
    void EmailClick();
    void GotoPageText(const std::string& Text);
    // Whether the buttons stand as they should (enabled, checked).
    void UpdateButtons();

    TrpToolbar* Toolbar() const { return toolbar_; }
    TrpTBTCustomItem* PrintButton() const { return print_; }
    TrpTBTCustomItem* CancelButton() const { return cancel_; }
    TrpTBTCustomItem* EmailButton() const { return email_; }
    TrpTBTCustomItem* FirstButton() const { return first_; }
    TrpTBTCustomItem* PriorButton() const { return prior_; }
    TrpTBTCustomItem* NextButton() const { return next_; }
    TrpTBTCustomItem* LastButton() const { return last_; }
    TrpTBTCustomItem* ZoomButton(TrpZoomSettingType Zoom) const;
    QLineEdit* PageNumberEdit() const { return pageEdit_; }
    QSpinBox* ZoomPercentEdit() const { return zoomEdit_; }
    std::string StatusText() const;

private:
    class CloseWatch;
    void BuildWindow();
    void Captions();
    void Activated();
    void Closed();
    void ApplySettings();
    void ScheduleFree();

    std::unique_ptr<TForm> form_;
    TrpTBTDock* dock_ = nullptr;
    TrpToolbar* toolbar_ = nullptr;
    TrpViewer* viewer_ = nullptr;
    TPanel* statusBar_ = nullptr;
    TrpTBTCustomItem* print_ = nullptr;
    TrpTBTCustomItem* wholePage_ = nullptr;
    TrpTBTCustomItem* pageWidth_ = nullptr;
    TrpTBTCustomItem* hundred_ = nullptr;
    TrpTBTCustomItem* first_ = nullptr;
    TrpTBTCustomItem* prior_ = nullptr;
    TrpTBTCustomItem* next_ = nullptr;
    TrpTBTCustomItem* last_ = nullptr;
    TrpTBTCustomItem* cancel_ = nullptr;
    TrpTBTCustomItem* email_ = nullptr;
    TrpTBTCustomItem* close_ = nullptr;
    QLineEdit* pageEdit_ = nullptr;
    QSpinBox* zoomEdit_ = nullptr;
    CloseWatch* closeWatch_ = nullptr;
    bool activated_ = false;
    bool closed_ = false;
    bool freeScheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

void RegisterPreviewClasses();
void UnregisterPreviewClasses();
