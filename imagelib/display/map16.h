// Mapping of a 16-bit plane to the 8-bit display bytes of its DIB.
#pragma once

namespace tvx::imagelib {

struct Slot;

// Renders the slot's plane into its 8-bit DIB by the slot's display mode (range
// scan, percentile histogram, automatic shift, fixed shift or fixed window) and keeps
// what it chose for translatePixel16To8. Returns the upper end of the mapped range;
// 0 when the slot has no plane.
int mapPlaneToDisplay(Slot& slot);

// The display byte that the slot's last mapping gives for a 16-bit value.
int translatePixel16To8(const Slot& slot, int value);

}  // namespace tvx::imagelib
