#include "platform/ui/ExtCtrls.h"

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

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
    ui::EnsureQtApplication();
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
        if (!OnTimer) return;
        try {
            OnTimer(this);
        } catch (const std::exception& e) {
            Application->HandleException(this, e);
        } catch (...) {
            Application->HandleException(this);
        }
    });
    Update();
}

TTimer::~TTimer() {
    timer_->stop();
    timer_->blockSignals(true);
    delete timer_;
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
    if (enabled_ && interval_ > 0) timer_->start(interval_);
    else timer_->stop();
}
