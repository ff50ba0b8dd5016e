// Zooming and moving about a diagram: the rubber band, the wheel, and the keys
// that move a zoomed view.
#pragma once

#include "imagelib/diagram/layout.h"

namespace tvx::imagelib {

// Which modifier states change what a key does (the window maps Shift, Ctrl and
// Alt to them).
enum : unsigned {
    kKeyQuarterStep = 1,  // Left and Right move a quarter of the width, not a tenth
    kKeyVertical = 2,     // the keys act on the y range of the active panel
    kKeyDayJump = 4,      // on a date axis Left and Right jump by a day
};

// Shows the part of the panel under the band: its x range when it is at least 3
// pixels wide, and its y range when it is at least 3 pixels high.
void zoomToBand(DiagramView& view, const DiagramLayout& layout, int panel, const RectF& band);

// One wheel step about a point of a panel: factor above 1 zooms in. The x range
// never grows beyond the data (it then shows all of it again); with vertical the
// panel's y range zooms instead. False when nothing changed.
bool zoomAbout(DiagramView& view, const DiagramLayout& layout, int panel, PointF at, double factor,
               bool vertical);

// A key while the diagram is zoomed (virtual-key codes). Left and Right move the x
// range by a tenth of its width (a quarter with kKeyQuarterStep), never beyond the
// data; Up narrows and Down widens it by that step. With kKeyVertical: Home
// restores the active panel's y range, Left and Up lower and raise its lower
// bound by a tenth of the range, Right narrows it and Down moves it down. With
// kKeyDayJump on a date axis Left and Right jump a day, to the nearest point that
// lies within 300 seconds of the same time a day before or after. False when the
// view did not change (not zoomed, another key, or at the end of the data).
bool applyViewKey(DiagramView& view, int key, unsigned modifiers, const DiagramLayout& layout,
                  const PlotSeries& series);

}  // namespace tvx::imagelib
