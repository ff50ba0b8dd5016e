// Vectorised row loops of the bilinear interpolation on bytes. Every one computes
// exactly a + (((b - a) f + 128) >> 8), written as (a (256 - f) + b f + 128) >> 8, which
// is the same number and fits 16-bit lanes.
#pragma once

#include <cstdint>

namespace tvx::imagelib {

// out[j] = lerp(a[j], b[j], f) for n bytes (the step between two rows).
void lerpRows(const uint8_t* a, const uint8_t* b, int f, uint8_t* out, int n);

// out[i] = lerp(p[k i], p[k i + 1], f) for i < n, k 1 or 2: a row stepped evenly with one
// fraction (scales of 1 and 1/2).
void lerpEven(const uint8_t* p, int k, int f, uint8_t* out, int n);

// out[j] = (low byte of pairs[j] x weights[2j] + high byte x weights[2j + 1] + 128) >> 8:
// samples gathered in pairs with their weights 256 - f and f.
void lerpPairs(const uint16_t* pairs, const int16_t* weights, uint8_t* out, int n);

// The cubic convolution step of the resampling core on 16-bit lanes (exactly the same
// integer arithmetic; every intermediate of byte samples fits these lanes).
//
// h[j] = cubic(pm, p0, p1, p2 of quads[j], t[j]): the four samples around a column in
// one word (pm the low byte), t its fraction in 1/256; the unclamped row result.
void cubicAlongRow(const uint32_t* quads, const int16_t* t, int16_t* h, int n);
// out[j] = cubic(r0[j], r1[j], r2[j], r3[j], t) limited to 0..255: four rows combined.
void cubicDownColumns(const int16_t* r0, const int16_t* r1, const int16_t* r2, const int16_t* r3, int t,
                      uint8_t* out, int n);

// Points of a single-channel picture at any positions (rotations):
// out[j] = lerp(lerp(top[j]), lerp(bottom[j]), fy[j]) with top[j], bottom[j] the pairs of
// samples (left in the low byte) of the two rows and fx[j] their fraction.
void bilinearPoints(const uint16_t* top, const uint16_t* bottom, const int16_t* fx, const int16_t* fy,
                    uint8_t* out, int n);
// out[j] = cubic down the column of the four row results of rows[0..3][j] (4 x 4 samples,
// the four of each row in one word) at fractions fx[j], fy[j], limited to 0..255.
void cubicPoints(const uint32_t* const rows[4], const int16_t* fx, const int16_t* fy, uint8_t* out, int n);

}  // namespace tvx::imagelib
