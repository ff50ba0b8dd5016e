// Helpers for user-interface tests: the off-screen platform, pumping, finding
// the dialog that is up, and screenshots under the build folder.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/window/dialog.h"
#include "platform/window/qt/access.h"
#include "platform/window/window.h"

namespace tvx::ui::test {

inline void setUpWindows() {
    static bool done = false;
    if (done) return;
    done = true;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::setHeadlessWindows(true);
    platform::startWindowSystem(true);
    // A dialog that stays up for two ticks was forgotten by a failing test: it is
    // closed, so that the run goes on instead of hanging.
    static QWidget* lastModal = nullptr;
    static platform::Hwnd lastDialog = 0;
    auto* watchdog = new QTimer(qApp);
    QObject::connect(watchdog, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal == lastModal) modal->close();
        lastModal = modal;
        auto dialogs = platform::modalDialogs();
        platform::Hwnd dialog = dialogs.empty() ? 0 : dialogs.back();
        if (dialog && dialog == lastDialog) platform::endDialog(dialog, 0);
        lastDialog = dialog;
    });
    watchdog->start(5000);
}

inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    double end = platform::monotonicSeconds() + timeoutMs / 1000.0;
    platform::Msg msg;
    while (!done()) {
        if (platform::monotonicSeconds() > end) return false;
        while (platform::peekMessage(msg)) {
            platform::translateMessage(msg);
            platform::dispatchMessage(msg);
        }
        if (!done()) platform::waitMessage(5);
    }
    return true;
}

// Runs action once, after delayMs, from inside whatever modal loop is running then.
inline void later(int delayMs, std::function<void()> action) {
    QTimer::singleShot(delayMs, qApp, std::move(action));
}

// Runs action as soon as ready() holds (checked every 10 ms, from inside whatever
// modal loop runs then), so that a slow machine does not miss the dialog.
inline void whenUp(std::function<bool()> ready, std::function<void()> action, int attempts = 500) {
    QTimer::singleShot(10, qApp, [ready, action, attempts]() {
        if (ready() || attempts <= 0)
            action();
        else
            whenUp(ready, action, attempts - 1);
    });
}

// The innermost modal dialog of the window layer (0 for none).
inline platform::Hwnd modalDialog() {
    auto list = platform::modalDialogs();
    return list.empty() ? 0 : list.back();
}

// Saves a picture of the widget as <build>/screenshots/<name>.png.
inline void screenshot(QWidget* widget, const std::string& name) {
    if (!widget) return;
    QDir().mkpath(QStringLiteral(TOLVEX_BINARY_DIR "/screenshots"));
    widget->grab().save(
        QString::fromStdString(std::string(TOLVEX_BINARY_DIR "/screenshots/") + name + ".png"));
}

// Everything written to a scratch file so far (the host's standard output in tests).
inline std::string everythingWritten(std::FILE* file) {
    std::fflush(file);
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

}  // namespace tvx::ui::test
