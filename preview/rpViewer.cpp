#include "preview/rpViewer.h"

#include <algorithm>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QCursor>
#include <QDropEvent>
#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "report/rpGeneration.h"
#include "report/rpPublish.h"
#include "report/rpPrinterSetup.h"
#include "report/rpProducer.h"
#include "report/rpPublisher.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"

// ---------------------------------------------------------------------------
// Scroll box

TrpScrollBox::TrpScrollBox(TComponent* AOwner) : TWinControl(AOwner), area_(new QScrollArea) {
    SetWidget(area_);
    area_->setFrameShape(QFrame::NoFrame);
    area_->setWidgetResizable(false);
    area_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    WatchWidget(area_->viewport());
}

QScrollBar* TrpScrollBox::HorzScrollBar() const { return area_->horizontalScrollBar(); }
QScrollBar* TrpScrollBox::VertScrollBar() const { return area_->verticalScrollBar(); }
int TrpScrollBox::VisibleWidth() const { return area_->viewport()->width(); }
int TrpScrollBox::VisibleHeight() const { return area_->viewport()->height(); }

bool TrpScrollBox::WidgetEvent(QObject* Watched, QEvent* Event) {
    if (Watched == area_ && Event->type() == QEvent::Resize && OnResize) OnResize(this);
    return TWinControl::WidgetEvent(Watched, Event);
}

// ---------------------------------------------------------------------------
// Paint box: the page image's place inside the scroll box.

class TrpViewer::PaintArea : public QWidget {
public:
    explicit PaintArea(TrpViewer* Viewer) : viewer_(Viewer) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* Event) override {
        const QImage* image = viewer_->device_ ? viewer_->device_->PageImage() : nullptr;
        QPainter p(this);
        if (image == nullptr) {
            p.fillRect(Event->rect(), ui::ToQColor(clBtnShadow));
            return;
        }
        // Only the exposed part is copied.
        p.drawImage(Event->rect(), *image, Event->rect());
    }
    void mousePressEvent(QMouseEvent* Event) override {
        viewer_->PaintBoxMouseDown(Event->position().toPoint().x(), Event->position().toPoint().y());
        QWidget::mousePressEvent(Event);
    }
    void mouseReleaseEvent(QMouseEvent* Event) override {
        if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) {
            viewer_->PaintBoxClick(Event->position().toPoint().x(), Event->position().toPoint().y());
            // The release goes on up to the viewer for its mouse-up; the
            // click is done.
            viewer_->pageClicked_ = true;
        }
        QWidget::mouseReleaseEvent(Event);
    }
    void mouseMoveEvent(QMouseEvent* Event) override {
        const QPoint p = Event->position().toPoint();
        viewer_->PaintBoxMouseMove(p.x(), p.y());
        // Told here, in page coordinates; the viewer must not hear it twice.
        viewer_->MouseMoved(Event, p.x(), p.y());
        Event->accept();
    }

private:
    TrpViewer* viewer_;
};

// ---------------------------------------------------------------------------
// The viewer's own communicator: it broadcasts the viewer's events and hears
// the end of a print from the preview (event 89).

class TrpViewer::Listener : public TrpCommunicator {
public:
    explicit Listener(TrpViewer* Viewer) : TrpCommunicator(nullptr), viewer_(Viewer) {
        EventSet().set(rpevPrintingFinished);
    }
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        if (EventNumber == rpevPrintingFinished && Sender == static_cast<TObject*>(viewer_->report_))
            viewer_->RestoreAfterPrint();
    }

private:
    TrpViewer* viewer_;
};

// ---------------------------------------------------------------------------

namespace {

using typinfo::Keep;

const TTypeInfo* AnchorsType() {
    static const TTypeInfo* t =
        Keep(MakeSetTypeInfo("TAnchors", MakeEnumTypeInfo("TAnchorKind", {"akLeft", "akTop", "akRight", "akBottom"})));
    return t;
}

const TTypeInfo* BevelCutType() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}));
    return t;
}

const TTypeInfo* BorderStyleType() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TBorderStyle", {"bsNone", "bsSingle"}));
    return t;
}


}  // namespace

TClass TrpViewer::StaticClassType() {
    using V = TrpViewer;
    static const TClassInfo info =
        TClassBuilder<V>("TrpViewer", TComponent::StaticClassType())
            .Integer("PageColor", &V::PageColor, &V::SetPageColor, clWindow)
            .Object("Report", TrpProducer::StaticClassType(), &V::Report, &V::SetReport)
            .Integer("ZoomPercentage", &V::ZoomPercentage, &V::SetZoomPercentage, 100)
            .Enum("ZoomSetting", rpTypeInfo<TrpZoomSettingType>(), &V::ZoomSetting, &V::SetZoomSetting, zsWholePage)
            .Event("OnPageChange", &V::OnPageChange)
            .Event("OnPrintStateChange", &V::OnPrintStateChange)
            .Event("OnStatusChange", &V::OnStatusChange)
            // The panel's own.
            .Enum("Align", TypeInfoAlign(), &V::Align, &V::SetAlign, alNone)
            .Enum("Alignment", TypeInfoAlignment(), &V::Alignment, &V::SetAlignment, taCenter)
            .Set("Anchors", AnchorsType(), &V::Anchors, &V::SetAnchors, 3)
            .Enum("BevelInner", BevelCutType(), &V::BevelInner, &V::SetBevelInner, bvNone)
            // The constructor's bevel: a raised one differs from it and is
            // stored, and a stored form that names none reads as it always did.
            .Enum("BevelOuter", BevelCutType(), &V::BevelOuter, &V::SetBevelOuter, bvNone)
            .Integer("BevelWidth", &V::BevelWidth, &V::SetBevelWidth, 1)
            .Integer("BorderWidth", &V::BorderWidth, &V::SetBorderWidth, 0)
            .Enum("BorderStyle", BorderStyleType(), &V::BorderStyle, &V::SetBorderStyle, bsNone)
            .Ordinal("Color", TypeInfoColor(), &V::Color, &V::SetColor)
            .Boolean("Ctl3D", &V::Ctl3D, &V::SetCtl3D, true)
            .Boolean("ParentCtl3D", &V::ParentCtl3D, &V::SetParentCtl3D, true)
            .Boolean("ParentShowHint", &V::ParentShowHint, &V::SetParentShowHint, true)
            .Object("PopupMenu", TComponent::StaticClassType(), &V::PopupMenu, &V::SetPopupMenu)
            .Boolean("ShowHint", &V::ShowHint, &V::SetShowHint, false)
            .Boolean("Visible", &V::Visible, &V::SetVisible, true)
            .Event<TNotifyEvent>("OnClick", &V::OnClick)
            .Event<TNotifyEvent>("OnDblClick", &V::OnDblClick)
            .Event("OnDragDrop", &V::OnDragDrop, rpEventTypeInfo("TDragDropEvent"))
            .Event("OnDragOver", &V::OnDragOver, rpEventTypeInfo("TDragOverEvent"))
            .Event<TMouseEvent>("OnMouseDown", &V::OnMouseDown, rpEventTypeInfo("TMouseEvent"))
            .Event("OnMouseMove", &V::OnMouseMove, rpEventTypeInfo("TMouseMoveEvent"))
            .Event<TMouseEvent>("OnMouseUp", &V::OnMouseUp, rpEventTypeInfo("TMouseEvent"))
            .Event("OnResize", &V::OnResize)
            .Build();
    return &info;
}

TrpViewer::TrpViewer(TComponent* AOwner) : TPanel(AOwner), comm_(std::make_unique<Listener>(this)) {
    SetBevelOuter(bvNone);
    SetColor(clBtnShadow);
    SetFontSize(8);
    SetBounds(Left(), Top(), 320, 120);
    // Owned here, not by the component list: it must go before the panel.
    device_ = std::make_unique<TrpScreenDevice>(nullptr);
    device_->SetViewer(this);
    device_->OnStartJob = [this](TObject*) {
        ready_ = true;
        PrintStateChanged();
    };
    device_->OnEndJob = [this](TObject*) { PrintStateChanged(); };
    device_->OnCancelJob = [this](TObject*) { PrintStateChanged(); };
    resizeTimer_ = new QTimer(Widget());
    resizeTimer_->setSingleShot(true);
    resizeTimer_->setInterval(0);
    QObject::connect(resizeTimer_, &QTimer::timeout, Widget(), [this] { Resized(); });
    // Moves over the bare panel are told even with no button down.
    Widget()->setMouseTracking(true);
    Widget()->setAcceptDrops(true);
}

TrpViewer::~TrpViewer() {
    destroying_ = true;
    *alive_ = false;
    if (report_ != nullptr) {
        report_->RemoveEventNotify(device_.get());
        report_->RemoveEventNotify(comm_.get());
        if (printSaved_) RestoreAfterPrint();
    }
    device_->SetPublisher(nullptr);
    device_->OnStartJob = device_->OnEndJob = device_->OnCancelJob = nullptr;
    device_->SetViewer(nullptr);
    device_.reset();
}

void TrpViewer::InitializeControls() {
    if (controlsInitialized_) return;
    controlsInitialized_ = true;
    scrollBox_ = new TrpScrollBox(this);
    scrollBox_->SetParent(this);
    scrollBox_->SetAlign(alClient);
    scrollBox_->SetColor(clBtnShadow);
    scrollBox_->OnResize = [this](TObject*) { ScheduleResize(); };
    paintBox_ = new PaintArea(this);
    scrollBox_->ScrollArea()->setWidget(paintBox_);
    // Scroll bars track: the page follows the thumb while it is dragged.
    scrollBox_->HorzScrollBar()->setTracking(true);
    scrollBox_->VertScrollBar()->setTracking(true);
    Realign();
}

bool TrpViewer::CanDisplay() {
    if (!ready_ || painting_) return false;
    InitializeControls();
    return true;
}

QWidget* TrpViewer::PaintBox() const { return paintBox_; }

TrpCommunicator* TrpViewer::Communicator() const { return comm_.get(); }

bool TrpViewer::WidgetEvent(QObject* Watched, QEvent* Event) {
    if (Watched != Widget()) return TPanel::WidgetEvent(Watched, Event);
    switch (Event->type()) {
    case QEvent::Resize:
        ScheduleResize();
        if (OnResize && !destroying_) Guarded([this] { OnResize(this); });
        break;
    case QEvent::MouseButtonPress:
        pressed_ = static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton;
        break;
    case QEvent::MouseButtonRelease: {
        // A press and release of the left button over the viewer is a click,
        // unless the page under it already took it; the mouse-up follows.
        auto* me = static_cast<QMouseEvent*>(Event);
        const bool click = pressed_ && !pageClicked_ && me->button() == Qt::LeftButton &&
                           Widget()->rect().contains(me->position().toPoint());
        pressed_ = false;
        pageClicked_ = false;
        if (click) Guarded([this] { Click(); });
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(Event);
        MouseMoved(me, me->position().toPoint().x(), me->position().toPoint().y());
        break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* de = static_cast<QDragMoveEvent*>(Event);
        bool accept = false;
        if (OnDragOver) {
            TObject* source = ui::ControlOf(qobject_cast<QWidget*>(de->source()));
            const QPoint p = de->position().toPoint();
            const TDragState state = Event->type() == QEvent::DragEnter ? dsDragEnter : dsDragMove;
            Guarded([&] { OnDragOver(this, source, p.x(), p.y(), state, accept); });
        }
        if (accept)
            de->acceptProposedAction();
        else
            de->ignore();
        return true;
    }
    case QEvent::DragLeave:
        if (OnDragOver) {
            bool accept = false;
            const QPoint p = Widget()->mapFromGlobal(QCursor::pos());
            Guarded([&] { OnDragOver(this, nullptr, p.x(), p.y(), dsDragLeave, accept); });
        }
        return true;
    case QEvent::Drop: {
        auto* de = static_cast<QDropEvent*>(Event);
        if (!OnDragDrop) {
            de->ignore();
            return true;
        }
        TObject* source = ui::ControlOf(qobject_cast<QWidget*>(de->source()));
        const QPoint p = de->position().toPoint();
        Guarded([&] { OnDragDrop(this, source, p.x(), p.y()); });
        de->acceptProposedAction();
        return true;
    }
    default:
        break;
    }
    return TPanel::WidgetEvent(Watched, Event);
}

void TrpViewer::MouseMoved(const QMouseEvent* Event, int X, int Y) {
    if (!OnMouseMove || destroying_) return;
    const TShiftState shift = ui::ShiftState(Event);
    Guarded([&] { OnMouseMove(this, shift, X, Y); });
}

void TrpViewer::SetBevelWidth(int Value) {
    bevelWidth_ = Value;
    if (auto* frame = qobject_cast<QFrame*>(Widget())) frame->setLineWidth(Value);
}

void TrpViewer::ScheduleResize() {
    if (destroying_ || resizeTimer_ == nullptr) return;
    resizeTimer_->start();
}

void TrpViewer::Resized() {
    if (destroying_ || !CanDisplay()) return;
    ++busy_;
    device_->DisplayPage();
    UpdateScrollBars();
    PageChanged();
    if (paintBox_ != nullptr) paintBox_->update();
    busy_ = std::max(0, busy_ - 1);
}

// ---------------------------------------------------------------------------
// Properties

void TrpViewer::SetPageColor(TColor Value) {
    pageColor_ = Value;
    RepaintViewer();
}

void TrpViewer::TakePageSize() {
    if (report_ != nullptr) device_->CurrentPage()->SetPrinterSetup(report_->PrinterSetup());
}

void TrpViewer::SetReport(TrpProducer* Value) {
    if (report_ != nullptr && report_ != Value) {
        report_->RemoveEventNotify(device_.get());
        report_->RemoveEventNotify(comm_.get());
    }
    report_ = Value;
    if (report_ != nullptr) {
        device_->SetPublisher(report_->Publisher());
        report_->AddEventNotify(device_.get());
    } else {
        device_->SetPublisher(nullptr);
    }
    TakePageSize();
}

void TrpViewer::SetZoomSetting(TrpZoomSettingType Value) {
    zoomSetting_ = Value;
    if (!CanDisplay()) return;
    if (!Widget()->isVisible()) {
        RepaintViewer();
        return;
    }
    paintBox_->hide();
    device_->DisplayPage();
    resetScrollPosition_ = true;
    UpdateScrollBars();
    paintBox_->update();
    paintBox_->show();
}

void TrpViewer::SetZoomPercentage(int Value) {
    zoomPercentage_ = std::clamp(Value, 25, 250);
    SetZoomSetting(zsPercentage);
}

// ---------------------------------------------------------------------------
// Runs

void TrpViewer::Reset() {
    TakePageSize();
    device_->Reset();
    if (OnReset) OnReset(this);
    comm_->SendEventNotify(this, rpevViewerReset, nullptr);
}

void TrpViewer::RegenerateReport() {
    if (report_ == nullptr || device_->Busy()) return;
    if (report_->ShowAutoSearchDialog() && !report_->DisplayAutoSearchDialog()) return;
    ready_ = false;
    report_->Publisher()->Reset();
    Reset();
    ready_ = true;
    if (OnReset) OnReset(this);
    device_->RequestPage();
}

void TrpViewer::Cancel() { device_->CancelReport(); }

void TrpViewer::Print() {
    if (report_ == nullptr || device_->Busy() || printSaved_) return;
    TrpProducer* report = report_;
    device_->SetPublisher(nullptr);
    const int shown = device_->CurrentPage()->AbsolutePageNo();
    report->SetCurrentPage(shown > 0 ? shown : 1);
    savedDeviceType_ = report->DeviceType();
    savedPrinterSetup_ = std::make_unique<TrpPrinterSetup>(nullptr);
    savedPrinterSetup_->Assign(report->PrinterSetup());
    savedShowAutoSearchDialog_ = report->ShowAutoSearchDialog();
    printSaved_ = true;
    report->AddEventNotify(comm_.get());
    report->SetShowAutoSearchDialog(false);
    const std::weak_ptr<bool> alive = alive_;
    try {
        report->SetDeviceType("Printer");
        if (auto* r = dynamic_cast<TrpCustomReport*>(report))
            r->PrintWithoutConversion();
        else
            report->PrintReport();
    } catch (...) {
        // A failed print leaves the preview as it was, not stuck on the
        // printer with the screen device cut off.
        if (!alive.expired()) RestoreAfterPrint();
        throw;
    }
    // A print that ended without its closing event (no job at all) is put
    // back here as well.
    if (!alive.expired() && printSaved_) RestoreAfterPrint();
}

bool TrpViewer::RestoreAfterPrint() {
    if (!printSaved_) return false;
    printSaved_ = false;
    TrpProducer* report = report_;
    if (report != nullptr) {
        report->RemoveEventNotify(comm_.get());
        // The device type is set back without the registry's check: the
        // screen device is always there while a viewer is.
        try {
            report->SetDeviceType(savedDeviceType_);
        } catch (...) {
        }
        report->SetShowAutoSearchDialog(savedShowAutoSearchDialog_);
        if (!destroying_) {
            device_->SetPublisher(report->Publisher());
            if (savedPrinterSetup_ != nullptr && !report->PrinterSetup()->IsEqual(savedPrinterSetup_.get())) {
                // The user changed paper or margins: the preview follows.
                TakePageSize();
                device_->PageRequest()->SetPageSetting(psSinglePage);
                device_->PageRequest()->SetPageRequested(std::max(1, device_->AbsolutePageNo()));
                savedPrinterSetup_.reset();
                device_->RequestPage();
            }
        }
    }
    savedPrinterSetup_.reset();
    return true;
}

// ---------------------------------------------------------------------------
// Paging

void TrpViewer::GotoPage(int PageNo) { device_->GotoPage(PageNo); }

void TrpViewer::NextPage() {
    if (device_->CurrentPage()->LastPage()) return;
    GotoPage(device_->AbsolutePageNo() + 1);
}

void TrpViewer::PriorPage() {
    if (device_->AbsolutePageNo() <= 1) return;
    GotoPage(device_->AbsolutePageNo() - 1);
}

void TrpViewer::FirstPage() { device_->FirstPage(); }
void TrpViewer::LastPage() { device_->LastPage(); }

void TrpViewer::Scroll(int Code) {
    if (scrollBox_ == nullptr) return;
    QScrollBar* v = scrollBox_->VertScrollBar();
    QScrollBar* h = scrollBox_->HorzScrollBar();
    switch (Code) {
        case 0: v->setValue(v->value() - scrollBox_->Height()); break;
        case 1: v->setValue(v->value() + scrollBox_->Height()); break;
        case 2: h->setValue(h->value() - scrollBox_->Width()); break;
        case 3: h->setValue(h->value() + scrollBox_->Width()); break;
        default: break;
    }
}

int TrpViewer::AbsolutePageNo() const { return device_->AbsolutePageNo(); }
TrpPage* TrpViewer::CurrentPage() const { return device_->CurrentPage(); }
int TrpViewer::CurrentZoom() const { return device_->Zoom(); }
std::string TrpViewer::Status() const { return device_->Status(); }
bool TrpViewer::Printing() const { return device_->Busy(); }

// ---------------------------------------------------------------------------
// Events

void TrpViewer::PageChanged() {
    if (OnPageChange) OnPageChange(this);
    comm_->SendEventNotify(this, rpevViewerPageChanged, nullptr);
}

void TrpViewer::StatusChanged() {
    if (OnStatusChange) OnStatusChange(this);
    comm_->SendEventNotify(this, rpevViewerStatusChanged, nullptr);
}

void TrpViewer::PrintStateChanged() {
    if (OnPrintStateChange) OnPrintStateChange(this);
    comm_->SendEventNotify(this, rpevViewerPrintStateChanged, nullptr);
}

void TrpViewer::PaintBoxMouseDown(int X, int Y) {
    (void)X;
    (void)Y;
    comm_->SendEventNotify(this, rpevViewerMouseDown, nullptr);
}

void TrpViewer::PaintBoxClick(int X, int Y) {
    TrpDrawCommand* command = nullptr;
    if (device_->FindClickable(X, Y, command)) {
        const std::weak_ptr<bool> alive = alive_;
        command->DoClick();
        if (alive.expired()) return;
        // The page may be gone with the click's doings: look again.
        TrpDrawCommand* again = nullptr;
        if (device_->FindClickable(X, Y, again) && again == command && command->RedrawPage) {
            command->RedrawPage = false;
            device_->PageRequest()->SetPageSetting(psSinglePage);
            device_->PageRequest()->SetPageRequested(device_->AbsolutePageNo());
            device_->RequestPage();
            if (alive.expired()) return;
            // The cursor's shape is worked out again where it stands.
            const QPoint p = QCursor::pos();
            QCursor::setPos(p + QPoint(1, 0));
            rpProcessMessages();
            QCursor::setPos(p);
        }
    }
    if (OnClick) OnClick(this);
}

void TrpViewer::PaintBoxMouseMove(int X, int Y) {
    if (paintBox_ == nullptr) return;
    TrpDrawCommand* command = nullptr;
    const bool hit = device_->FindClickable(X, Y, command);
    if (hit && !handShowing_) {
        paintBox_->setCursor(Qt::PointingHandCursor);
        handShowing_ = true;
    } else if (!hit && handShowing_) {
        paintBox_->unsetCursor();
        handShowing_ = false;
    }
}

// ---------------------------------------------------------------------------
// What the screen device asks

int TrpViewer::BoxWidth() const {
    if (scrollBox_ != nullptr) return scrollBox_->Width();
    return ClientWidth();
}

int TrpViewer::BoxHeight() const {
    if (scrollBox_ != nullptr) return scrollBox_->Height();
    return ClientHeight();
}

bool TrpViewer::PaintBoxVisible() const { return paintBox_ != nullptr && !paintBox_->isHidden(); }

void TrpViewer::ShowPaintBox() {
    if (paintBox_ != nullptr) paintBox_->show();
}

void TrpViewer::ShowScrollBox() {
    if (scrollBox_ != nullptr && !scrollBox_->Visible()) scrollBox_->Show();
}

void TrpViewer::LockUpdates(bool Locked) {
    if (Widget() != nullptr) Widget()->setUpdatesEnabled(!Locked);
}

void TrpViewer::CopyToPaintBox(const TRect& Rect) {
    if (paintBox_ == nullptr) return;
    painting_ = true;
    paintBox_->repaint(QRect(Rect.Left, Rect.Top, Rect.Width() + 1, Rect.Height() + 1));
    painting_ = false;
}

void TrpViewer::UpdateScrollBars() {
    if (scrollBox_ == nullptr || paintBox_ == nullptr) return;
    const QImage* image = device_->PageImage();
    if (image == nullptr) return;
    paintBox_->resize(image->width(), image->height());
    QScrollArea* area = scrollBox_->ScrollArea();
    area->setHorizontalScrollBarPolicy(image->width() > scrollBox_->Width() ? Qt::ScrollBarAlwaysOn
                                                                             : Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(image->height() > scrollBox_->Height() ? Qt::ScrollBarAlwaysOn
                                                                             : Qt::ScrollBarAlwaysOff);
    if (resetScrollPosition_) {
        scrollBox_->HorzScrollBar()->setValue(0);
        scrollBox_->VertScrollBar()->setValue(0);
        resetScrollPosition_ = false;
    }
}

void TrpViewer::RepaintViewer() {
    if (paintBox_ != nullptr) paintBox_->update();
}

void TrpViewer::ReportGone() {
    report_ = nullptr;
    printSaved_ = false;
    savedPrinterSetup_.reset();
    device_->ResetDisplay();
}

// ---------------------------------------------------------------------------

void rpUseScreenResolution() {
    rpSetScreenResolutionProvider([](int Axis) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return 96;
        const double dpi = Axis == 1 ? screen->logicalDotsPerInchY() : screen->logicalDotsPerInchX();
        return dpi > 0 ? static_cast<int>(dpi + 0.5) : 96;
    });
}

void RegisterViewerClasses() {
    RegisterClass(TrpViewer::StaticClassType());
}

void UnregisterViewerClasses() { UnRegisterClass(TrpViewer::StaticClassType()); }
