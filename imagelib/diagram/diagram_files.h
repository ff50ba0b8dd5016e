// Diagrams saved as files: the picture as PNG or SVG, the data as CSV.
#pragma once

#include "imagelib/diagram/diagram.h"

#include <string>

namespace tvx::imagelib {

enum class DiagramFileFormat { ByExtension = 0, Png = 1, Svg = 2, Csv = 3 };

// Pictures of diagrams that have no window to take the size from.
constexpr int kDefaultPictureWidth = 800;
constexpr int kDefaultPictureHeight = 500;
// Pictures are kept to sizes whose pixels fit comfortably in memory.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = 32 * 1024 * 1024;

// Results of saveDiagramFile (and pxDiagramSave).
enum : int {
    kDiagramSaved = 0,
    kDiagramEmpty = -1,        // no curves to save
    kDiagramWriteFailed = -2,  // the file could not be written (nothing is left behind)
    kDiagramBadFormat = -3,    // unknown format, or no known extension
    kDiagramBadSize = -4,
};

// The format a file name asks for (.png, .svg, .csv, any case).
DiagramFileFormat formatFromName(const std::string& path);

// Writes the diagram to a file-system path. Pictures show what a window shows
// (the zoomed part while zoomed), without the window's status line, at width x
// height (0 for the default size).
int saveDiagramFile(const Diagram& diagram, const std::string& path, DiagramFileFormat format, int width,
                    int height);

}  // namespace tvx::imagelib
