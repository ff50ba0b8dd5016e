// A diagram's data as text: the clipboard's tab-separated form and CSV files.
#pragma once

#include "imagelib/diagram/diagram.h"

#include <string>

namespace tvx::imagelib {

// What "Daten als Text kopieren" puts on the clipboard: one line per point i,
// "%g\t" with the abscissa (of the first abscissa array, or i without one), then
// each curve's value with "%g", tab-separated, and "\r\n". A curve that has no
// point i leaves its field empty.
std::string clipboardDataText(const DiagramData& data);

// The data as CSV (RFC 4180 fields, "\n" line ends): a header row, then one row
// per point. One x column when the curves share their abscissae, else an x column
// before each curve. Numbers are written with the fewest digits that read back
// exactly; a date axis writes its x values as "YYYY-MM-DD hh:mm:ss"; missing
// points and NaN are empty fields.
std::string csvDataText(const DiagramData& data);

}  // namespace tvx::imagelib
