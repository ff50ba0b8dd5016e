#include "GeometryTestSupport.h"

#include "imagelib/pixory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

namespace pixorytest {

namespace {

const char* kPython = "/usr/bin/python3";

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

std::vector<uint8_t> topDownBytes(int n)
{
    const int w = pxGetXSize(n), h = pxGetYSize(n), bpp = pxGetBitPerPixel(n) / 8;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * bpp);
    EXPECT_EQ(pxGetBitmapRect(n, out.data(), w, h, 0, 0, 4), 0);
    return out;
}

void setTopDownBytes(int n, const std::vector<uint8_t>& bytes)
{
    ASSERT_EQ(pxSetBitmapRect(n, const_cast<uint8_t*>(bytes.data()), pxGetXSize(n), pxGetYSize(n), 0, 0, 4),
              0);
}

std::vector<uint8_t> noise(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(gen());
    return v;
}

bool pythonHas(const std::string& modules)
{
    static std::map<std::string, bool> known;
    auto it = known.find(modules);
    if (it != known.end())
        return it->second;
    const std::string command =
        std::string(kPython) + " -c " + quoted("import " + modules) + " >/dev/null 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    known[modules] = ok;
    return ok;
}

bool runReference(const std::string& script, const std::vector<std::string>& arguments)
{
    std::string command = std::string(kPython) + " " +
                          quoted(std::string(TOLVEX_SOURCE_DIR) + "/tests/unit/imagelib/reference/" + script);
    for (const std::string& a : arguments)
        command += " " + quoted(a);
    return std::system(command.c_str()) == 0;
}

}  // namespace pixorytest
