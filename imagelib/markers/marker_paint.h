// Drawing a window's markers over its picture.
#pragma once

#include "imagelib/markers/marker_list.h"
#include "platform/window/gdi.h"

namespace tvx::imagelib {

// Draws every marker that meets the update rectangle (client coordinates) into dc, in
// the order of the list; the kinds of one record in the order cross, diagonal cross,
// square, line, rectangle, ellipse, centred ellipse, text. Keeps the union of what was
// drawn in list.drawnArea.
void paintMarkers(platform::Hdc dc, MarkerList& list, const MarkerView& view, const platform::Rect& update);

}  // namespace tvx::imagelib
