#include "preview/rpPreview.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/ExtCtrls.h"
#include "preview/rpViewer.h"
#include "report/rpDialogRegistry.h"
#include "report/rpProducer.h"
#include "report/rpPublisher.h"
#include "toolbar/rpToolbar.h"

namespace {

TrpPreviewEmailAction& EmailAction() {
    static TrpPreviewEmailAction action;
    return action;
}

// Frees the preview once the event loop is back at the level it was
// closed from: a job deeper down the stack may still be unwinding.
class PendingFree : public QObject {
public:
    PendingFree(TrpPrintPreview* Preview, std::weak_ptr<bool> Alive) : preview_(Preview), alive_(std::move(Alive)) {}
    ~PendingFree() override {
        if (auto a = alive_.lock(); a && *a) delete preview_;
    }

private:
    TrpPrintPreview* preview_;
    std::weak_ptr<bool> alive_;
};

}  // namespace

void rpSetPreviewEmailAction(TrpPreviewEmailAction Action) { EmailAction() = std::move(Action); }
const TrpPreviewEmailAction& rpPreviewEmailAction() { return EmailAction(); }

// Hears the window's close box before the form acts on it: a modal form
// would only leave its loop once the running job had ended.
class TrpPrintPreview::CloseWatch : public QObject {
public:
    explicit CloseWatch(TrpPrintPreview* Preview) : preview_(Preview) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Close && preview_->viewer_ != nullptr && preview_->viewer_->Printing())
            preview_->CancelClick();
        return QObject::eventFilter(Watched, Event);
    }

private:
    TrpPrintPreview* preview_;
};

TClass TrpPrintPreview::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPrintPreview>("TrpPrintPreview", TrpCustomPreviewer::StaticClassType()).Build();
    return &info;
}

TrpPrintPreview::TrpPrintPreview(TComponent* AOwner) : TrpCustomPreviewer(AOwner) { BuildWindow(); }

TrpPrintPreview::~TrpPrintPreview() {
    *alive_ = false;
    if (viewer_ != nullptr) {
        viewer_->OnPageChange = viewer_->OnStatusChange = viewer_->OnPrintStateChange = nullptr;
        viewer_->SetReport(nullptr);
    }
    if (form_ != nullptr && closeWatch_ != nullptr) form_->Widget()->removeEventFilter(closeWatch_);
    delete closeWatch_;
    form_->OnClose = nullptr;
    form_->OnActivate = nullptr;
    form_.reset();
    if (OnDestroy) OnDestroy();
}

TrpTBTCustomItem* TrpPrintPreview::ZoomButton(TrpZoomSettingType Zoom) const {
    switch (Zoom) {
        case zsWholePage: return wholePage_;
        case zsPageWidth: return pageWidth_;
        case zs100Percent: return hundred_;
        case zsPercentage: return nullptr;
    }
    return nullptr;
}

void TrpPrintPreview::BuildWindow() {
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, 800, 600);
    form_->SetPosition(poScreenCenter);
    form_->SetKeyPreview(true);

    dock_ = new TrpTBTDock(form_.get());
    dock_->SetParent(form_.get());
    dock_->SetAlign(alTop);
    toolbar_ = new TrpToolbar(form_.get());
    toolbar_->SetCurrentDock(dock_);

    TrpToolImageList* images = GetToolImageList();
    auto button = [&](const char* Image, std::function<void()> Action) {
        TrpTBTCustomItem* b = toolbar_->AddButton();
        b->SetImageIndex(images->GetImageIndex(Image));
        b->OnClick = [Action = std::move(Action)](TObject*) { Action(); };
        return b;
    };
    print_ = button("RPPRINT", [this] { PrintClick(); });
    toolbar_->AddSeparator();
    wholePage_ = button("RPWHOLEPAGE", [this] { viewer_->SetZoomSetting(zsWholePage); UpdateButtons(); });
    pageWidth_ = button("RPPAGEWIDTH", [this] { viewer_->SetZoomSetting(zsPageWidth); UpdateButtons(); });
    hundred_ = button("RP100PERCENT", [this] { viewer_->SetZoomSetting(zs100Percent); UpdateButtons(); });
    for (TrpTBTCustomItem* b : {wholePage_, pageWidth_, hundred_}) b->SetGroupIndex(1);
    zoomEdit_ = new QSpinBox;
    zoomEdit_->setRange(25, 250);
    zoomEdit_->setSingleStep(10);
    zoomEdit_->setSuffix(QStringLiteral(" %"));
    zoomEdit_->setKeyboardTracking(false);
    zoomEdit_->setFixedWidth(72);
    QObject::connect(zoomEdit_, &QSpinBox::valueChanged, zoomEdit_, [this](int Value) {
        if (viewer_->ZoomSetting() == zsPercentage && viewer_->ZoomPercentage() == Value) return;
        viewer_->SetZoomPercentage(Value);
        UpdateButtons();
    });
    toolbar_->Items()->Add(new TrpTBControlItem(nullptr, zoomEdit_));
    toolbar_->AddSeparator();
    first_ = button("RPFIRST", [this] { viewer_->FirstPage(); });
    prior_ = button("RPPRIOR", [this] { viewer_->PriorPage(); });
    pageEdit_ = new QLineEdit;
    pageEdit_->setFixedWidth(56);
    pageEdit_->setAlignment(Qt::AlignRight);
    QObject::connect(pageEdit_, &QLineEdit::returnPressed, pageEdit_,
                     [this] { GotoPageText(ui::ToStd(pageEdit_->text())); });
    toolbar_->Items()->Add(new TrpTBControlItem(nullptr, pageEdit_));
    next_ = button("RPNEXT", [this] { viewer_->NextPage(); });
    last_ = button("RPLAST", [this] { viewer_->LastPage(); });
    toolbar_->AddSeparator();
    cancel_ = button("RPCANCEL", [this] { CancelClick(); });
    email_ = button("RPEMAIL", [this] { EmailClick(); });
    email_->SetVisible(false);
    close_ = button("RPCLOSE", [this] { Close(); });
    close_->SetDisplayMode(nbdmImageAndText);
    dock_->ArrangeToolbars();

    statusBar_ = new TPanel(form_.get());
    statusBar_->SetParent(form_.get());
    statusBar_->SetAlign(alBottom);
    statusBar_->SetHeight(22);
    statusBar_->SetBevelOuter(bvLowered);
    statusBar_->SetAlignment(taLeftJustify);

    viewer_ = new TrpViewer(form_.get());
    viewer_->SetParent(form_.get());
    viewer_->SetAlign(alClient);
    viewer_->OnPageChange = [this](TObject*) { UpdateButtons(); };
    viewer_->OnStatusChange = [this](TObject*) {
        statusBar_->SetCaption(viewer_->Status());
    };
    viewer_->OnPrintStateChange = [this](TObject*) { UpdateButtons(); };

    form_->OnActivate = [this](TObject*) { Activated(); };
    form_->OnClose = [this](TObject*, TCloseAction&) { Closed(); };
    form_->OnKeyDown = [this](TObject*, Word& Key, TShiftState) {
        switch (Key) {
            case VK_NEXT: viewer_->NextPage(); break;
            case VK_PRIOR: viewer_->PriorPage(); break;
            case VK_ESCAPE: Close(); break;
            default: return;
        }
        Key = 0;
    };
    closeWatch_ = new CloseWatch(this);
    form_->Widget()->installEventFilter(closeWatch_);
    Captions();
    UpdateButtons();
}

void TrpPrintPreview::Captions() {
    form_->SetCaption("Visualização da Impressão");
    print_->SetCaption("Imprimir");
    print_->SetHint("Imprimir o relatório");
    wholePage_->SetCaption("Página inteira");
    pageWidth_->SetCaption("Largura da página");
    hundred_->SetCaption("100 %");
    first_->SetCaption("Primeira página");
    prior_->SetCaption("Página anterior");
    next_->SetCaption("Próxima página");
    last_->SetCaption("Última página");
    cancel_->SetCaption("Cancelar");
    email_->SetCaption("Enviar por e-mail");
    close_->SetCaption("Fechar");
    pageEdit_->setToolTip(QStringLiteral("Número da página"));
    zoomEdit_->setToolTip(QStringLiteral("Zoom"));
}

void TrpPrintPreview::SetReport(TrpProducer* Value) {
    TrpCustomPreviewer::SetReport(Value);
    viewer_->SetReport(Value);
    if (Value != nullptr) {
        const bool canMail = Value->EmailSettings()->Enabled() && static_cast<bool>(rpPreviewEmailAction());
        email_->SetVisible(canMail);
    }
    UpdateButtons();
}

void TrpPrintPreview::SetLanguageIndex(int Value) {
    TrpCustomPreviewer::SetLanguageIndex(Value);
    Captions();
}

TWindowState TrpPrintPreview::WindowState() const { return form_->WindowState(); }

void TrpPrintPreview::SetWindowState(TWindowState Value) { form_->SetWindowState(Value); }

void TrpPrintPreview::ApplySettings() {
    TrpProducer* report = Report();
    if (report == nullptr) return;
    TrpPreviewFormSettings* s = report->PreviewFormSettings();
    switch (s->WindowState()) {
        case rpwsMaximized: SetWindowState(wsMaximized); break;
        case rpwsMinimized: SetWindowState(wsMinimized); break;
        default: break;
    }
    if (s->ZoomSetting() == zsPercentage)
        viewer_->SetZoomPercentage(s->ZoomPercentage());
    else
        viewer_->SetZoomSetting(s->ZoomSetting());
}

void TrpPrintPreview::BeforePreview() {
    ApplySettings();
    if (Report() != nullptr) {
        // A change of the settings while the window is open shows at once.
        const std::weak_ptr<bool> alive = alive_;
        Report()->PreviewFormSettings()->OnChange = [this, alive](TObject*) {
            if (!alive.expired()) ApplySettings();
        };
    }
    UpdateButtons();
}

bool TrpPrintPreview::ShowModal() {
    const std::weak_ptr<bool> alive = alive_;
    // Without a window manager the window may never be told it is active:
    // the job starts from the loop at the latest.
    QTimer::singleShot(0, form_->Widget(), [this, alive] {
        if (!alive.expired()) Activated();
    });
    form_->ShowModal();
    return true;
}

void TrpPrintPreview::Show() {
    closed_ = false;
    form_->Show();
}

void TrpPrintPreview::Activated() {
    if (activated_ || closed_) return;
    activated_ = true;
    if (OnActivate) OnActivate();
}

void TrpPrintPreview::Close() {
    if (viewer_->Printing()) CancelClick();
    form_->Close();
}

void TrpPrintPreview::Closed() {
    if (closed_) return;
    closed_ = true;
    const std::weak_ptr<bool> alive = alive_;
    if (viewer_->Printing()) viewer_->Cancel();
    if (Report() != nullptr && Report()->PreviewFormSettings()->OnChange)
        Report()->PreviewFormSettings()->OnChange = nullptr;
    if (OnClose) OnClose();
    if (alive.expired()) return;
    ScheduleFree();
}

void TrpPrintPreview::ScheduleFree() {
    if (freeScheduled_) return;
    freeScheduled_ = true;
    (new PendingFree(this, alive_))->deleteLater();
}

void TrpPrintPreview::PrintClick() {
    if (viewer_->Printing()) return;
    const std::weak_ptr<bool> alive = alive_;
    std::string failure;
    try {
        viewer_->Print();
    } catch (const EAbort&) {
        // Cancelled by the user: nothing to say.
    } catch (const Exception& e) {
        failure = e.Message();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    // A failed print is told here and the pages stay on the screen: the
    // user may choose another printer and try again.
    if (!failure.empty())
        Application->MessageBox("Não foi possível imprimir o relatório.\n\n" + failure, "Erro", MB_OK | MB_ICONSTOP);
    if (!alive.expired()) UpdateButtons();
}

void TrpPrintPreview::CancelClick() {
    if (OnCancel)
        OnCancel();
    else
        viewer_->Cancel();
}

void TrpPrintPreview::EmailClick() {
    if (rpPreviewEmailAction() && Report() != nullptr) rpPreviewEmailAction()(Report());
}

void TrpPrintPreview::GotoPageText(const std::string& Text) {
    const int n = StrToIntDef(Trim(Text), 0);
    if (n > 0) viewer_->GotoPage(n);
    UpdateButtons();
}

std::string TrpPrintPreview::StatusText() const { return statusBar_->Caption(); }

void TrpPrintPreview::UpdateButtons() {
    const bool printing = viewer_->Printing();
    TrpPage* page = viewer_->CurrentPage();
    const int no = page->AbsolutePageNo();
    print_->SetEnabled(!printing && Report() != nullptr);
    cancel_->SetEnabled(printing);
    first_->SetEnabled(!printing && no > 1);
    prior_->SetEnabled(!printing && no > 1);
    next_->SetEnabled(!printing && no > 0 && !page->LastPage());
    last_->SetEnabled(!printing && no > 0 && !page->LastPage());
    pageEdit_->setText(no > 0 ? QString::number(no) : QString());
    for (TrpZoomSettingType z : {zsWholePage, zsPageWidth, zs100Percent})
        ZoomButton(z)->SetChecked(viewer_->ZoomSetting() == z);
    if (viewer_->ZoomSetting() == zsPercentage) {
        for (TrpZoomSettingType z : {zsWholePage, zsPageWidth, zs100Percent}) ZoomButton(z)->SetChecked(false);
    }
    const int zoom = viewer_->CurrentZoom() > 0 ? viewer_->CurrentZoom() : viewer_->ZoomPercentage();
    const QSignalBlocker block(zoomEdit_);
    zoomEdit_->setValue(std::clamp(zoom, 25, 250));
}

void RegisterPreviewClasses() {
    RegisterClass(TrpPrintPreview::StaticClassType());
    RegisterFormClass(TrpCustomPreviewer::StaticClassType(), TrpPrintPreview::StaticClassType());
}

void UnregisterPreviewClasses() {
    UnregisterFormClass(TrpCustomPreviewer::StaticClassType());
    UnRegisterClass(TrpPrintPreview::StaticClassType());
}
