// Exports: escape counts of z <- z^2 + c, for one point and along a row of points.
#include "imagelib/core/export.h"
#include "imagelib/core/parallel_rows.h"
#include "imagelib/pixory.h"

#include "platform/memprobe.h"

#include <algorithm>

namespace {

// Steps of z <- z^2 + c from z = 0 before |z|^2 exceeds 4, at most count.
int stepsInside(int count, double cr, double ci)
{
    double zr = 0, zi = 0;
    int n = 0;
    while (n < count) {
        const double r = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = r;
        if (zr * zr + zi * zi > 4)
            break;
        ++n;
    }
    return n;
}

// The step (from 1) at which |z|^2 first exceeds bailout, 0 when none within count.
// A bailout that is not above 0 (or not a number) means 4.
int escapeStep(double cr, double ci, int count, double zr, double zi, double bailout)
{
    if (!(bailout > 0))
        bailout = 4;
    for (int n = 1; n <= count; ++n) {
        const double r = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = r;
        if (zr * zr + zi * zi > bailout)
            return n;
    }
    return 0;
}

int escapeLine(uint8_t* buffer, int width, double cr, double ci, double stepR, double stepI, int count,
               double zr, double zi, double bailout)
{
    if (width <= 0)
        return 0;
    if (!tvx::platform::isWritable(buffer, static_cast<size_t>(width)))
        return -2;
    // Points are independent; long lines with many steps use every core.
    tvx::imagelib::parallelRows(width, std::max(count, 1), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const int n = escapeStep(cr + i * stepR, ci + i * stepI, count, zr, zi, bailout);
            buffer[i] = static_cast<uint8_t>(std::min(n, 255));
        }
    });
    return 0;
}

}  // namespace

PX_EXPORT int pxFractF1(int count, double cr, double ci)
{
    return tvx::imagelib::guarded(0, [&] { return stepsInside(count, cr, ci); });
}

PX_EXPORT int pxFractalM(double cr, double ci, int count, double zr, double zi, double bailout)
{
    return tvx::imagelib::guarded(0, [&] { return escapeStep(cr, ci, count, zr, zi, bailout); });
}

PX_EXPORT int pxFractalMLine(void* buffer, int width, double cr, double ci, double stepR, double stepI,
                             int count, double zr, double zi, double bailout)
{
    return tvx::imagelib::guarded(-1, [&] {
        return escapeLine(static_cast<uint8_t*>(buffer), width, cr, ci, stepR, stepI, count, zr, zi, bailout);
    });
}
