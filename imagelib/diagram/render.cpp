// Scenes through the window layer: the font, text drawing, and pixels in and out
// of device contexts.
#include "imagelib/diagram/render.h"

#include "platform/window/window.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace tvx::imagelib {

using namespace tvx::platform;

namespace {

constexpr int kFontPixels = 12;
constexpr int kTransparent = 1;

ColorRef colorRefOf(uint32_t rgb)
{
    return platform::rgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

BitmapInfo canvasHeader(const Canvas& canvas)
{
    BitmapInfo info{};
    info.bmiHeader.biSize = sizeof(BitmapInfoHeader);
    info.bmiHeader.biWidth = canvas.width;
    info.bmiHeader.biHeight = -canvas.height;  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

}  // namespace

DiagramFont::DiagramFont()
{
    metrics_ = estimatedTextMetrics();
    LogFont description;
    description.height = -kFontPixels;
    std::strncpy(description.faceName, "DejaVu Sans", sizeof description.faceName - 1);
    font_ = createFontIndirect(description);
    measuring_ = createCompatibleDC(0);
    if (!font_ || !measuring_)
        return;
    selectObject(measuring_, font_);
    int width = 0, height = 0;
    if (!textExtent(measuring_, "0", width, height) || height <= 0)
        return;  // no toolkit: the estimate stands
    const Hdc dc = measuring_;
    metrics_.width = [dc](std::string_view text) {
        int w = 0, h = 0;
        textExtent(dc, text, w, h);
        return static_cast<double>(w);
    };
    measured_ = true;
    metrics_.height = height;
    // The font's ascent is about four fifths of its line height.
    metrics_.ascent = std::round(height * 0.8);
}

DiagramFont::~DiagramFont()
{
    if (measuring_)
        deleteDC(measuring_);
    if (font_)
        deleteObject(font_);
}

const DiagramFont& diagramFont()
{
    static std::unique_ptr<DiagramFont> font;
    if (!font || (!font->measured() && windowSystemStarted()))
        font = std::make_unique<DiagramFont>();
    return *font;
}

void DiagramFont::drawTexts(Hdc dc, const Scene& scene) const
{
    const Hgdiobj previous = selectObject(dc, font_);
    setBkMode(dc, kTransparent);
    for (const SceneItem& item : scene.items) {
        const auto* text = std::get_if<SceneText>(&item);
        if (!text || text->text.empty())
            continue;
        const double w = metrics_.width(text->text), h = metrics_.height;
        double x = text->x, y = text->y;
        if (text->h == HAlign::Centre)
            x -= w / 2;
        else if (text->h == HAlign::Right)
            x -= w;
        if (text->v == VAlign::Middle)
            y -= h / 2;
        else if (text->v == VAlign::Bottom)
            y -= h;
        setTextColor(dc, colorRefOf(text->rgb));
        textOut(dc, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), text->text);
    }
    if (previous)
        selectObject(dc, previous);
}

void renderScene(const Scene& scene, const DiagramFont& font, Canvas& canvas)
{
    paintShapes(scene, canvas);
    if (canvas.pixels.empty())
        return;
    // Text comes from the toolkit, which draws into bitmaps of the window layer:
    // the shapes go there, the labels on top, and the whole comes back.
    const Hdc memory = createCompatibleDC(0);
    const Hgdiobj bitmap = createCompatibleBitmap(memory, canvas.width, canvas.height);
    if (memory && bitmap) {
        selectObject(memory, bitmap);
        showCanvas(memory, canvas);
        font.drawTexts(memory, scene);
        BitmapInfo info = canvasHeader(canvas);
        std::vector<uint32_t> withText(canvas.pixels.size());
        if (getDIBits(memory, bitmap, 0, canvas.height, withText.data(), &info) == canvas.height) {
            for (uint32_t& p : withText)
                p |= 0xFF000000u;
            canvas.pixels.swap(withText);
        }
    }
    if (memory)
        deleteDC(memory);
    if (bitmap)
        deleteObject(bitmap);
}

void showCanvas(Hdc dc, const Canvas& canvas)
{
    if (canvas.pixels.empty())
        return;
    const BitmapInfo info = canvasHeader(canvas);
    setDIBitsToDevice(dc, 0, 0, canvas.width, canvas.height, 0, 0, 0, canvas.height, canvas.pixels.data(),
                      &info);
}

}  // namespace tvx::imagelib
