// Window placements kept in the settings file ("Windows", "Display<n>") and the
// rules that bring a stored placement back onto the screens.
#pragma once

#include "platform/window/window.h"

#include <string>
#include <vector>

namespace tvx::imagelib {

// State values of a record: 1 normal, 2 minimised, 3 maximised; 0x10 marks a record
// the library wrote; 19 is a maximised window whose normal rectangle is kept.
constexpr int kPlacementWritten = 0x10;
constexpr int kPlacementNormal = 0x11;
constexpr int kPlacementMaximised = 19;

struct PlacementRecord {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int state = 1;
};

// "left top width height state"; fields missing from the text keep the values
// record already holds. False when the text holds no number at all.
bool parsePlacement(const std::string& text, PlacementRecord& record);
std::string formatPlacement(const PlacementRecord& record);

// The record of image number n (0..31) in the settings file; false when missing.
bool readPlacement(int number, PlacementRecord& record);
bool writePlacement(int number, const PlacementRecord& record);
// The same for any key of section "Windows" ("Diagram3" for diagram 2).
bool readPlacement(const std::string& key, PlacementRecord& record);
bool writePlacement(const std::string& key, const PlacementRecord& record);
// The key of image number n: "Display<n+1>".
std::string imagePlacementKey(int number);

// What a window writes when it has moved or been resized: a normal window (rect,
// larger than an icon + 8 pixels both ways) with state 0x11; a maximised one keeps
// the stored rectangle (rect, its normal one, when none is stored) with state 19.
// lastRecord holds the text last written, so the same text is not written again.
void saveWindowPlacement(const std::string& key, bool maximised, const platform::Rect& rect,
                         std::string& lastRecord);

// A stored window rectangle kept where the person can reach it. With W and H the
// larger of the primary screen's and the virtual screen's sizes: width at most
// W + 8 and height at most H + 8; left at most W - 32 and at least the smaller of
// -8 and (virtual left - width + 64); top at most H - 16 and at least virtual top
// - 8. A rectangle that then still meets no monitor (32 x 16 pixels of it on one)
// is moved into the work area of the monitor nearest to it.
platform::Rect placeOnScreens(platform::Rect rect, const std::vector<platform::MonitorInfo>& monitors);

}  // namespace tvx::imagelib
