#pragma once
// Panels, images, bevels and timers.
#include <cstdint>
#include <string>

#include "platform/ui/Controls.h"

class QFrame;
class QLabel;
class QTimer;
class QPixmap;

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TWinControl {
public:
    FAT_CLASS_NAME(TPanel)
    explicit TPanel(TComponent* AOwner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut Value);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut Value) { bevelInner_ = Value; }
    bool CanFocus() const override { return false; }

protected:
    std::string GetText() const override { return text_; }
    void SetTextValue(const std::string& Value) override;
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;

private:
    QFrame* frame_;
    QLabel* caption_;
    TAlignment alignment_ = taCenter;
    TBevelCut bevelOuter_ = bvRaised;
    TBevelCut bevelInner_ = bvNone;
};

class TBevel : public TGraphicControl {
public:
    FAT_CLASS_NAME(TBevel)
    explicit TBevel(TComponent* AOwner);
};

// A picture: loaded from a file (any format Qt reads) or from bytes.
class TImage : public TGraphicControl {
public:
    FAT_CLASS_NAME(TImage)
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    // False when the file cannot be read as a picture (the image is cleared).
    bool LoadFromFile(const std::string& FileName);
    bool LoadFromBytes(const std::string& Bytes);
    void Clear();
    bool Empty() const;
    bool Stretch() const { return stretch_; }
    void SetStretch(bool Value);
    bool Center() const { return center_; }
    void SetCenter(bool Value);
    bool Proportional() const { return proportional_; }
    void SetProportional(bool Value);

    // The size the picture is drawn at (after stretching).
    int PictureWidth() const;
    int PictureHeight() const;

protected:
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;

private:
    void Apply();
    QLabel* label_;
    QPixmap* picture_;
    bool stretch_ = false, center_ = false, proportional_ = false;
};

namespace ui {
class ManualTimerClock;
}

// Runs OnTimer every Interval milliseconds while Enabled. The time comes
// from the system's clock, or from a ui::ManualTimerClock while one lives.
class TTimer : public TComponent {
public:
    FAT_CLASS_NAME(TTimer)
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    // Milliseconds; 0 stops the timer.
    int Interval() const { return interval_; }
    void SetInterval(int Value);
    TNotifyEvent OnTimer;

private:
    friend class ui::ManualTimerClock;
    void Update();
    void Fire();
    QTimer* timer_;
    bool enabled_ = true;
    int interval_ = 1000;
    bool running_ = false;
    std::int64_t due_ = -1;  // under a manual clock: the next tick's time, -1 when stopped
};

namespace ui {

// The timers' time, moved on by hand: while one lives, every TTimer ticks
// only when Advance passes its next tick, in time order, so that what a
// timer does is seen without waiting for real time. One at a time.
class ManualTimerClock {
public:
    ManualTimerClock();
    ~ManualTimerClock();
    ManualTimerClock(const ManualTimerClock&) = delete;
    ManualTimerClock& operator=(const ManualTimerClock&) = delete;

    // Milliseconds since the clock was made.
    std::int64_t Now() const { return now_; }
    // Moves the time on, running every tick that falls due on the way.
    void Advance(int Milliseconds);

private:
    std::int64_t now_ = 0;
};

// Milliseconds on the timers' clock: the manual clock's time while one
// lives, else the system's monotonic clock. Whatever measures how long a
// timer-driven wait has run reads this, so that tests move both together.
std::int64_t TimerClockNow();

}  // namespace ui
