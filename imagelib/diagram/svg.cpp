// SVG output: one element per scene item, clip paths shared by the items that
// use the same rectangle.
#include "imagelib/diagram/svg.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

namespace tvx::imagelib {

namespace {

std::string number(double v)
{
    if (!std::isfinite(v))
        v = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string colour(uint32_t rgb)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFF);
    return text;
}

bool validUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t j = 1; j < n; ++j)
            if ((static_cast<unsigned char>(s[i + j]) >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

// Text as XML character data: markup characters escaped, control characters
// dropped, and bytes that are not UTF-8 taken as Latin-1.
std::string escaped(const std::string& text)
{
    const bool utf8 = validUtf8(text);
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (c < 0x20)
                break;
            if (c >= 0x80 && !utf8)
                out += "&#" + std::to_string(c) + ";";
            else
                out += ch;
        }
    }
    return out;
}

using ClipKey = std::tuple<double, double, double, double>;

class ClipTable {
public:
    std::string reference(const RectF& r)
    {
        const ClipKey key{r.left, r.top, r.right, r.bottom};
        auto it = ids_.find(key);
        if (it == ids_.end())
            it = ids_.emplace(key, "clip" + std::to_string(ids_.size())).first;
        return " clip-path=\"url(#" + it->second + ")\"";
    }
    std::string definitions() const
    {
        std::string out = "<defs>\n";
        for (const auto& [key, id] : ids_) {
            const auto& [l, t, r, b] = key;
            out += "<clipPath id=\"" + id + "\"><rect x=\"" + number(l) + "\" y=\"" + number(t) +
                   "\" width=\"" + number(r - l) + "\" height=\"" + number(b - t) + "\"/></clipPath>\n";
        }
        return out + "</defs>\n";
    }

private:
    std::map<ClipKey, std::string> ids_;
};

}  // namespace

std::string sceneToSvg(const Scene& scene, const TextMetrics& metrics)
{
    ClipTable clips;
    std::string body;
    for (const SceneItem& item : scene.items) {
        if (const auto* f = std::get_if<SceneFill>(&item)) {
            body += "<rect x=\"" + number(f->rect.left) + "\" y=\"" + number(f->rect.top) + "\" width=\"" +
                    number(f->rect.width()) + "\" height=\"" + number(f->rect.height()) + "\" fill=\"" +
                    colour(f->rgb) + "\"";
            if (f->opacity < 1)
                body += " fill-opacity=\"" + number(f->opacity) + "\"";
            body += "/>\n";
        } else if (const auto* s = std::get_if<SceneStroke>(&item)) {
            if (s->points.size() < 2)
                continue;
            body += "<polyline fill=\"none\" stroke=\"" + colour(s->rgb) + "\" stroke-width=\"" +
                    number(s->width) + "\"";
            body += s->dashed ? " stroke-dasharray=\"4 3\""
                              : " stroke-linejoin=\"round\" stroke-linecap=\"round\"";
            body += clips.reference(s->clip) + " points=\"";
            for (size_t i = 0; i < s->points.size(); ++i)
                body += (i ? " " : "") + number(s->points[i].x) + "," + number(s->points[i].y);
            body += "\"/>\n";
        } else if (const auto* d = std::get_if<SceneDots>(&item)) {
            body += "<g fill=\"" + colour(d->rgb) + "\"" + clips.reference(d->clip) + ">";
            for (const PointF& c : d->centres)
                body += "<circle cx=\"" + number(c.x) + "\" cy=\"" + number(c.y) + "\" r=\"" +
                        number(d->radius) + "\"/>";
            body += "</g>\n";
        } else if (const auto* t = std::get_if<SceneText>(&item)) {
            if (t->text.empty())
                continue;
            double baseline = t->y + metrics.ascent;
            if (t->v == VAlign::Middle)
                baseline -= metrics.height / 2;
            else if (t->v == VAlign::Bottom)
                baseline -= metrics.height;
            const char* anchor = t->h == HAlign::Left ? "start" : t->h == HAlign::Centre ? "middle" : "end";
            body += "<text x=\"" + number(t->x) + "\" y=\"" + number(baseline) + "\" text-anchor=\"" +
                    anchor + "\" fill=\"" + colour(t->rgb) + "\">" + escaped(t->text) + "</text>\n";
        }
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
           std::to_string(scene.width) + "\" height=\"" + std::to_string(scene.height) + "\" viewBox=\"0 0 " +
           std::to_string(scene.width) + " " + std::to_string(scene.height) +
           "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"12px\">\n";
    out += clips.definitions();
    out += "<rect width=\"100%\" height=\"100%\" fill=\"" + colour(scene.background) + "\"/>\n";
    out += body;
    out += "</svg>\n";
    return out;
}

}  // namespace tvx::imagelib
