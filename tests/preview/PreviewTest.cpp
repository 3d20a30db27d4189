// The viewer and the preview window offscreen, over a three-page listing:
// zoom limits, paging at the ends, clicks that ask for the page again,
// printing from the preview (a recording device stands for the printer),
// and whole runs through the producer, closing included.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <QEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/TypInfo.h"
#include "preview/rpPreview.h"
#include "preview/rpPreviewRegister.h"
#include "preview/rpViewer.h"
#include "report/rpDialogRegistry.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpPrinterDevice.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"
#include "toolbar/rpToolbar.h"

using namespace reporttest;

namespace {

class PreviewEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Application->Initialize();
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
        report_output::registerAll();
        preview::registerAll();
        // Generation lets the window's events run, as in the program.
        rpSetMessagePump([] { QCoreApplication::processEvents(); });
    }
    void TearDown() override {
        rpSetMessagePump(nullptr);
        preview::unregisterAll();
        report_output::unregisterAll();
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new PreviewEnvironment);

std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

// Stands for the printer: notes the jobs and pages it gets.
class RecordingPrinter : public TrpDevice {
public:
    FAT_CLASS(RecordingPrinter)
    using TrpDevice::TrpDevice;
    static inline bool FailOnStart = false;
    void StartJob() override {
        if (FailOnStart) throw EPrintError("Nenhuma impressora está instalada.");
        Log().push_back("printer job");
        TrpDevice::StartJob();
    }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (ShouldOutput()) Log().push_back("printed " + std::to_string(Page->AbsolutePageNo()));
    }
};

TClass RecordingPrinter::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<RecordingPrinter>("RecordingPrinter", TrpDevice::StaticClassType()).Build();
    return &info;
}

// The print dialog as the user leaves it: OK, with the page it was offered.
class FakePrintDialog : public TrpCustomPrintDialog {
public:
    FAT_CLASS(FakePrintDialog)
    using TrpCustomPrintDialog::TrpCustomPrintDialog;
    bool ShowModal() override {
        Log().push_back("print dialog on page " + std::to_string(PageRequest()->PageRequested()));
        return true;
    }
};

TClass FakePrintDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePrintDialog>("FakePrintDialog", TrpCustomPrintDialog::StaticClassType()).Build();
    return &info;
}

std::vector<std::vector<Variant>> Rows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i)), Variant(i)});
    return rows;
}

// Runs the event loop until Done or about five seconds.
void RunUntil(const std::function<bool()>& Done) {
    for (int i = 0; i < 500 && !Done(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        Log().clear();
        RecordingPrinter::FailOnStart = false;
        // The recording device stands in for the real printer device.
        UnregisterDeviceClass(TrpPrinterDevice::StaticClassType());
        RegisterDeviceClass(RecordingPrinter::StaticClassType(), "Printer");
        data_ = std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Amount"}, Rows(120));
        TrpBandedReport* r = rig_.Report();
        rig_.Device()->SetPublisher(nullptr);
        r->SetDataPipeline(data_->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        TestText* key = rig_.AddText(r->DetailBand(), "KeyText", 0, 0, 40000, 4000);
        key->SetDataPipeline(data_->Pipeline());
        key->SetDataField("Key");
        r->SetShowPrintDialog(false);
        r->SetShowCancelDialog(false);
    }
    void TearDown() override {
        UnregisterDeviceClass(RecordingPrinter::StaticClassType());
        RegisterDeviceClass(TrpPrinterDevice::StaticClassType(), "Printer");
    }

    // A viewer of its own on a window, showing the report's first page.
    TrpViewer* OpenViewer() {
        window_ = std::make_unique<TForm>(nullptr);
        window_->SetBounds(0, 0, 800, 600);
        auto* viewer = new TrpViewer(window_.get());
        viewer->SetParent(window_.get());
        viewer->SetAlign(alClient);
        viewer->SetReport(rig_.Report());
        window_->Show();
        viewer->RegenerateReport();
        return viewer;
    }
    int Received(TrpViewer* Viewer) {
        int* count = &received_;
        Viewer->ScreenDevice()->OnPageReceive = [count](TObject*, TrpPage*) { ++*count; };
        return received_;
    }

    ReportRig rig_;
    std::unique_ptr<RowsTable> data_;
    std::unique_ptr<TForm> window_;
    int received_ = 0;
};

TEST_F(Preview, ZoomPercentageKeepsWithin25And250AndBecomesThePercentageSetting) {
    TrpViewer viewer(nullptr);
    for (auto [given, kept] : std::vector<std::pair<int, int>>{{10, 25}, {400, 250}, {25, 25}, {250, 250}, {75, 75}}) {
        viewer.SetZoomSetting(zsWholePage);
        viewer.SetZoomPercentage(given);
        EXPECT_EQ(viewer.ZoomPercentage(), kept) << given;
        EXPECT_EQ(viewer.ZoomSetting(), zsPercentage);
    }
}

TEST_F(Preview, PagingStopsAtBothEndsAndMovesBetween) {
    TrpViewer* viewer = OpenViewer();
    ASSERT_EQ(viewer->AbsolutePageNo(), 1);
    Received(viewer);
    viewer->PriorPage();
    EXPECT_EQ(received_, 0);
    viewer->NextPage();
    EXPECT_EQ(viewer->AbsolutePageNo(), 2);
    viewer->LastPage();
    EXPECT_EQ(viewer->AbsolutePageNo(), 3);
    EXPECT_TRUE(viewer->CurrentPage()->LastPage());
    const int before = received_;
    viewer->NextPage();
    EXPECT_EQ(received_, before);
    EXPECT_EQ(viewer->AbsolutePageNo(), 3);
    viewer->FirstPage();
    EXPECT_EQ(viewer->AbsolutePageNo(), 1);
    EXPECT_EQ(viewer->Status(), "Página 1 de 3");
}

TEST_F(Preview, AClickWhoseHandlerAsksForARedrawGetsThePageOnceMore) {
    TrpViewer* viewer = OpenViewer();
    TrpPage* page = viewer->CurrentPage();
    auto* button = new TrpDrawShape(nullptr);
    button->SetLeft(20000);
    button->SetTop(20000);
    button->SetWidth(20000);
    button->SetHeight(10000);
    button->SetPage(page);
    button->SetClickable(true);
    int clicks = 0;
    button->OnClick = [&clicks, button](TObject*) {
        ++clicks;
        button->RedrawPage = true;
    };
    viewer->ScreenDevice()->DisplayPage();
    Received(viewer);
    viewer->PaintBoxClick(button->DrawLeft + 2, button->DrawTop + 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(received_, 1);
    EXPECT_EQ(viewer->AbsolutePageNo(), 1);
    // Beside the command nothing happens.
    viewer->PaintBoxClick(2, 2);
    EXPECT_EQ(received_, 1);
}

TEST_F(Preview, PrintingFromThePreviewWithTheSameSetupAsksForNoPageAgain) {
    // The program's own print dialog comes back afterwards, for the tests that follow.
    const TClass previous = GetFormClass(TrpCustomPrintDialog::StaticClassType());
    RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), FakePrintDialog::StaticClassType());
    TrpViewer* viewer = OpenViewer();
    viewer->NextPage();
    rig_.Report()->SetShowAutoSearchDialog(true);
    rig_.Report()->SetShowPrintDialog(true);
    Received(viewer);
    viewer->Print();
    if (previous != nullptr)
        RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), previous);
    else
        UnregisterFormClass(TrpCustomPrintDialog::StaticClassType());
    EXPECT_EQ(Log(), (std::vector<std::string>{"print dialog on page 2", "printer job", "printed 1", "printed 2",
                                               "printed 3"}));
    EXPECT_EQ(rig_.Report()->CurrentPage(), 2);
    EXPECT_EQ(received_, 0);
    EXPECT_EQ(rig_.Report()->DeviceType(), "Screen");
    EXPECT_TRUE(rig_.Report()->ShowAutoSearchDialog());
    EXPECT_EQ(viewer->ScreenDevice()->Publisher(), rig_.Report()->Publisher());
}

TEST_F(Preview, AFailedPrintFromThePreviewPutsTheReportBackAsItWas) {
    TrpViewer* viewer = OpenViewer();
    rig_.Report()->SetShowAutoSearchDialog(true);
    RecordingPrinter::FailOnStart = true;
    EXPECT_ANY_THROW(viewer->Print());
    EXPECT_EQ(rig_.Report()->DeviceType(), "Screen");
    EXPECT_TRUE(rig_.Report()->ShowAutoSearchDialog());
    EXPECT_EQ(viewer->ScreenDevice()->Publisher(), rig_.Report()->Publisher());
    // The preview still pages.
    RecordingPrinter::FailOnStart = false;
    viewer->NextPage();
    EXPECT_EQ(viewer->AbsolutePageNo(), 2);
}

TEST_F(Preview, ABurstOfResizesLaysThePageOutOnceAtTheNewSize) {
    TrpViewer* viewer = OpenViewer();
    QCoreApplication::processEvents();
    int displayed = 0;
    viewer->ScreenDevice()->OnPageDisplayed = [&displayed](TObject*) { ++displayed; };
    for (int width : {700, 650, 600}) window_->SetBounds(0, 0, width, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(displayed, 1);
    // Whole page: the page fits the new box.
    EXPECT_LE(viewer->ScreenDevice()->PageHeight(), viewer->ScrollBox()->Height());
    EXPECT_EQ(viewer->AbsolutePageNo(), 1);
}


// A mouse event of Type at (X, Y) of Widget, delivered as the window system
// delivers it (passed up to the parents while nobody takes it).
void Mouse(QWidget* Widget, QEvent::Type Type, int X, int Y, Qt::MouseButtons Buttons = Qt::LeftButton) {
    const QPointF local(X, Y);
    QMouseEvent e(Type, local, Widget->mapToGlobal(local), Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  Buttons, Qt::NoModifier);
    QApplication::sendEvent(Widget, &e);
}

// The panel members a stored form sets reach the control itself: set by
// name, read back from the widget and the control, not from the metadata.
TEST_F(Preview, ThePanelMembersSetByNameChangeTheViewerItself) {
    TrpViewer* viewer = OpenViewer();
    auto* frame = qobject_cast<QFrame*>(viewer->Widget());
    ASSERT_NE(frame, nullptr);
    SetEnumProp(viewer, "BevelOuter", "bvLowered");
    EXPECT_EQ(frame->frameShadow(), QFrame::Sunken);
    SetEnumProp(viewer, "BevelOuter", "bvNone");
    EXPECT_EQ(frame->frameShape(), QFrame::NoFrame);
    SetOrdProp(viewer, "BevelWidth", 3);
    EXPECT_EQ(frame->lineWidth(), 3);
    SetOrdProp(viewer, "Color", clRed);
    EXPECT_EQ(viewer->Color(), clRed);
    SetEnumProp(viewer, "Align", "alTop");
    EXPECT_EQ(viewer->Align(), alTop);
    SetOrdProp(viewer, "ShowHint", 1);
    EXPECT_TRUE(viewer->ShowHint());
    TPopupMenu menu(nullptr);
    SetObjectProp(viewer, "PopupMenu", &menu);
    EXPECT_EQ(viewer->PopupMenu(), &menu);
    SetObjectProp(viewer, "PopupMenu", nullptr);
    // Kept only: read back as set.
    SetOrdProp(viewer, "Ctl3D", 0);
    SetEnumProp(viewer, "BorderStyle", "bsSingle");
    EXPECT_FALSE(viewer->Ctl3D());
    EXPECT_EQ(viewer->BorderStyle(), bsSingle);
    SetOrdProp(viewer, "Visible", 0);
    EXPECT_TRUE(frame->isHidden());
}

// Every outer bevel a viewer is given comes back from its stored form, raised
// included; a stored form that names none reads as a new viewer is made
// (none), as forms stored before always read.
TEST_F(Preview, EveryOuterBevelOfAViewerComesBackFromItsStoredForm) {
    for (TBevelCut bevel : {bvNone, bvLowered, bvRaised, bvSpace}) {
        SCOPED_TRACE(static_cast<int>(bevel));
        TrpViewer viewer(nullptr);
        viewer.SetName("Visualizador");
        viewer.SetBevelOuter(bevel);
        TMemoryStream stored;
        WriteComponent(stored, &viewer);
        stored.Seek(0, soBeginning);
        TrpViewer read(nullptr);
        ReadComponent(stored, &read);
        EXPECT_EQ(read.BevelOuter(), bevel);
    }
    const std::pair<std::string, TBevelCut> forms[] = {
        {"", bvNone}, {"  BevelOuter = bvRaised\n", bvRaised}, {"  BevelOuter = bvNone\n", bvNone}};
    for (const auto& [form, bevel] : forms) {
        TStringStream text("object Visualizador: TrpViewer\n" + form + "end\n");
        TMemoryStream binary;
        ObjectTextToBinary(text, binary);
        binary.Seek(0, soBeginning);
        TrpViewer read(nullptr);
        ReadComponent(binary, &read);
        EXPECT_EQ(read.BevelOuter(), bevel) << form;
    }
}

// The viewer's mouse, size and drag events run on what happens to it: a
// click on the page runs OnClick once (not again as the release goes up to
// the panel), a click on the bare panel runs it too, and the mouse-up
// follows each.
TEST_F(Preview, TheViewersEventsRunWhenItIsClickedMovedResizedAndDroppedOn) {
    std::vector<std::string> heard;
    auto note = [&heard](const char* Name) { return [&heard, Name](TObject*) { heard.push_back(Name); }; };
    TrpViewer* viewer = OpenViewer();
    QCoreApplication::processEvents();
    viewer->OnClick = note("click");
    viewer->OnDblClick = note("double");
    viewer->OnResize = note("resize");
    viewer->OnMouseDown = [&heard](TObject*, TMouseButton, TShiftState, int, int) { heard.push_back("down"); };
    viewer->OnMouseUp = [&heard](TObject*, TMouseButton, TShiftState, int, int) { heard.push_back("up"); };
    viewer->OnMouseMove = [&heard](TObject*, TShiftState, int X, int Y) {
        heard.push_back("move " + std::to_string(X) + "," + std::to_string(Y));
    };
    QWidget* page = viewer->PaintBox();
    ASSERT_NE(page, nullptr);
    Mouse(page, QEvent::MouseButtonPress, 5, 6);
    Mouse(page, QEvent::MouseButtonRelease, 5, 6, Qt::NoButton);
    EXPECT_EQ(heard, (std::vector<std::string>{"down", "click", "up"}));
    heard.clear();
    Mouse(page, QEvent::MouseMove, 7, 8, Qt::NoButton);
    EXPECT_EQ(heard, std::vector<std::string>{"move 7,8"});
    heard.clear();
    Mouse(page, QEvent::MouseButtonDblClick, 5, 6);
    EXPECT_EQ(heard, std::vector<std::string>{"double"});
    heard.clear();
    viewer->SetAlign(alNone);
    viewer->SetBounds(0, 0, 500, 400);
    EXPECT_EQ(heard, std::vector<std::string>{"resize"});
    heard.clear();

    // The bare panel, before any page shows.
    TrpViewer bare(nullptr);
    bare.SetParent(window_.get());
    bare.SetBounds(0, 0, 200, 100);
    bare.Show();
    bare.OnClick = note("bare click");
    Mouse(bare.Widget(), QEvent::MouseButtonPress, 10, 10);
    Mouse(bare.Widget(), QEvent::MouseButtonRelease, 10, 10, Qt::NoButton);
    EXPECT_EQ(heard, std::vector<std::string>{"bare click"});
    // A release outside is no click.
    Mouse(bare.Widget(), QEvent::MouseButtonPress, 10, 10);
    Mouse(bare.Widget(), QEvent::MouseButtonRelease, 250, 10, Qt::NoButton);
    EXPECT_EQ(heard.size(), 1u);
    heard.clear();

    // Dragging over and dropping: the handler's Accept decides.
    bool acceptIt = false;
    bare.OnDragOver = [&](TObject*, TObject*, int X, int Y, TDragState State, bool& Accept) {
        heard.push_back("over " + std::to_string(X) + "," + std::to_string(Y) + " " + std::to_string(State));
        Accept = acceptIt;
    };
    bare.OnDragDrop = [&](TObject*, TObject*, int X, int Y) {
        heard.push_back("drop " + std::to_string(X) + "," + std::to_string(Y));
    };
    QMimeData data;
    data.setText("12");
    acceptIt = true;
    QDragEnterEvent enter(QPoint(20, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bare.Widget(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    acceptIt = false;
    QDragMoveEvent refused(QPoint(21, 31), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bare.Widget(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    acceptIt = true;
    QDragMoveEvent taken(QPoint(21, 33), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bare.Widget(), &taken);
    EXPECT_TRUE(taken.isAccepted());
    QDropEvent drop(QPointF(22, 32), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bare.Widget(), &drop);
    EXPECT_EQ(heard, (std::vector<std::string>{"over 20,30 " + std::to_string(dsDragEnter),
                                               "over 21,31 " + std::to_string(dsDragMove),
                                               "over 21,33 " + std::to_string(dsDragMove), "drop 22,32"}));
}

// Hears what the viewer broadcasts.
// The dark pixels' bounding box of Image within Box.
QRect InkBox(const QImage& Image, const QRect& Box) {
    QRect ink;
    for (int y = std::max(0, Box.top()); y <= std::min(Image.height() - 1, Box.bottom()); ++y)
        for (int x = std::max(0, Box.left()); x <= std::min(Image.width() - 1, Box.right()); ++x)
            if (qGray(Image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    return ink;
}

// A PDF417 of a field's value, like one of typed data, shows where the PDF
// prints it and as large: the ink of each symbol in its box on the preview
// at 100 % and 200 % against the PDF's page rasterised at the same scale.
TEST_F(Preview, PDF417SymbolsShowWhereAndAsLargeAsThePdfPrintsThem) {
    TrpBandedReport* r = rig_.Report();
    r->DetailBand()->SetmmHeight(30000);
    auto place = [&](TrpCustom2DBarCode* C, const std::string& Name, int32_t Left) {
        C->SetName(Name);
        C->SetBand(r->DetailBand());
        C->SetBounds(Left, 5000, 60000, 20000);
        return C;
    };
    auto* typed = static_cast<Trp2DBarCode*>(place(new Trp2DBarCode(rig_.Owner()), "Digitado", 10000));
    typed->SetData("K1");
    auto* bound = static_cast<TrpDB2DBarCode*>(place(new TrpDB2DBarCode(rig_.Owner()), "DoCampo", 110000));
    bound->SetDataPipeline(data_->Pipeline());
    bound->SetDataField("Key");
    testsupport::TempDir dir;
    const std::string pdf = dir.file("simbolos.pdf");
    r->SetDeviceType("PDF");
    r->SetTextFileName(pdf);
    r->PrintReport();
    r->SetDeviceType("Screen");
    for (int zoom : {100, 200}) {
        const int dpi = 96 * zoom / 100;
        const std::string stem = dir.file("p" + std::to_string(zoom));
        ASSERT_EQ(filetest::Shell("pdftoppm -r " + std::to_string(dpi) + " -gray -png -singlefile -f 1 -l 1 '" + pdf +
                                  "' '" + stem + "'")
                      .Status,
                  0);
        const QImage paper(QString::fromStdString(stem + ".png"));
        ASSERT_FALSE(paper.isNull());
        TrpViewer* viewer = OpenViewer();
        viewer->SetZoomPercentage(zoom);
        viewer->ScreenDevice()->DisplayPage();
        const QImage screen = viewer->ScreenDevice()->PageImage()->copy();
        TrpPage* page = viewer->CurrentPage();
        int symbols = 0;
        for (int i = 0; i < page->DrawCommandCount() && symbols < 2; ++i) {
            auto* c = dynamic_cast<TrpDraw2DBarCode*>(page->DrawCommands(i));
            if (c == nullptr) continue;
            ++symbols;
            auto px = [dpi](int32_t v) { return static_cast<int>(std::lround(v / 25400.0 * dpi)); };
            const QRect onPaper(px(c->Left()), px(c->Top()), px(c->Width()), px(c->Height()));
            const QRect onScreen(c->DrawLeft, c->DrawTop, c->DrawRight - c->DrawLeft, c->DrawBottom - c->DrawTop);
            const QRect printed = InkBox(paper, onPaper.adjusted(-20, -20, 20, 20)).translated(-onPaper.topLeft());
            const QRect shown = InkBox(screen, onScreen.adjusted(-20, -20, 20, 20)).translated(-onScreen.topLeft());
            ASSERT_FALSE(printed.isEmpty());
            // A pixel either way at 100 % is the rounding of the two rasters.
            const int slack = 2 * zoom / 100;
            SCOPED_TRACE(std::to_string(zoom) + "%, symbol " + std::to_string(symbols));
            EXPECT_NEAR(shown.left(), printed.left(), slack);
            EXPECT_NEAR(shown.top(), printed.top(), slack);
            EXPECT_NEAR(shown.width(), printed.width(), slack);
            EXPECT_NEAR(shown.height(), printed.height(), slack);
        }
        EXPECT_EQ(symbols, 2);
    }
}

class ViewerEvents : public TrpCommunicator {
public:
    ViewerEvents() : TrpCommunicator(nullptr) {
        for (int e : {94, 95, 96, 97, 129}) EventSet().set(static_cast<std::size_t>(e));
    }
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        Heard.push_back(EventNumber);
    }
    std::vector<int> Heard;
};

TEST_F(Preview, TheViewerBroadcastsItsEventsAndShowsTheHandOverClickableCommands) {
    TrpViewer* viewer = OpenViewer();
    ViewerEvents events;
    viewer->Communicator()->AddEventNotify(&events);
    viewer->RegenerateReport();
    auto heard = [&events](int E) { return std::count(events.Heard.begin(), events.Heard.end(), E); };
    EXPECT_GE(heard(rpevViewerReset), 1);
    EXPECT_GE(heard(rpevViewerPrintStateChanged), 2);  // started, ended
    EXPECT_GE(heard(rpevViewerStatusChanged), 1);
    EXPECT_EQ(heard(rpevViewerPageChanged), 1);
    auto* link = new TrpDrawShape(nullptr);
    link->SetLeft(20000);
    link->SetTop(20000);
    link->SetWidth(20000);
    link->SetHeight(10000);
    link->SetPage(viewer->CurrentPage());
    link->SetClickable(true);
    viewer->ScreenDevice()->DisplayPage();
    viewer->PaintBoxMouseMove(link->DrawLeft + 1, link->DrawTop + 1);
    EXPECT_EQ(viewer->PaintBox()->cursor().shape(), Qt::PointingHandCursor);
    viewer->PaintBoxMouseMove(link->DrawRight + 3, link->DrawTop + 1);
    EXPECT_EQ(viewer->PaintBox()->cursor().shape(), Qt::ArrowCursor);
    viewer->PaintBoxMouseDown(link->DrawLeft + 1, link->DrawTop + 1);
    EXPECT_EQ(heard(rpevViewerMouseDown), 1);
    viewer->Communicator()->RemoveEventNotify(&events);
}

// --- Whole runs through the producer ---

class PreviewRun : public Preview {
protected:
    void Note(TNotifyEvent& Event, const char* Name) {
        Event = [Name](TObject*) { Log().push_back(Name); };
    }
    TrpPrintPreview* Form() { return dynamic_cast<TrpPrintPreview*>(rig_.Report()->PreviewForm()); }
};

TEST_F(PreviewRun, AModalPreviewStartsTheJobWhenActiveAndClosingEndsWithAfterPrintThenTheCloseEvent) {
    TrpBandedReport* r = rig_.Report();
    r->SetModalPreview(true);
    Note(r->BeforePrint, "BeforePrint");
    Note(r->AfterPrint, "AfterPrint");
    Note(r->OnPreviewFormClose, "OnPreviewFormClose");
    r->OnPreviewFormCreate = [this](TObject*) {
        Log().push_back("OnPreviewFormCreate");
        Form()->SetWindowState(wsMaximized);
        // The user looks at the first page, then closes the window.
        auto* timer = new QTimer(Form()->Form()->Widget());
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer] {
            if (Form()->Viewer()->Printing() || Form()->Viewer()->AbsolutePageNo() != 1) return;
            timer->stop();
            Log().push_back("page 1 shown: " + Form()->StatusText());
            Form()->Close();
        });
        timer->start(10);
    };
    r->PrintReport();
    RunUntil([this] { return Form() == nullptr; });
    EXPECT_EQ(Log(), (std::vector<std::string>{"OnPreviewFormCreate", "BeforePrint", "page 1 shown: Página 1",
                                               "AfterPrint", "OnPreviewFormClose"}));
    EXPECT_EQ(Form(), nullptr);
}

TEST_F(PreviewRun, ATwoPassListingShowsPageOneDuringTheFirstPassAndItsCountAfter) {
    TrpBandedReport* r = rig_.Report();
    r->SetModalPreview(false);
    r->SetPassSetting(psTwoPass);
    bool shownUnfinished = false;
    std::string statusAtFirstPage;
    r->OnPreviewFormCreate = [&](TObject*) {
        Form()->Viewer()->OnPageChange = [&](TObject*) {
            TrpPage* page = Form()->Viewer()->CurrentPage();
            if (page->AbsolutePageNo() == 1 && !page->Final() && !shownUnfinished) {
                shownUnfinished = true;
                statusAtFirstPage = Form()->Viewer()->Status();
            }
        };
    };
    r->PrintReport();
    TrpPrintPreview* form = Form();
    ASSERT_NE(form, nullptr);
    RunUntil([form] { return !form->Viewer()->Printing(); });
    EXPECT_TRUE(shownUnfinished);
    EXPECT_EQ(statusAtFirstPage, "Página 1");
    EXPECT_EQ(form->Viewer()->AbsolutePageNo(), 1);
    EXPECT_EQ(form->Viewer()->Status(), "Página 1 de 3");
    EXPECT_EQ(form->StatusText(), "Página 1 de 3");
    form->Close();
    RunUntil([this] { return Form() == nullptr; });
    EXPECT_EQ(Form(), nullptr);
}

TEST_F(PreviewRun, ClosingThePreviewWhileAStatusUpdateRunsCancelsTheJobAndTouchesNothingFreed) {
    TrpBandedReport* r = rig_.Report();
    r->SetPassSetting(psTwoPass);
    for (bool modal : {false, true}) {
        Log().clear();
        r->SetModalPreview(modal);
        Note(r->OnCancel, "OnCancel");
        Note(r->OnPreviewFormClose, "OnPreviewFormClose");
        r->OnPreviewFormCreate = [this](TObject*) {
            TrpPrintPreview* form = Form();
            // The user closes the window as the status says page 2 is made.
            form->Viewer()->OnStatusChange = [form](TObject*) {
                if (form->Viewer()->Status().find("2") != std::string::npos) {
                    form->Viewer()->OnStatusChange = nullptr;
                    QTimer::singleShot(0, [form] { form->Close(); });
                }
            };
            form->Viewer()->SetZoomSetting(zs100Percent);
        };
        r->PrintReport();
        RunUntil([this] { return Form() == nullptr; });
        EXPECT_EQ(Form(), nullptr) << modal;
        EXPECT_FALSE(r->Printing()) << modal;
        EXPECT_FALSE(r->Producing()) << modal;
        EXPECT_NE(std::find(Log().begin(), Log().end(), "OnPreviewFormClose"), Log().end()) << modal;
    }
    // The report prints again afterwards.
    r->SetModalPreview(false);
    r->OnPreviewFormCreate = nullptr;
    r->PrintReport();
    ASSERT_NE(Form(), nullptr);
    RunUntil([this] { return !Form()->Viewer()->Printing(); });
    EXPECT_EQ(Form()->Viewer()->Status(), "Página 1 de 3");
}

TEST_F(PreviewRun, TheWindowsButtonsFollowThePageShown) {
    TrpBandedReport* r = rig_.Report();
    r->SetModalPreview(false);
    r->PrintReport();
    TrpPrintPreview* form = Form();
    RunUntil([form] { return !form->Viewer()->Printing(); });
    EXPECT_FALSE(form->PriorButton()->Enabled());
    EXPECT_TRUE(form->NextButton()->Enabled());
    EXPECT_FALSE(form->CancelButton()->Enabled());
    EXPECT_FALSE(form->EmailButton()->Visible());
    form->GotoPageText("3");
    EXPECT_EQ(form->Viewer()->AbsolutePageNo(), 3);
    EXPECT_FALSE(form->NextButton()->Enabled());
    EXPECT_TRUE(form->FirstButton()->Enabled());
    form->ZoomButton(zs100Percent)->Click();
    EXPECT_EQ(form->Viewer()->ZoomSetting(), zs100Percent);
    EXPECT_TRUE(form->ZoomButton(zs100Percent)->Checked());
    EXPECT_FALSE(form->ZoomButton(zsWholePage)->Checked());
    EXPECT_EQ(form->Viewer()->CurrentZoom(), 100);
    form->Close();
    RunUntil([this] { return Form() == nullptr; });
}

TEST_F(PreviewRun, APrintThatFailsIsToldAndThePreviewStaysOpenOnItsPage) {
    TrpBandedReport* r = rig_.Report();
    r->SetModalPreview(false);
    r->PrintReport();
    TrpPrintPreview* form = Form();
    ASSERT_NE(form, nullptr);
    RunUntil([form] { return !form->Viewer()->Printing(); });
    form->GotoPageText("2");
    ui::ScriptedDialogs dialogs([](const std::string& m) { ADD_FAILURE() << m; });
    dialogs.Expect("Não foi possível imprimir o relatório.\n\nNenhuma impressora está instalada.", mrOk, "Erro");
    // The user's click on the print button, delivered by the event loop.
    RecordingPrinter::FailOnStart = true;
    bool clicked = false;
    QTimer::singleShot(0, form->Form()->Widget(), [form, &clicked] {
        form->PrintButton()->Action()->trigger();
        clicked = true;
    });
    RunUntil([&clicked] { return clicked; });
    EXPECT_EQ(dialogs.Pending(), 0);
    ASSERT_EQ(Form(), form) << "the preview closed";
    EXPECT_TRUE(form->Form()->Widget()->isVisible());
    EXPECT_EQ(form->Viewer()->AbsolutePageNo(), 2);
    EXPECT_TRUE(form->PrintButton()->Enabled());
    EXPECT_EQ(r->DeviceType(), "Screen");
    RecordingPrinter::FailOnStart = false;
    form->Close();
    RunUntil([this] { return Form() == nullptr; });
}

}  // namespace
