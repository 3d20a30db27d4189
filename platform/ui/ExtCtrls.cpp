#include "platform/ui/ExtCtrls.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "platform/ui/Forms.h"

using ui::ToQt;

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner), frame_(new QFrame) {
    SetWidget(frame_);
    frame_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame_->setFocusPolicy(Qt::NoFocus);
    caption_ = new QLabel(frame_);
    caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
    caption_->setTextFormat(Qt::PlainText);
    caption_->lower();
    SetBounds(0, 0, 185, 41);
    SetAlignment(taCenter);
}

void TPanel::SetTextValue(const std::string& Value) {
    text_ = Value;
    caption_->setText(ToQt(Value));
}

void TPanel::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    Qt::Alignment h = Value == taCenter ? Qt::AlignHCenter : Value == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
    caption_->setAlignment(h | Qt::AlignVCenter);
}

void TPanel::SetBevelOuter(TBevelCut Value) {
    bevelOuter_ = Value;
    switch (Value) {
    case bvNone: frame_->setFrameStyle(QFrame::NoFrame); break;
    case bvLowered: frame_->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    default: frame_->setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    }
}

bool TPanel::WidgetEvent(QObject* Watched, QEvent* Event) {
    // The caption fills the panel; children are placed above it.
    if (Watched == frame_ && Event->type() == QEvent::Resize) caption_->setGeometry(frame_->contentsRect());
    return TWinControl::WidgetEvent(Watched, Event);
}

// ---------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
    auto* f = new QFrame;
    f->setFrameStyle(QFrame::Box | QFrame::Sunken);
    SetWidget(f);
    SetBounds(0, 0, 50, 50);
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), label_(new QLabel), picture_(new QPixmap) {
    SetWidget(label_);
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { delete picture_; }

bool TImage::LoadFromFile(const std::string& FileName) {
    QPixmap p;
    if (!p.load(ToQt(FileName))) {
        Clear();
        return false;
    }
    *picture_ = p;
    Apply();
    return true;
}

bool TImage::LoadFromBytes(const std::string& Bytes) {
    QPixmap p;
    if (!p.loadFromData(reinterpret_cast<const uchar*>(Bytes.data()), static_cast<uint>(Bytes.size()))) {
        Clear();
        return false;
    }
    *picture_ = p;
    Apply();
    return true;
}

void TImage::Clear() {
    *picture_ = QPixmap();
    label_->clear();
}

bool TImage::Empty() const { return picture_->isNull(); }

void TImage::SetStretch(bool Value) {
    stretch_ = Value;
    Apply();
}

void TImage::SetCenter(bool Value) {
    center_ = Value;
    Apply();
}

void TImage::SetProportional(bool Value) {
    proportional_ = Value;
    Apply();
}

int TImage::PictureWidth() const { return label_->pixmap().isNull() ? 0 : label_->pixmap().width(); }
int TImage::PictureHeight() const { return label_->pixmap().isNull() ? 0 : label_->pixmap().height(); }

void TImage::Apply() {
    label_->setAlignment(center_ ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
    if (picture_->isNull()) {
        label_->clear();
        return;
    }
    QSize box = label_->size();
    if (stretch_ && !proportional_) {
        label_->setPixmap(picture_->scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    } else if (proportional_ && (stretch_ || picture_->width() > box.width() || picture_->height() > box.height())) {
        // Proportional fills the box keeping the picture's shape (shrinking
        // a large one; stretching a small one only when Stretch is set).
        label_->setPixmap(picture_->scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        label_->setPixmap(*picture_);
    }
}

bool TImage::WidgetEvent(QObject* Watched, QEvent* Event) {
    if (Watched == label_ && Event->type() == QEvent::Resize && !picture_->isNull()) Apply();
    return TGraphicControl::WidgetEvent(Watched, Event);
}

// ---------------------------------------------------------------------------
// TTimer

namespace {

// Every timer alive, and the manual clock when one is installed.
std::vector<TTimer*>& AllTimers() {
    static auto* timers = new std::vector<TTimer*>;
    return *timers;
}

ui::ManualTimerClock*& InstalledClock() {
    static ui::ManualTimerClock* clock = nullptr;
    return clock;
}

}  // namespace

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
    ui::EnsureQtApplication();
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Fire(); });
    AllTimers().push_back(this);
    Update();
}

TTimer::~TTimer() {
    auto& all = AllTimers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    timer_->stop();
    timer_->blockSignals(true);
    delete timer_;
}

void TTimer::Fire() {
    if (!OnTimer) return;
    try {
        OnTimer(this);
    } catch (const std::exception& e) {
        Application->HandleException(this, e);
    } catch (...) {
        Application->HandleException(this);
    }
}

void TTimer::SetEnabled(bool Value) {
    enabled_ = Value;
    Update();
}

void TTimer::SetInterval(int Value) {
    interval_ = Value;
    Update();
}

void TTimer::Update() {
    // The class library's timer runs only with a handler, an interval and Enabled.
    bool run = enabled_ && interval_ > 0;
    if (ui::ManualTimerClock* clock = InstalledClock()) {
        timer_->stop();
        due_ = run ? clock->Now() + interval_ : -1;
        return;
    }
    due_ = -1;
    if (run) timer_->start(interval_);
    else timer_->stop();
}

namespace ui {

ManualTimerClock::ManualTimerClock() {
    if (InstalledClock() != nullptr) throw EInvalidOperation("Já há um relógio manual dos temporizadores");
    InstalledClock() = this;
    for (TTimer* t : AllTimers()) t->Update();
}

ManualTimerClock::~ManualTimerClock() {
    InstalledClock() = nullptr;
    for (TTimer* t : AllTimers()) t->Update();  // back on the system's clock
}

void ManualTimerClock::Advance(int Milliseconds) {
    std::int64_t until = now_ + std::max(0, Milliseconds);
    for (;;) {
        // The earliest tick due by then; a handler may start, stop or free
        // timers, so the list is searched again after each.
        TTimer* next = nullptr;
        for (TTimer* t : AllTimers())
            if (t->due_ >= 0 && t->due_ <= until && (next == nullptr || t->due_ < next->due_)) next = t;
        if (next == nullptr) break;
        now_ = next->due_;
        next->due_ += next->interval_;
        next->Fire();
    }
    now_ = until;
}

std::int64_t TimerClockNow() {
    if (ManualTimerClock* clock = InstalledClock()) return clock->Now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace ui
