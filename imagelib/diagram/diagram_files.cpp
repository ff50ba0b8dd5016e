// Saving diagrams: PNG through the raster and the window layer's text, SVG from
// the same scene, CSV from the data.
#include "imagelib/diagram/diagram_files.h"

#include "imagelib/core/settings.h"
#include "imagelib/diagram/data_text.h"
#include "imagelib/diagram/render.h"
#include "imagelib/diagram/svg.h"
#include "imagelib/files/image_file.h"
#include "platform/window/window.h"

#include <memory>

namespace tvx::imagelib {

namespace {

bool writeText(const std::string& path, const std::string& text)
{
    FileWriter file(path);
    if (!file.isOpen())
        return false;
    file.write(text.data(), text.size());
    return file.finish();
}

bool writePicturePng(const std::string& path, const Canvas& canvas)
{
    const size_t stride = static_cast<size_t>(canvas.width) * 3;
    std::vector<uint8_t> rows(stride * static_cast<size_t>(canvas.height));
    for (size_t i = 0; i < canvas.pixels.size(); ++i) {
        const uint32_t p = canvas.pixels[i];
        rows[3 * i] = static_cast<uint8_t>(p);
        rows[3 * i + 1] = static_cast<uint8_t>(p >> 8);
        rows[3 * i + 2] = static_cast<uint8_t>(p >> 16);
    }
    return writePngBgr(path, canvas.width, canvas.height, rows.data(), stride);
}

}  // namespace

DiagramFileFormat formatFromName(const std::string& path)
{
    const std::string ext = extensionOf(path);
    if (ext == "png")
        return DiagramFileFormat::Png;
    if (ext == "svg")
        return DiagramFileFormat::Svg;
    if (ext == "csv")
        return DiagramFileFormat::Csv;
    return DiagramFileFormat::ByExtension;
}

int saveDiagramFile(const Diagram& diagram, const std::string& path, DiagramFileFormat format, int width,
                    int height)
{
    if (format == DiagramFileFormat::ByExtension)
        format = formatFromName(path);
    if (format != DiagramFileFormat::Png && format != DiagramFileFormat::Svg &&
        format != DiagramFileFormat::Csv)
        return kDiagramBadFormat;
    if (diagram.data.curves.empty())
        return kDiagramEmpty;
    if (path.empty())
        return kDiagramWriteFailed;
    if (format == DiagramFileFormat::Csv)
        return writeText(path, csvDataText(diagram.data)) ? kDiagramSaved : kDiagramWriteFailed;

    if (width == 0 && height == 0) {
        width = kDefaultPictureWidth;
        height = kDefaultPictureHeight;
    }
    if (width < 16 || height < 16 || width > kMaxPictureSide || height > kMaxPictureSide ||
        int64_t{width} * height > kMaxPicturePixels)
        return kDiagramBadSize;
    // Labels are measured and drawn by the toolkit, off-screen when there is no display.
    platform::startWindowSystem(false);
    const DiagramFont& font = diagramFont();
    const PlotSeries series(diagram.data);
    const DiagramLayout layout =
        layoutDiagram(diagram.data, series, diagram.view, width, height, font.metrics(), false);
    const Scene scene = drawDiagram(diagram.data, series, layout, font.metrics());
    if (format == DiagramFileFormat::Svg)
        return writeText(path, sceneToSvg(scene, font.metrics())) ? kDiagramSaved : kDiagramWriteFailed;
    Canvas canvas;
    renderScene(scene, font, canvas);
    return writePicturePng(path, canvas) ? kDiagramSaved : kDiagramWriteFailed;
}

}  // namespace tvx::imagelib
