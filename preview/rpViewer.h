#pragma once
// The viewer: the control that shows a report's pages on screen. It owns a
// screen device connected to the report's publisher, a scroll box and,
// inside it, a paint box the size of the device's page image; painting only
// copies the exposed part of that image. It offers zoom, paging, clickable
// draw commands and printing of the previewed report. The preview window
// hosts it; the billing forms set its zoom directly.
//
// Life: made → report set (device connected) → pages shown as they arrive
// (ready once the first job started) → printing from the preview
// disconnects the device and connects it again afterwards → report cleared
// when its publisher goes away. Resizes are coalesced: a burst of them
// lays the page out once, from a 0 ms single-shot timer.
//
// The viewer broadcasts through its own communicator: 94 page changed,
// 95 print state changed, 96 status changed, 97 viewer reset, 129 mouse
// pressed on the page.
#include <memory>
#include <string>

#include <QWidget>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "report/rpComm.h"
#include "report/rpTypes.h"
#include "report_output/rpScreenDevice.h"

class QScrollArea;
class QScrollBar;
class QTimer;
class QMouseEvent;
class TrpPrinterSetup;
class TrpViewer;

enum : int {
    rpevViewerPageChanged = 94,
    rpevViewerPrintStateChanged = 95,
    rpevViewerStatusChanged = 96,
    rpevViewerReset = 97,
    rpevViewerMouseDown = 129,
};

// The scroll box around the page: a QScrollArea.
class TrpScrollBox : public TWinControl {
public:
    FAT_CLASS_NAME(TrpScrollBox)
    explicit TrpScrollBox(TComponent* AOwner);
    QScrollArea* ScrollArea() const { return area_; }
    QScrollBar* HorzScrollBar() const;
    QScrollBar* VertScrollBar() const;
    // The part that shows the page (without the scroll bars).
    int VisibleWidth() const;
    int VisibleHeight() const;
    TNotifyEvent OnResize;

protected:
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;

private:
    QScrollArea* area_;
};

// The panel's drag events. Source is the control the drag came from
// (nullptr when it came from elsewhere).
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
// A panel's border: bsNone or bsSingle of the forms' border styles.
using TBorderStyle = TFormBorderStyle;

class TrpViewer : public TPanel, public TrpScreenViewer {
public:
    FAT_CLASS(TrpViewer)
    explicit TrpViewer(TComponent* AOwner);
    ~TrpViewer() override;

    TColor PageColor() const { return pageColor_; }
    void SetPageColor(TColor Value);
    TrpProducer* Report() const { return report_; }
    void SetReport(TrpProducer* Value);
    int ZoomPercentage() const { return zoomPercentage_; }
    // Clamped to 25..250; switches to zsPercentage.
    void SetZoomPercentage(int Value);
    TrpZoomSettingType ZoomSetting() const { return zoomSetting_; }
    void SetZoomSetting(TrpZoomSettingType Value);

    // The panel's looks that a stored form sets. BevelWidth is the frame's
    // line width. Qt draws no separate border ring, no 3-D switch and no
    // inherited hint flag: BorderWidth, BorderStyle, Ctl3D, ParentCtl3D and
    // ParentShowHint are kept and read back so that stored forms load and
    // save unchanged, and change nothing on screen.
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int Value);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int Value) { borderWidth_ = Value; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle Value) { borderStyle_ = Value == bsNone ? bsNone : bsSingle; }
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool Value) { ctl3D_ = Value; }
    bool ParentCtl3D() const { return parentCtl3D_; }
    void SetParentCtl3D(bool Value) { parentCtl3D_ = Value; }
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool Value) { parentShowHint_ = Value; }

    // The mouse moves over the viewer or its page (X, Y of the viewer's
    // own part, of the page image over the page).
    TMouseMoveEvent OnMouseMove;
    // The viewer's size changed.
    TNotifyEvent OnResize;
    // Something is dragged over the viewer / dropped on it.
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;

    TNotifyEvent OnPageChange;
    TNotifyEvent OnPrintStateChange;
    TNotifyEvent OnStatusChange;
    // Run after Reset and when a run starts from the viewer.
    TNotifyEvent OnReset;

    void Reset();
    void RegenerateReport();
    void Cancel();
    // Prints the report shown through its print dialog, then shows the
    // preview again.
    void Print();
    void GotoPage(int PageNo);
    void NextPage();
    void PriorPage();
    void FirstPage();
    void LastPage();
    // 0 up, 1 down (by the box's height), 2 left, 3 right (by its width).
    void Scroll(int Code);

    int AbsolutePageNo() const;
    TrpPage* CurrentPage() const;
    int CurrentZoom() const;
    std::string Status() const;
    bool Printing() const;
    bool Busy() const { return busy_ > 0; }
    bool Ready() const { return ready_; }
    TrpScreenDevice* ScreenDevice() const { return device_.get(); }
    TrpScrollBox* ScrollBox() const { return scrollBox_; }
    // The paint box's widget (the page image's place).
    QWidget* PaintBox() const;
    TrpCommunicator* Communicator() const;

    void PageChanged() override;
    void StatusChanged() override;
    void PrintStateChanged();

    // The page is clicked at (X, Y) of the paint box (the image).
    void PaintBoxClick(int X, int Y);
    // The mouse moves over (X, Y): the hand over clickable commands.
    void PaintBoxMouseMove(int X, int Y);
    void PaintBoxMouseDown(int X, int Y);
    // Lays the page out for the box's new size (the resize timer's work).
    void Resized();

    // --- What the screen device asks of its viewer ---
    int BoxWidth() const override;
    int BoxHeight() const override;
    TrpZoomSettingType ViewerZoomSetting() const override { return zoomSetting_; }
    int ViewerZoomPercentage() const override { return zoomPercentage_; }
    TColor ViewerColor() const override { return Color(); }
    TColor ViewerPageColor() const override { return pageColor_; }
    TrpProducer* ViewerReport() const override { return report_; }
    bool ViewerEnabled() const override { return Enabled(); }
    bool ViewerDestroying() const override { return destroying_; }
    bool PaintBoxVisible() const override;
    void ShowPaintBox() override;
    void ShowScrollBox() override;
    void LockUpdates(bool Locked) override;
    void CopyToPaintBox(const TRect& Rect) override;
    void UpdateScrollBars() override;
    void RepaintViewer() override;
    void ReportGone() override;

protected:
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;

private:
    class Listener;
    class PaintArea;
    void InitializeControls();
    bool CanDisplay();
    void TakePageSize();
    // Tells OnMouseMove of a move to (X, Y).
    void MouseMoved(const QMouseEvent* Event, int X, int Y);
    // Puts back what Print changed; true when it had something to put back.
    bool RestoreAfterPrint();
    void ScheduleResize();

    std::unique_ptr<TrpScreenDevice> device_;
    std::unique_ptr<Listener> comm_;
    TrpScrollBox* scrollBox_ = nullptr;
    PaintArea* paintBox_ = nullptr;
    QTimer* resizeTimer_ = nullptr;
    TrpProducer* report_ = nullptr;
    TColor pageColor_ = clWindow;
    int zoomPercentage_ = 100;
    TrpZoomSettingType zoomSetting_ = zsWholePage;
    int busy_ = 0;
    bool ready_ = false;
    bool painting_ = false;
    bool controlsInitialized_ = false;
    bool resetScrollPosition_ = false;
    bool destroying_ = false;
    bool handShowing_ = false;
    // A press landed on the viewer (so its release is a click), and the
    // page already ran the click of the press now ending.
    bool pressed_ = false;
    bool pageClicked_ = false;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    bool ctl3D_ = true;
    bool parentCtl3D_ = true;
    bool parentShowHint_ = true;
    // Saved by Print while the report prints.
    bool printSaved_ = false;
    std::string savedDeviceType_;
    std::unique_ptr<TrpPrinterSetup> savedPrinterSetup_;
    bool savedShowAutoSearchDialog_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Makes the report's screen pixels those of the primary screen (its logical
// dots per inch, as the desktop scales); the program calls it at start-up,
// tests keep 96.
void rpUseScreenResolution();

void RegisterViewerClasses();
void UnregisterViewerClasses();
