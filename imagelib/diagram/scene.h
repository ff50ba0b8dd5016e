// What a diagram looks like, as a list of drawing items in pixel coordinates: the
// window paints it, the PNG and SVG exports write it. Items are drawn in order.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tvx::imagelib {

struct PointF {
    double x = 0;
    double y = 0;
};
struct RectF {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double width() const
    {
        return right - left;
    }
    double height() const
    {
        return bottom - top;
    }
    bool contains(PointF p) const
    {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
};

// A polyline (two points: a line) of the given width, cut to clip.
struct SceneStroke {
    std::vector<PointF> points;
    uint32_t rgb = 0;
    double width = 1;
    bool dashed = false;
    RectF clip;
};
// A filled rectangle, opaque or partly see-through.
struct SceneFill {
    RectF rect;
    uint32_t rgb = 0;
    double opacity = 1;
};
// Round dots of one colour, cut to clip.
struct SceneDots {
    std::vector<PointF> centres;
    double radius = 2;
    uint32_t rgb = 0;
    RectF clip;
};
enum class HAlign { Left, Centre, Right };
enum class VAlign { Top, Middle, Bottom };
// A line of text anchored at (x, y).
struct SceneText {
    double x = 0;
    double y = 0;
    std::string text;
    HAlign h = HAlign::Left;
    VAlign v = VAlign::Top;
    uint32_t rgb = 0;
};

// Liang-Barsky: cuts the segment a -> b to the part inside r; false when none is.
inline bool clipSegment(PointF& a, PointF& b, const RectF& r)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - r.left, r.right - a.x, a.y - r.top, r.bottom - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = t > t0 ? t : t0;
        else
            t1 = t < t1 ? t : t1;
        if (t0 > t1)
            return false;
    }
    const PointF start{a.x + t0 * dx, a.y + t0 * dy};
    b = {a.x + t1 * dx, a.y + t1 * dy};
    a = start;
    return true;
}

inline RectF inflate(const RectF& r, double by)
{
    return {r.left - by, r.top - by, r.right + by, r.bottom + by};
}

using SceneItem = std::variant<SceneFill, SceneStroke, SceneDots, SceneText>;

struct Scene {
    int width = 0;
    int height = 0;
    uint32_t background = 0xFFFFFF;
    std::vector<SceneItem> items;
};

}  // namespace tvx::imagelib
