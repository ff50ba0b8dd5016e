#include "DiagramTestSupport.h"

#include "imagelib/pixory.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace pixorytest {

using namespace tvx::imagelib;

void DiagramTest::SetUp()
{
    ImageWindowTest::SetUp();
    for (int n = 0; n < kDiagramCount; ++n) {
        Diagram& d = diagramAt(n);
        d.settings = {};
        d.data.parameter = 0;
    }
    pxDiagramWnd(0, nullptr, nullptr, 0, 0, 0, 0, 0, 0);
}

void DiagramTest::TearDown()
{
    pxCloseAll();
    ImageWindowTest::TearDown();
}

DiagramData& dataOf(int number)
{
    return diagramAt(number).data;
}

tvx::platform::Hwnd diagramWindowOf(int number)
{
    return static_cast<tvx::platform::Hwnd>(
        reinterpret_cast<uintptr_t>(pxDiagramWnd(number, nullptr, nullptr, 0, 0, 0, 0, 0, 0)));
}

void showCurve(int number, const std::vector<double>& values, int flags, int colour)
{
    pxDiagramWnd(number, nullptr, nullptr, 0, 0, 0, 0, 0, 0);
    pxDisplayDiagram(values.data(), static_cast<int>(values.size()), flags, colour, 0, 0, 0);
}

double coverageOf(uint32_t pixel, uint32_t colour)
{
    // How far the pixel went from white towards the colour, read on the channel
    // where the colour is darkest; the other channels must agree with that blend.
    int strongest = 0;
    for (int shift : {8, 16})
        if (((colour >> shift) & 0xFF) < ((colour >> strongest) & 0xFF))
            strongest = shift;
    const double span = 255.0 - ((colour >> strongest) & 0xFF);
    if (span < 40)
        return 0;
    const double alpha = std::clamp((255.0 - ((pixel >> strongest) & 0xFF)) / span, 0.0, 1.0);
    for (int shift : {0, 8, 16}) {
        const double expected = 255.0 - alpha * (255.0 - ((colour >> shift) & 0xFF));
        if (std::abs(expected - ((pixel >> shift) & 0xFF)) > 48)
            return 0;
    }
    return alpha;
}

bool runTool(const std::string& command, std::string* output)
{
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return false;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    if (output)
        *output = text;
    return pclose(pipe) == 0;
}

namespace {
std::string firstProgram(std::initializer_list<const char*> candidates)
{
    for (const char* candidate : candidates)
        if (access(candidate, X_OK) == 0)
            return candidate;
    return {};
}
}  // namespace

std::string identifyProgram()
{
    static const std::string program = firstProgram({"/usr/bin/identify-im6.q16", "/usr/bin/identify"});
    return program;
}

std::string pythonProgram()
{
    static const std::string program = firstProgram({"/usr/bin/python3"});
    return program;
}

TimeZone::TimeZone(const char* zone)
{
    if (const char* old = getenv("TZ")) {
        had_ = true;
        old_ = old;
    }
    setenv("TZ", zone, 1);
    tzset();
}

TimeZone::~TimeZone()
{
    if (had_)
        setenv("TZ", old_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

std::string screenshotPath(const std::string& name)
{
    const std::string dir = TOLVEX_BINARY_DIR "/diagram-screenshots";
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

}  // namespace pixorytest
