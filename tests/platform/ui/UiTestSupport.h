#pragma once
// Helpers for driving windows offscreen: a dialog script that fails the
// test on any box nobody expected, typing into widgets, waiting for Qt.
#include <functional>
#include <string>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

namespace uitest {

// A scripted dialog service whose surprises fail the running test.
class Dialogs : public ui::ScriptedDialogs {
public:
    Dialogs() : ui::ScriptedDialogs([](const std::string& m) { ADD_FAILURE() << m; }) {}
};

inline void Pump() {
    for (int i = 0; i < 3; ++i) Application->ProcessMessages();
}

// Shows a form and waits until Qt made it the active window, so that the
// focus moves and its events arrive as they do for a user.
inline void ShowActive(TCustomForm* Form) {
    Form->Show();
    QWidget* w = Form->Widget()->window();
    w->activateWindow();
    QApplication::setActiveWindow(w);
    (void)QTest::qWaitForWindowActive(w, 1000);
    Pump();
}

// Types Text key by key; letters outside ASCII arrive as the text of a key
// without a code, as an input method delivers them.
inline void Type(QWidget* W, const std::string& Text) {
    for (QChar c : QString::fromUtf8(Text.c_str())) {
        if (c.unicode() < 128) QTest::keyClick(W, static_cast<char>(c.unicode()));
        else QTest::sendKeyEvent(QTest::Click, W, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

inline void Key(QWidget* W, Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) { QTest::keyClick(W, K, M); }

// Runs Action as soon as the event loop turns (inside a modal loop).
inline void Later(std::function<void()> Action) { QTimer::singleShot(0, qApp, std::move(Action)); }

}  // namespace uitest
