// Loading an LED image set from numbered image files, and the list of spot positions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::imagelib {

// The numbered files of a set: the name's extension is the text from its last '.'
// (".tif" when there is none), and the digits and '#' just before it make the number
// field, which is replaced by the LED number in five digits ("led###.bmp" gives
// "led00000.bmp", "led00001.bmp", ...).
class LedFileNames {
public:
    explicit LedFileNames(std::string_view name);
    std::string operator()(int number) const;
    const std::string& extension() const
    {
        return extension_;
    }

private:
    std::string head_;
    std::string extension_;
};

// The LED numbers a load covers: first .. first + number - 1 (first < 0 meaning 0,
// number < 1 meaning all), never beyond the last LED.
struct LedRange {
    int first = 0;
    int end = 0;
    LedRange(int first, int number, size_t leds);
    bool empty() const
    {
        return end <= first;
    }
};

// The numbers of the range that have a file, from one reading of the folder, in order. A
// range of millions of numbers (a mistyped count) then costs no more than the folder's
// listing instead of millions of failed opens. Names are matched without regard to case,
// as the loader finds them; a folder that is there but cannot be listed gives every number
// of the range.
std::vector<int> numbersWithFiles(const LedFileNames& names, const LedRange& range);

// Loads the set countX x countY from the numbered files through image slot 31; the first
// image that loads fixes the source region (sourceX / sourceY of 0, negative or beyond
// the image mean its width / height) and the storage. LEDs of the range whose file does
// not load are left 0; LEDs outside the range keep what they had when the storage is
// reused for a set of the same layout (so a set can be loaded in parts), else 0.
// Returns the number of images stored.
int loadLedImages(const std::string& name, int countX, int countY, int first, int number, int sourceX,
                  int sourceY);

// For every LED number of the range whose file loads (through slot 31), the spot found
// by pxFindSpot with threshold (<= 0 meaning 50), written as "number\tx\ty\r\n" with x
// and y rounded. Returns the number of lines, or -1 when the list cannot be written.
int writeLedPositions(const std::string& name, int countX, int countY, int first, int number,
                      const std::string& listName, int threshold);

}  // namespace tvx::imagelib
