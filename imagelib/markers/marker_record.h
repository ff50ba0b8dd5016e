// One marker: a 64-byte record of sixteen 32-bit words, the layout callers know.
//
//   word 0      kind (0: a free record)
//   word 1      colour 0x00BBGGRR
//   word 2      style (polynomials: (flags << 8) | count; polygons: offset in the point store)
//   word 3      extra (the own pick radius)
//   words 4-11  points 1 to 4 (x, y)
//   words 12-15 text (15 characters and a zero), or two texts of 8 bytes at bytes 48 and 56
//
// Polynomial curves keep their x range in words 4-5 and up to ten coefficients in
// words 6-15, all as 32-bit floats.
#pragma once

#include <cstdint>
#include <cstring>

namespace tvx::imagelib {

// Kind bits.
enum : uint32_t {
    kMarkerCross = 0x1,
    kMarkerDiagonalCross = 0x2,
    kMarkerSquare = 0x4,
    kMarkerLine = 0x10,
    kMarkerRectangle = 0x20,
    kMarkerEllipse = 0x40,         // in the rectangle of points 1 and 2
    kMarkerCentredEllipse = 0x80,  // centre point 1, radii point 2
    kMarkerText = 0x100,
    kMarkerEndCross = 0x400,  // with a line: a small cross at point 2 (labels with 0x8000)
    kMarkerSecondPen = 0x8000,
    kMarkerSelectable = 0x10000,
    kMarkerOwnRadius = 0x20000,  // with style bit 0: extra is the pick radius
    kMarkerFollowsMouse = 0x40000,
    kMarkerPermanent = 0x80000000,
};
// Exact kinds.
constexpr uint32_t kMarkerPolynomial = 4096;
constexpr uint32_t kMarkerPolygon = 4097;
constexpr int kMaxPolynomialCoefficients = 10;

struct MarkerRecord {
    uint32_t words[16] = {};

    uint32_t kind() const
    {
        return words[0];
    }
    uint32_t colour() const
    {
        return words[1];
    }
    uint32_t style() const
    {
        return words[2];
    }
    int32_t extra() const
    {
        return static_cast<int32_t>(words[3]);
    }
    bool isFree() const
    {
        return words[0] == 0;
    }
    bool isPolynomial() const
    {
        return words[0] == kMarkerPolynomial;
    }
    bool isPolygon() const
    {
        return words[0] == kMarkerPolygon;
    }
    // The shapes of the kind bits (polynomials and polygons have their own drawing).
    bool hasShapes() const
    {
        return !isFree() && !isPolynomial() && !isPolygon();
    }

    // Point n (1..4).
    int32_t x(int n) const
    {
        return static_cast<int32_t>(words[2 + 2 * n]);
    }
    int32_t y(int n) const
    {
        return static_cast<int32_t>(words[3 + 2 * n]);
    }
    void setPoint(int n, int32_t px, int32_t py)
    {
        words[2 + 2 * n] = static_cast<uint32_t>(px);
        words[3 + 2 * n] = static_cast<uint32_t>(py);
    }

    float floatAt(int word) const
    {
        float f;
        std::memcpy(&f, &words[word], sizeof f);
        return f;
    }
    void setFloat(int word, float f)
    {
        std::memcpy(&words[word], &f, sizeof f);
    }

    // The text of bytes 48..63 (at most 15 characters), or one of the two short texts.
    const char* text() const
    {
        return reinterpret_cast<const char*>(&words[12]);
    }
    const char* shortText(int which) const
    {
        return text() + 8 * which;
    }
    char* textBytes()
    {
        return reinterpret_cast<char*>(&words[12]);
    }
};
static_assert(sizeof(MarkerRecord) == 64);

}  // namespace tvx::imagelib
