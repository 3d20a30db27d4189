#pragma once
// Driving the report dialogs offscreen: acting once the modal loop runs,
// finding the window a producer opened, a scripted message service that
// fails the test on a box nobody expected.
#include <functional>
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

class Boxes : public ui::ScriptedDialogs {
public:
    Boxes() : ui::ScriptedDialogs([](const std::string& m) { ADD_FAILURE() << m; }) {}
};

}  // namespace previewtest
