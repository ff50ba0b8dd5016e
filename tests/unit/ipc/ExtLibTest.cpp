// External libraries: the names a library is looked for under, the parsing of
// declarations and Plot options, the geometry of the drawing commands, the
// fault guard, and calls through the interpreter (entry points resolved once,
// a fault that leaves the run going).
#include <gtest/gtest.h>

#include <signal.h>

#include <cmath>
#include <string>

#include "ipc/extlib/drawing_geometry.h"
#include "ipc/extlib/extlib.h"
#include "ipc/extlib/extlib_state.h"
#include "ipc/extlib/faultguard.h"
#include "ipc/extlib/plot_options.h"
#include "platform/window/gdi.h"
#include "platform/window/window.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::extlib {
namespace {

TEST(ExtLibNames, DllNamesAlsoTryTheLinuxForms) {
    std::vector<std::string> c = libraryCandidates("Pixory.dll", {"/opt/x/"});
    std::vector<std::string> want = {"Pixory.dll",          "libPixory.so",     "Pixory.so",
                                     "libpixory.so",        "pixory.so",        "/opt/x/Pixory.dll",
                                     "/opt/x/libPixory.so", "/opt/x/Pixory.so", "/opt/x/libpixory.so",
                                     "/opt/x/pixory.so"};
    EXPECT_EQ(c, want);
    // A name with a folder is looked for there only; other names keep their form.
    EXPECT_EQ(libraryCandidates("/lib/x/libm.so.6", {"/opt/"}), std::vector<std::string>{"/lib/x/libm.so.6"});
    EXPECT_EQ(libraryCandidates("libm.so.6", {}), std::vector<std::string>{"libm.so.6"});
}

TEST(ExtLibDeclarations, LettersTargetAndNames) {
    Declaration d;
    ASSERT_TRUE(parseDeclaration("flr,libm.so.6", d));
    EXPECT_EQ(d.result, 'f');
    EXPECT_EQ(d.letters, "lr");
    EXPECT_EQ(d.target, "libm.so.6");
    ASSERT_TRUE(parseDeclaration("Name=ll, x.dll ", d));  // an older prefix before the letters
    EXPECT_EQ(d.result, 'l');
    EXPECT_EQ(d.target, "x.dll");
    EXPECT_FALSE(parseDeclaration("ll", d));
    EXPECT_FALSE(parseDeclaration(",x.dll", d));
    EXPECT_FALSE(parseDeclaration("ll,(Member", d));
    ASSERT_TRUE(parseDeclaration("ll,(Open)Camera.Control", d));
    EXPECT_TRUE(d.automation);

    EXPECT_EQ(entryName("cos[1]"), "cos");
    EXPECT_TRUE(isDeclarableName("cos[1]"));
    EXPECT_TRUE(isDeclarableName("_x2"));
    EXPECT_EQ(declaredVariableName("f[ 2 , -3 ]"), "f[2,-3]");  // as the evaluator names members
    EXPECT_EQ(declaredVariableName(std::string(300, 'n')).size(), 252u);
    for (const char* bad : {"", "3x", "a.b", "a[", "a[x]", "a b", "a[1]b", "a[1,2,3]", "a[]"})
        EXPECT_FALSE(isDeclarableName(bad)) << bad;
    EXPECT_TRUE(isReaderError(0x80000005u));
    EXPECT_FALSE(isReaderError(0x00008000u));
}

TEST(ExtLibPlotOptions, WordsByTheirBeginningAndValues) {
    PlotOptions o;
    ASSERT_EQ(parsePlotOptions("PLUS, init;Window=3\tZoom=2/1.5 Scale=0.5/10 sx=8 Color=0x10 date", o),
              interp::kOk);
    EXPECT_TRUE(o.plus);
    EXPECT_EQ(o.flags, 0x01 | 0x04);
    EXPECT_EQ(o.window, 2);
    EXPECT_DOUBLE_EQ(o.zoom, 2);
    EXPECT_DOUBLE_EQ(o.zoomChange, 1.5);
    EXPECT_DOUBLE_EQ(o.scale, 0.5);
    EXPECT_DOUBLE_EQ(o.offset, 10);
    EXPECT_EQ(o.sx, 8);
    EXPECT_EQ(o.colour, 16);
    EXPECT_TRUE(o.date);

    PlotOptions t;
    ASSERT_EQ(parsePlotOptions("Title=Two words, here\rfit zoom=3 scale=2\\ sel=4 add split", t),
              interp::kOk);
    EXPECT_EQ(t.title, "Two words, here");
    EXPECT_TRUE(t.fit);
    EXPECT_DOUBLE_EQ(t.zoomChange, 2);  // only z given
    EXPECT_TRUE(t.offsetFromMinimum);
    EXPECT_EQ(t.select, 3);
    EXPECT_EQ(t.flags, 0x40 | 0x10);

    PlotOptions z;
    ASSERT_EQ(parsePlotOptions("zoom=2/0.01", z), interp::kOk);
    EXPECT_DOUBLE_EQ(z.zoomChange, 0.1);  // at least 0.1
    for (const char* bad : {"Window=0", "Window=33", "Window=x", "bogus", "Color="}) {
        PlotOptions b;
        EXPECT_EQ(parsePlotOptions(bad, b), interp::kBadParameters) << bad;
    }
}

interp::DataBlock* ramp(int count) {
    interp::DataBlock* block = interp::allocateBlock(interp::kElemDouble, count);
    for (int i = 0; i < count; ++i) interp::storeElement(block, i, i % 7);
    return block;
}

TEST(ExtLibDrawing, LongVectorsAreThinnedAndColumnsMerged) {
    interp::DataBlock* block = ramp(10000);
    // 10000 points over 5000 pixels: at most 4048 points, and points that fall
    // on one x merged into a stroke (at most two points per x).
    std::vector<PlotPoint> points = vectorPolyline(block, 0, 500, 5000, 10000, 0, 10);
    EXPECT_LE(points.size(), static_cast<size_t>(kMaxPolylinePoints));
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.back().x, 5000);  // the last element ends the width
    // 10000 points into 100 pixels: one stroke per column from its minimum to its maximum.
    std::vector<PlotPoint> narrow = vectorPolyline(block, 10, 500, 99, 10000, 0, 10);
    EXPECT_LE(narrow.size(), 200u);
    for (size_t i = 1; i < narrow.size(); ++i) EXPECT_GE(narrow[i].x, narrow[i - 1].x);
    // y is clamped to -1..1024; start and count cut the vector.
    std::vector<PlotPoint> clamped = vectorPolyline(block, 0, 0, 10, 3, 9998, -1000);
    ASSERT_EQ(clamped.size(), 2u);  // elements 9998 and 9999 only
    EXPECT_EQ(clamped[0].y, 1024);
    std::vector<PlotPoint> up = vectorPolyline(block, 0, 0, 10, 3, 1, 1000);
    EXPECT_EQ(up[0].y, -1);
    EXPECT_TRUE(vectorPolyline(block, 0, 0, 10, 3, 10000, 1).empty());
    interp::freeBlock(block);
}

TEST(ExtLibDrawing, PairsAndBars) {
    interp::DataBlock* xs = interp::allocateBlock(interp::kElemDouble, 4);
    interp::DataBlock* ys = interp::allocateBlock(interp::kElemDouble, 4);
    for (int i = 0; i < 4; ++i) {
        interp::storeElement(xs, i, i * 10);
        interp::storeElement(ys, i, i == 2 ? 0 : 1e9);
    }
    std::vector<PlotPoint> line = vectorPairPolyline(xs, ys, 5, 100, 4, 0, 2, 1);
    ASSERT_EQ(line.size(), 4u);
    EXPECT_EQ(line[1].x, 25);
    EXPECT_EQ(line[1].y, -32767);  // clamped
    std::vector<PlotPoint> bars = vectorPairBars(xs, ys, 5, 100, 4, 0, 2, 1);
    ASSERT_EQ(bars.size(), 6u);  // the point with y 0 has none
    EXPECT_EQ(bars[0].y, 100);
    EXPECT_EQ(bars[4].x, 65);
    interp::freeBlock(xs);
    interp::freeBlock(ys);
}

TEST(ExtLibDrawing, PensTicksAndSteps) {
    PenSpec solid = penFromCode(0x020000FFu);
    EXPECT_EQ(solid.style, 0);
    EXPECT_EQ(solid.width, 2);
    EXPECT_EQ(solid.colour, 0xFFu);
    PenSpec dashed = penFromCode(0xF1123456u);
    EXPECT_EQ(dashed.style, 1);
    EXPECT_EQ(dashed.width, 1);
    EXPECT_EQ(penFromCode(0xF7000000u).style, 0);  // styles above 4 are solid

    EXPECT_DOUBLE_EQ(roundedTickStep(3.7), 2);
    EXPECT_DOUBLE_EQ(roundedTickStep(7), 5);
    EXPECT_DOUBLE_EQ(roundedTickStep(0.15), 0.1);
    EXPECT_DOUBLE_EQ(roundedTickStep(-45), -20);
    EXPECT_DOUBLE_EQ(roundedTickStep(1000), 1000);
    EXPECT_EQ(roundedTickStep(0), 0);

    std::vector<Tick> ticks = scaleTicks(-1, 1.2, 0.6, 0);  // step 0.5
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(ticks[0].label, "-1");
    EXPECT_EQ(ticks[2].label, "0");
    EXPECT_EQ(ticks[4].label, "1");
    EXPECT_EQ(scaleTicks(0, 10, 5, 100)[1].label, "500");
    EXPECT_TRUE(scaleTicks(0, 1e9, 1, 1).empty());  // more than 1000 ticks
}

// ---- The fault guard on its own

// Faults as a foreign library's code has them: not caught by the sanitizers first.
__attribute__((no_sanitize("address", "undefined"))) void writeThrough(void* p) {
    *static_cast<volatile int*>(p) = 1;
}
__attribute__((no_sanitize("address", "undefined"))) void divide(void* p) {
    volatile int zero = *static_cast<int*>(p);
    volatile int r = 7 / zero;
    (void)r;
}
void nothing(void*) {}

TEST(ExtLibFaultGuard, FaultsEndTheCallAndHandlersAreRestored) {
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    FaultInfo info;
    EXPECT_EQ(runGuarded(writeThrough, reinterpret_cast<void*>(16), info), GuardResult::kFault);
    EXPECT_EQ(info.signal, SIGSEGV);
    EXPECT_EQ(info.address, reinterpret_cast<void*>(16));
    int zero = 0;
    EXPECT_EQ(runGuarded(divide, &zero, info), GuardResult::kFault);
    EXPECT_EQ(info.signal, SIGFPE);
    EXPECT_EQ(runGuarded(nothing, nullptr, info), GuardResult::kDone);
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(before.sa_sigaction, after.sa_sigaction);
}
}  // namespace

// ---- Calls through the interpreter

// The test library lies in the build's lib/ folder, beside the program's bin/.
class ExtLibRun : public testing::IpcMacroRun {
protected:
    void SetUp() override {
        IpcMacroRun::SetUp();
        interp::RunnerConfig config = ip.config();
        config.programDirectory = TOLVEX_BINARY_DIR "/bin/";
        ip.reconfigure(config);
    }
};

TEST_F(ExtLibRun, EntryPointsAreLookedUpOnceAndAgainAfterDeclOrFreeLib) {
    EXPECT_EQ(shown("Decl xtAdd, \"lll,tvxexttest.dll\"\n"
                    "s = 0\nLoop 5\n  s = s + xtAdd(!LoopIndex, 1)\nEndLoop\n?s\n"),
              "15");  // !LoopIndex counts from 0
    EXPECT_EQ(state(ip).lookups, 1);
    EXPECT_EQ(shown("Decl xtAdd, \"lll,tvxexttest.dll\"\n?xtAdd(1, 1)\nDecl xtAdd, \"lll,tvxexttest.dll\"\n"
                    "?xtAdd(2, 2)\nFreeLib \"TVXEXTTEST.DLL\"\n?xtAdd(3, 3)\n"),
              "6");
    // Every Decl and the FreeLib made the next call look the entry point up again.
    EXPECT_EQ(state(ip).lookups, 4);
    // The run's end closed the library.
    EXPECT_TRUE(state(ip).libraries.empty());
}

TEST_F(ExtLibRun, AFaultEndsTheLineWith822AndTheRunGoesOn) {
    std::vector<std::string> shownLines =
        run("x = 5\nDecl xtCrash, \"lp,tvxexttest.dll\"\nxtCrash 8\n?x\n"
            "Decl xtText, \"p,tvxexttest.dll\"\n?xtText() > 0\n");
    ASSERT_EQ(shownLines.size(), 2u);
    EXPECT_EQ(shownLines[0], "x = 5");
    EXPECT_EQ(state(ip).faults, 1);
    EXPECT_EQ(state(ip).lastFault.signal, SIGSEGV);
    ASSERT_FALSE(boxes().empty());
    EXPECT_NE(boxes()[0].find("Bad Address"), std::string::npos);
}

TEST_F(ExtLibRun, CallbacksRunTheMacroFunctionAndNest) {
    // The callback itself calls a declared function of the same library.
    EXPECT_EQ(shown("Decl xtCallTwice, \"lpll,tvxexttest.dll\"\nDecl xtAdd, \"lll,tvxexttest.dll\"\n"
                    "?xtCallTwice(!CallbackFunction, 5, 1)\nEnd\n"
                    "Function CallbackFunction(a)\n  Return xtAdd(PeekL(a), 10 * PeekL(a + 4))\nEnd\n"),
              "66");
    EXPECT_EQ(callbackCalls(ip), 2);
}

TEST_F(ExtLibRun, DrawVectorAndDrawScalPaintIntoAMemoryContext) {
    platform::startWindowSystem(true);
    platform::Hdc dc = platform::createCompatibleDC(0);
    ASSERT_NE(dc, 0u);
    platform::Hgdiobj bitmap = platform::createCompatibleBitmap(dc, 64, 64);
    platform::selectObject(dc, bitmap);
    platform::Hgdiobj white = platform::createSolidBrush(platform::rgb(255, 255, 255));
    platform::fillRect(dc, {0, 0, 64, 64}, white);
    platform::deleteObject(white);
    std::string dcText = std::to_string(dc);
    // A flat line at y = 20 - 5 * 2 = 10 from x 0 to 40 in red (0x0000FF), one pixel wide.
    run("v = [5, 5, 5, 5, 5]\nDrawVector v, 0, 20, 40, 5, 0, 2, 0x010000FF, " + dcText +
        "\n"
        "DrawScal 0, 50, 60, 0, 0, 10, 5, 1, 4, 0x01000000, " +
        dcText + ", 1\n");
    EXPECT_TRUE(boxes().empty()) << boxes()[0];
    EXPECT_EQ(platform::getPixel(dc, 20, 10) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(platform::getPixel(dc, 20, 30) & 0xFFFFFF, 0xFFFFFFu);
    // The scale's axis along y = 50 and a tick at the middle value 5 (x = 30) reaching down.
    EXPECT_EQ(platform::getPixel(dc, 10, 50) & 0xFFFFFF, 0u);
    EXPECT_EQ(platform::getPixel(dc, 30, 53) & 0xFFFFFF, 0u);
    EXPECT_EQ(platform::getPixel(dc, 20, 53) & 0xFFFFFF, 0xFFFFFFu);
    // No context: refused, nothing drawn.
    run("v = [1, 2]\nDrawVector v, 0, 0, 10, 2, 0, 1, 0, 0\n");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Bad parameters"), std::string::npos);
    platform::deleteDC(dc);
    platform::deleteObject(bitmap);
}

}  // namespace tvx::ipc::extlib
