// Diagram scenes on the window layer: labels in the layer's font, whole scenes
// rendered to pixels with their text, and pixels shown in a device context.
#pragma once

#include "imagelib/diagram/layout.h"
#include "imagelib/diagram/raster.h"
#include "platform/window/gdi.h"

namespace tvx::imagelib {

// The labels' font. Measuring and drawing need the toolkit; without it the
// metrics are estimated and no text is drawn.
class DiagramFont {
public:
    DiagramFont();
    ~DiagramFont();
    DiagramFont(const DiagramFont&) = delete;
    DiagramFont& operator=(const DiagramFont&) = delete;

    const TextMetrics& metrics() const
    {
        return metrics_;
    }
    // True when the toolkit measured the font (false: estimated metrics).
    bool measured() const
    {
        return measured_;
    }
    // Draws the scene's texts into the context.
    void drawTexts(platform::Hdc dc, const Scene& scene) const;

private:
    platform::Hgdiobj font_ = 0;
    platform::Hdc measuring_ = 0;
    TextMetrics metrics_;
    bool measured_ = false;
};

// The font every diagram uses; made anew once the toolkit runs when it was first
// made without it.
const DiagramFont& diagramFont();

// The whole scene in pixels, text included.
void renderScene(const Scene& scene, const DiagramFont& font, Canvas& canvas);

// Shows the canvas at the context's origin.
void showCanvas(platform::Hdc dc, const Canvas& canvas);

}  // namespace tvx::imagelib
