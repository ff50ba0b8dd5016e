// Shared helpers of the libpixory tests: a fixture with a private settings file and
// scratch directory, file helpers, and access to ImageMagick for expected pixels.
#pragma once

#include "imagelib/pixory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pixorytest {

// Every test starts with all slots empty and its own settings file and scratch directory.
class PixoryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const
    {
        return dir_ + "/" + name;
    }
    std::string iniPath() const
    {
        return path("Pixory.INI");
    }
    void setIni(const std::string& section, const std::string& key, const std::string& value);
    std::string getIni(const std::string& key) const;

    std::string dir_;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Pixel of a slot as red, green, blue through its colour table (or direct for deeper
// images): what a viewer would show.
struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::vector<Rgb> slotAsRgb(int number);

// ImageMagick (the Debian package's convert); empty when it is not installed.
std::string convertProgram();
// Runs convert with the arguments; its standard output, or false when it failed.
bool runConvert(const std::string& arguments, std::vector<uint8_t>* output);

// The reference files of /work/shared/refdata/images, "" when not there.
std::string refImages();

// Fills an 8-bit slot with a position pattern and returns its values row by row.
void fillPattern(int number);

// Little-endian stores for crafting files.
void put16(std::vector<uint8_t>& v, size_t at, uint32_t x);
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x);

// An address that cannot be read or written (a page without access).
void* inaccessibleAddress();

}  // namespace pixorytest
