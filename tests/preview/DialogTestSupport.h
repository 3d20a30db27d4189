#pragma once
// Driving the report dialogs offscreen: acting once the modal loop runs,
// finding the window a producer opened, a scripted message service that
// fails the test on a box nobody expected.
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

namespace previewtest {

// Runs Action as soon as the event loop turns (inside a modal loop).
inline void Later(std::function<void()> Action) { QTimer::singleShot(0, qApp, std::move(Action)); }

// The visible form of class F; nullptr when none.
template <typename F>
F* OpenForm() {
    for (int i = 0; i < Screen->FormCount(); ++i)
        if (auto* form = dynamic_cast<F*>(Screen->Forms(i)); form != nullptr && form->Visible()) return form;
    return nullptr;
}

// Runs Action with the visible form of class F once it is up: a timer
// queued before the modal loop may fire before the form shows, so it looks
// again at each turn of the loop (for up to five seconds).
template <typename F>
void WhenOpen(std::function<void(F*)> Action) {
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [Action, tries, poll] {
        if (F* form = OpenForm<F>()) {
            Action(form);
            *poll = nullptr;  // breaks the cycle through the captured pointer
            return;
        }
        if (++*tries > 1000) {
            ADD_FAILURE() << "the form never opened";
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(5, qApp, *poll);
    };
    QTimer::singleShot(0, qApp, *poll);
}

class Boxes : public ui::ScriptedDialogs {
public:
    Boxes() : ui::ScriptedDialogs([](const std::string& m) { ADD_FAILURE() << m; }) {}
};

}  // namespace previewtest
