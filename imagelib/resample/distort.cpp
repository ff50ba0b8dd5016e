// Exports: polynomial distortion of slots and raw buffers, and polynomial maps.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/display/map16.h"
#include "imagelib/pixory.h"
#include "imagelib/processing/box_filter.h"
#include "imagelib/resample/polynomial.h"
#include "imagelib/resample/resample_core.h"

#include "platform/memprobe.h"

#include <cmath>
#include <cstring>

using namespace tvx::imagelib;

namespace {

constexpr int kDisplacementOff = 1;  // mode bit 0: the polynomials give positions, not offsets
constexpr int kCentred = 2;          // mode bit 1: u and v from the image centre
constexpr int kWords = 4;            // mode bit 2 of the raw form: 16-bit samples

bool coefficientsReadable(const double* c, int count, int order)
{
    const int used = std::min(count, Polynomial2D::termCount(order));
    return used <= 0 || tvx::platform::isReadable(c, sizeof(double) * static_cast<size_t>(used));
}

// The source positions of a distortion, row by row.
class Distortion {
public:
    Distortion(const Polynomial2D& px, const Polynomial2D& py, int mode, int width, int height)
        : px_(px), py_(py), absolute_(mode & kDisplacementOff)
    {
        if (mode & kCentred) {
            gx_ = width / 2.0;
            gy_ = height / 2.0;
        }
    }

    void row(int y, int width, double* xs, double* ys) const
    {
        double ax[kMaxPolynomialOrder + 1], ay[kMaxPolynomialOrder + 1];
        const double v = y - gy_;
        px_.alongRow(v, ax);
        py_.alongRow(v, ay);
        for (int x = 0; x < width; ++x) {
            const double u = x - gx_;
            xs[x] = (absolute_ ? 0 : x) + px_.at(ax, u);
            ys[x] = (absolute_ ? 0 : y) + py_.at(ay, u);
        }
    }

private:
    const Polynomial2D& px_;
    const Polynomial2D& py_;
    bool absolute_;
    double gx_ = 0, gy_ = 0;
};

template <class T>
void distort(const SampleView<const T>& src, const SampleView<T>& dst, const Polynomial2D& px,
             const Polynomial2D& py, int mode)
{
    const Distortion d(px, py, mode, dst.width, dst.height);
    resamplePositions(src, dst, interpolationFromFlags(mode), outsideFromFlags(mode),
                      [&](int y, double* xs, double* ys) { d.row(y, dst.width, xs, ys); });
}

bool ordersValid(int orderX, int orderY)
{
    return orderX >= 0 && orderX <= kMaxPolynomialOrder && orderY >= 0 && orderY <= kMaxPolynomialOrder;
}

auto everyTerm = [](int) { return true; };

int imgDistort(int source, int destination, int mode, const double* cx, int countX, int orderX,
               const double* cy, int countY, int orderY)
{
    const Slot* src = filledSlot(source);
    Slot* dst = filledSlot(destination);
    if (!src || !dst || src->bits() != dst->bits() || src->bits() < 8 || !ordersValid(orderX, orderY))
        return -1;
    if (!coefficientsReadable(cx, countX, orderX) || !coefficientsReadable(cy, countY, orderY))
        return -2;
    const Polynomial2D px(cx, countX, orderX, everyTerm), py(cy, countY, orderY, everyTerm);
    SlotSamples samples;
    takeSamples(*src, src == dst, &samples);
    if (src->plane && dst->plane) {
        distort(samples.plane, planeView(*dst), px, py, mode);
        mapPlaneToDisplay(*dst);
    } else {
        distort(samples.dib, dibView(*dst), px, py, mode);
    }
    return 0;
}

int rectDistort(const void* source, int sourcePitch, int sw, int sh, int sourceBottomUp, void* destination,
                int destinationPitch, int dw, int dh, int destinationBottomUp, int bytesPerPixel, int mode,
                const double* cx, int countX, int orderX, const double* cy, int countY, int orderY)
{
    const bool words = mode & kWords;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || bytesPerPixel < 1 || bytesPerPixel > 4 ||
        (words && bytesPerPixel % 2) || !ordersValid(orderX, orderY))
        return -1;
    const int64_t sourceRow = int64_t{sw} * bytesPerPixel, destinationRow = int64_t{dw} * bytesPerPixel;
    if (!callerSpanOk(source, sourcePitch, sourceRow, sh, false) ||
        !callerSpanOk(destination, destinationPitch, destinationRow, dh, true) ||
        !coefficientsReadable(cx, countX, orderX) || !coefficientsReadable(cy, countY, orderY))
        return -2;
    const Polynomial2D px(cx, countX, orderX, everyTerm), py(cy, countY, orderY, everyTerm);
    if (words) {
        const int channels = bytesPerPixel / 2;
        const auto src =
            bufferView(static_cast<const uint16_t*>(source), sourcePitch, sw, sh, channels, sourceBottomUp);
        const auto dst = bufferView(static_cast<uint16_t*>(destination), destinationPitch, dw, dh, channels,
                                    destinationBottomUp);
        distort(src, dst, px, py, mode);
    } else {
        const auto src = bufferView(static_cast<const uint8_t*>(source), sourcePitch, sw, sh, bytesPerPixel,
                                    sourceBottomUp);
        const auto dst = bufferView(static_cast<uint8_t*>(destination), destinationPitch, dw, dh,
                                    bytesPerPixel, destinationBottomUp);
        distort(src, dst, px, py, mode);
    }
    return 0;
}

int polyMap(double* map, int pitch, int width, int height, const double* coefficients, int order,
            int termMask, int centre)
{
    if (width <= 0 || height <= 0 || order < 0 || order > kMaxPolynomialOrder)
        return -1;
    const int64_t rowBytes = int64_t{width} * 8;
    const int64_t step = pitch == 0 ? rowBytes : pitch;
    if (step < rowBytes && step > -rowBytes)
        return -1;  // rows would overlap
    if (!callerSpanOk(map, step, rowBytes, height, true))
        return -2;
    const int terms = Polynomial2D::termCount(order);
    auto used = [termMask](int k) {
        if (termMask < 0)
            return k < -static_cast<int64_t>(termMask);
        return k < 31 && ((termMask >> k) & 1);
    };
    int highest = -1;
    for (int k = 0; k < terms; ++k)
        if (used(k))
            highest = k;
    if (highest >= 0 &&
        !tvx::platform::isReadable(coefficients, sizeof(double) * static_cast<size_t>(highest + 1)))
        return -2;
    const Polynomial2D p(coefficients, highest + 1, order, used);
    double gx = 0, gy = 0;
    if (centre == 1 || centre == 2) {
        gx = (centre == 1 ? width : height) / 2.0;
        gy = (centre == 1 ? height : width) / 2.0;
    }
    double a[kMaxPolynomialOrder + 1];
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint8_t*>(map) + y * step;
        p.alongRow(y - gy, a);
        for (int x = 0; x < width; ++x) {
            const double value = x + p.at(a, x - gx);
            std::memcpy(row + static_cast<size_t>(x) * 8, &value, 8);
        }
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxImgDistortPolyXY(int source, int destination, int mode, const double* coefficientsX,
                                 int countX, int orderX, const double* coefficientsY, int countY, int orderY)
{
    return guarded(-1, [&] {
        return imgDistort(source, destination, mode, coefficientsX, countX, orderX, coefficientsY, countY,
                          orderY);
    });
}

PX_EXPORT int pxRectDistortPolyXY(const void* source, int sourcePitch, int sourceWidth, int sourceHeight,
                                  int sourceBottomUp, void* destination, int destinationPitch,
                                  int destinationWidth, int destinationHeight, int destinationBottomUp,
                                  int bytesPerPixel, int mode, const double* coefficientsX, int countX,
                                  int orderX, const double* coefficientsY, int countY, int orderY)
{
    return guarded(-1, [&] {
        return rectDistort(source, sourcePitch, sourceWidth, sourceHeight, sourceBottomUp, destination,
                           destinationPitch, destinationWidth, destinationHeight, destinationBottomUp,
                           bytesPerPixel, mode, coefficientsX, countX, orderX, coefficientsY, countY, orderY);
    });
}

PX_EXPORT int pxPolyXYCalcMapD(double* map, int pitch, int width, int height, const double* coefficients,
                               int order, int termMask, int centre)
{
    return guarded(-1,
                   [&] { return polyMap(map, pitch, width, height, coefficients, order, termMask, centre); });
}
