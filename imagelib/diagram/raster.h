// Paints the shapes of a diagram scene (all but its text) into 32-bit pixels with
// smooth edges: lines and dots are covered by their distance from each pixel's
// centre, so curves keep an even weight at every slope.
#pragma once

#include "imagelib/diagram/scene.h"

#include <cstdint>
#include <vector>

namespace tvx::imagelib {

// Pixels 0xFFRRGGBB, rows top-down: the layout of 32-bit top-down DIBs and of the
// window layer's surfaces.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    void reset(int w, int h, uint32_t rgb);
    uint32_t rgbAt(int x, int y) const
    {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] &
               0xFFFFFF;
    }
};

// Resets the canvas to the scene's size and background and paints every fill,
// stroke and dot in order. Texts are left to a painter that has fonts.
void paintShapes(const Scene& scene, Canvas& canvas);
// Paints the scene's shapes over what the canvas holds (a canvas of another size
// than the scene is reset first).
void paintShapesOver(const Scene& scene, Canvas& canvas);

}  // namespace tvx::imagelib
