// The brightness, contrast and gamma mapping of pxMakeRGBImageBCG, also used where
// overlays colour their source the same way.
#pragma once

#include <cstdint>

namespace tvx::imagelib {

class BcgMapping {
public:
    // With gamma strictly between 1e-6 and 1e6 and not 1, a table of
    // min(255, round(max(0, (i - offset) x contrast / 255)^gamma x 255)) takes over the
    // offset and the contrast; the contrast then becomes the factor trunc(contrast x 1024).
    BcgMapping(int offset, double contrast, double gamma);

    // The level of a byte before the contrast factor: the table, or the byte less the
    // offset (not below 0).
    long long level(int p) const
    {
        return useTable_ ? table_[p] : (p > offset_ ? p - offset_ : 0);
    }
    // A level times the contrast factor, limited to 0..255.
    uint8_t finish(long long v) const
    {
        const long long r = (v * factor_) >> 10;
        return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
    }
    // A grey byte coloured by tint (0xRRGGBB): blue, green and red.
    void grey(int p, int tint, uint8_t out[3]) const
    {
        const long long v = level(p);
        out[0] = finish(((tint & 0xFF) * v + 255) >> 8);
        out[1] = finish((((tint >> 8) & 0xFF) * v + 255) >> 8);
        out[2] = finish((((tint >> 16) & 0xFF) * v + 255) >> 8);
    }
    // One byte of a colour pixel (the tint does not count for colour sources).
    uint8_t byte(int p) const
    {
        return finish(level(p));
    }

private:
    bool useTable_ = false;
    uint8_t table_[256] = {};
    long long offset_ = 0;
    long long factor_ = 1024;
};

}  // namespace tvx::imagelib
