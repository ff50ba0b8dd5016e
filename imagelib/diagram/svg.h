// Diagram scenes as SVG documents.
#pragma once

#include "imagelib/diagram/layout.h"
#include "imagelib/diagram/scene.h"

#include <string>

namespace tvx::imagelib {

// A standalone SVG document of the scene; text is placed with the metrics the
// layout was made with and set in the same font family.
std::string sceneToSvg(const Scene& scene, const TextMetrics& metrics);

}  // namespace tvx::imagelib
