// Helpers for the image window tests: the off-screen platform with two monitors,
// a private settings file per test, and ways to reach a slot's window.
#pragma once

#include "PixoryTestSupport.h"
#include "platform/window/window.h"

#include <functional>
#include <string>

class QFileDialog;

namespace pixorytest {

// The monitors the off-screen platform reports in these tests: the primary one,
// and a second one to its right that reaches higher.
constexpr tvx::platform::Rect kPrimaryScreen{0, 0, 1600, 900};
constexpr tvx::platform::Rect kSecondScreen{1600, -200, 2880, 824};

// Starts the toolkit off-screen with the two monitors (once per process).
void startOffscreenWindows();

class ImageWindowTest : public PixoryTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The window of slot n as the window layer's handle (0 for none).
tvx::platform::Hwnd windowOf(int number);
// Serves queued messages until done() or the time is up; returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);
void pumpFor(int ms);
// A client-area point as the button messages carry it.
tvx::platform::LParam at(int x, int y);
// The colour (0xRRGGBB) the window shows at a client point after painting.
uint32_t shownColour(tvx::platform::Hwnd hwnd, int x, int y);
// Paints the window now (WM_PAINT).
void paintNow(tvx::platform::Hwnd hwnd);
// Answers the next file chooser with answer(dialog) once it is up.
void whenChooserUp(std::function<void(QFileDialog*)> answer);
// Types name into the chooser (after picking the filter-th filter, from 1) and accepts.
void choose(QFileDialog* dialog, const std::string& name, int filter = 0);

// The text of a placement record ("" when missing).
std::string placementText(const std::string& iniPath, int number);

}  // namespace pixorytest
