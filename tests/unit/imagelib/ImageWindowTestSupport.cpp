#include "ImageWindowTestSupport.h"

#include "platform/clock.h"
#include "platform/ini.h"
#include "platform/window/gdi.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace pixorytest {

using namespace tvx::platform;

void startOffscreenWindows()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    // Test processes run side by side: each writes its own copy and moves it into
    // place in one step, so that no toolkit ever reads a half-written file.
    const std::string config = TOLVEX_BINARY_DIR "/pixory-window-screens.json";
    const std::string part = config + "." + std::to_string(getpid());
    std::ofstream out(part, std::ios::trunc);
    out << "{ \"screens\": [\n"
           "  {\"name\": \"primary\", \"x\": 0, \"y\": 0, \"width\": 1600, \"height\": 900},\n"
           "  {\"name\": \"second\", \"x\": 1600, \"y\": -200, \"width\": 1280, \"height\": 1024} ] }\n";
    out.close();
    std::rename(part.c_str(), config.c_str());
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
    setHeadlessWindows(true);
    startWindowSystem(true);
}

void ImageWindowTest::SetUp()
{
    startOffscreenWindows();
    PixoryTest::SetUp();
    for (int n = 0; n < 32; ++n) {
        pxSetWindowStyle(n, 0);
        pxSetWindowZoom(n, 1, 2, 0x10000);
    }
    pumpFor(5);
}

void ImageWindowTest::TearDown()
{
    pxCloseAll();
    pumpFor(5);
    PixoryTest::TearDown();
}

Hwnd windowOf(int number)
{
    return static_cast<Hwnd>(reinterpret_cast<uintptr_t>(pxGetImgHWnd(number)));
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const double end = monotonicSeconds() + timeoutMs / 1000.0;
    Msg msg;
    while (!done()) {
        if (monotonicSeconds() > end)
            return false;
        while (peekMessage(msg)) {
            translateMessage(msg);
            dispatchMessage(msg);
        }
        if (!done())
            waitMessage(5);
    }
    return true;
}

void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

LParam at(int x, int y)
{
    return win::makeLParam(x, y);
}

uint32_t shownColour(Hwnd hwnd, int x, int y)
{
    const Hdc dc = getDC(hwnd);
    const ColorRef c = getPixel(dc, x, y);
    releaseDC(hwnd, dc);
    if (c == kClrInvalid)
        return 0xFFFFFFFFu;
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void paintNow(Hwnd hwnd)
{
    sendMessage(hwnd, win::WM_PAINT, 0, 0);
}

void whenChooserUp(std::function<void(QFileDialog*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start();
}

void choose(QFileDialog* dialog, const std::string& name, int filter)
{
    if (filter > 0)
        dialog->selectNameFilter(dialog->nameFilters().value(filter - 1));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(name));
    QMetaObject::invokeMethod(dialog, "accept");
}

std::string placementText(const std::string& iniPath, int number)
{
    char key[24];
    std::snprintf(key, sizeof key, "Display%d", number + 1);
    return iniGetString(iniPath, "Windows", key, "");
}

}  // namespace pixorytest
