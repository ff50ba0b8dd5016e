#include "PixoryTestSupport.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/ini.h"
#include "platform/window/window.h"

namespace pixorytest {

void PixoryTest::SetUp()
{
    // Images open windows: on the off-screen platform, whatever display there is.
    static const bool offscreen = [] {
        if (!tvx::platform::windowSystemStarted())
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        tvx::platform::setHeadlessWindows(true);
        return true;
    }();
    (void)offscreen;
    char pattern[] = "/tmp/pixorytest-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    pxCloseAll();
    pxSetIniFile(iniPath().c_str());
    // Slot settings outlive pxCloseAll; give every test the defaults.
    for (int n = 0; n < 32; ++n) {
        pxSetImageFlags(n, 0);
        pxSetPalette(n, 0);
        pxSetImg16Display(n, 0, 1.0, 0.1);
    }
}

void PixoryTest::TearDown()
{
    pxCloseAll();
    pxSetIniFile(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void PixoryTest::setIni(const std::string& section, const std::string& key, const std::string& value)
{
    ASSERT_TRUE(tvx::platform::iniWriteString(iniPath(), section, key, value));
}

std::string PixoryTest::getIni(const std::string& key) const
{
    return tvx::platform::iniGetString(iniPath(), "Settings", key, "");
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<Rgb> slotAsRgb(int number)
{
    std::vector<Rgb> out;
    const int w = pxGetXSize(number), h = pxGetYSize(number), bits = pxGetBitPerPixel(number);
    const auto* table = static_cast<const uint8_t*>(pxGetBitmapHeader(number)) + 40;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<uint32_t>(pxGetPixelValue(number, x, y));
            if (bits <= 8 && pxGetImg16Data(number) == nullptr) {
                out.push_back({table[4 * v + 2], table[4 * v + 1], table[4 * v]});
            } else if (bits == 16) {
                auto five = [](uint32_t f) { return static_cast<uint8_t>((f << 3) | (f >> 2)); };
                out.push_back({five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)});
            } else {
                out.push_back(
                    {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
            }
        }
    return out;
}

std::string convertProgram()
{
    static const std::string program = [] {
        for (const char* candidate : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"})
            if (access(candidate, X_OK) == 0)
                return std::string(candidate);
        return std::string();
    }();
    return program;
}

bool runConvert(const std::string& arguments, std::vector<uint8_t>* output)
{
    if (convertProgram().empty())
        return false;
    const std::string command = convertProgram() + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    output->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->insert(output->end(), buffer, buffer + n);
    return pclose(pipe) == 0;
}

std::string refImages()
{
    const std::string dir = TOLVEX_SOURCE_DIR "/../shared/refdata/images";
    return std::filesystem::is_directory(dir) ? dir : std::string();
}

void fillPattern(int number)
{
    const int w = pxGetXSize(number), h = pxGetYSize(number);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pxSetPixelValue(number, x, y, (x * 7 + y * 13) & 0xFF);
}

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    put16(v, at, x);
    put16(v, at + 2, x >> 16);
}

void* inaccessibleAddress()
{
    static void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page;
}

}  // namespace pixorytest
