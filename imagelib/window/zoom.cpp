// Zoom arithmetic of image windows.
#include "imagelib/window/zoom.h"

#include <algorithm>
#include <cmath>

namespace tvx::imagelib {

double usableZoom(double stored)
{
    if (!(stored > 0))
        return 1.0;
    return clampZoom(stored);
}

double clampZoom(double zoom)
{
    if (std::isnan(zoom))
        return 1.0;
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

int zoomedExtent(int imageSize, double zoom)
{
    const double z = std::llround(std::max(1, imageSize) * usableZoom(zoom));
    return static_cast<int>(std::clamp<double>(z, 1, static_cast<double>(kMaxZoomedExtent)));
}

double fitZoom(int areaWidth, int areaHeight, int imageWidth, int imageHeight)
{
    const double w = std::max(1, areaWidth), h = std::max(1, areaHeight);
    return clampZoom(std::min(h / std::max(1, imageHeight), w / std::max(1, imageWidth)));
}

double stepFactor(double changeFactor, bool wheel)
{
    constexpr double kRoot2 = 1.4142135623730951;
    double f = changeFactor < 0.1 || std::isnan(changeFactor) ? 2.0 : changeFactor;
    if (f < 1)
        return wheel ? kRoot2 : 1.0;
    if (wheel && f > kRoot2)
        return kRoot2;
    return f;
}

double steppedZoom(double zoom, double factor, bool in)
{
    const double z = usableZoom(zoom);
    if (!in)
        return std::max(z / factor, kMinZoom);
    double next = std::min(z * factor, kMaxZoom);
    if (factor == 2.0)
        next = next >= 1 ? std::round(next) : 1.0 / std::round(1.0 / next);
    return clampZoom(next);
}

double zoomAfterFitStop(double oldZoom, double stepped, double fit, bool stopApplies, bool in,
                        FitMemory& memory)
{
    const FitMemory left = memory;
    memory = {};
    const bool atFit = fit > 0 && std::fabs(oldZoom - fit) <= fit * 1e-9;
    if (atFit && left.saved > 0) {
        const double other = left.previous > 0 ? left.previous : left.saved;
        const double high = std::max(left.saved, other), low = std::min(left.saved, other);
        if (in && high > oldZoom)
            return high;
        if (!in && low < oldZoom)
            return low;
    }
    if (!stopApplies || !(fit > 0))
        return stepped;
    const bool stops = in ? stepped > 0.95 * fit && oldZoom < 0.99 * fit : oldZoom > fit && stepped < fit;
    if (!stops)
        return stepped;
    memory = {stepped, oldZoom};
    return fit;
}

int64_t scrollKeepingPoint(int64_t scroll, int point, double oldZoom, double newZoom)
{
    const double imagePoint = (static_cast<double>(scroll) + point) / usableZoom(oldZoom);
    const double next = std::round(imagePoint * usableZoom(newZoom) - point);
    return static_cast<int64_t>(std::clamp<double>(next, 0, static_cast<double>(kMaxZoomedExtent)));
}

}  // namespace tvx::imagelib
