// The diagram table: 32 diagrams, each with up to 16 curves and 16 abscissa arrays
// (doubles owned by the library), an option word, one integer parameter, the
// settings its window is opened with, and the part of the data the window shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvx::imagelib {

constexpr int kDiagramCount = 32;
constexpr size_t kMaxDiagramArrays = 16;

// Flags of pxDisplayDiagram.
enum : uint32_t {
    kDiagramShowLater = 0x0001,  // add only; bits 0-1 both mean "do not show yet"
    kDiagramAbscissa = 0x0002,
    kDiagramStartNew = 0x0004,
    kDiagramOnePlot = 0x0010,
    kDiagramKeepArrays = 0x0020,
    kDiagramNoRestart = 0x0040,
    kDiagramElementMask = 0x0700,
    kDiagramAxisMask = 0x3000,
    kDiagramOptionMask = 0xFFFF0000,
};

// Bits of a diagram's option word. The axis bits come from abscissa arrays; the
// upper half is whatever the callers OR-ed in, of which these have a meaning.
enum : uint32_t {
    kOptionPackedDates = 0x1000,      // abscissae are packed dates: a date and time axis
    kOptionUnixSeconds = 0x2000,      // abscissae were seconds since 1970, now packed
    kOptionFixedLabels = 0x00010000,  // axis numbers as "%.3f" instead of "%g"
    kOptionPointMarks = 0x00020000,   // a dot on every data point
    kOptionIncludeZero = 0x00040000,  // value axes reach down (or up) to 0
    kOptionNoGrid = 0x00080000,
};

struct Curve {
    std::vector<double> values;
    uint32_t colour = 0;  // as passed; see curveColour
};

struct DiagramData {
    std::vector<Curve> curves;
    std::vector<std::vector<double>> abscissae;
    uint32_t options = 0;
    int parameter = 0;        // pxSetDiagramParameter: the line width in pixels (0: default)
    bool onePlot = false;     // the last show drew all curves in one plot
    bool startAnew = false;   // the next array replaces the stored ones
    uint64_t generation = 0;  // counts the changes, so that windows know when to draw anew

    bool dateAxis() const
    {
        return options & (kOptionPackedDates | kOptionUnixSeconds);
    }
    // Curve k is drawn over abscissa array k, or the last one when there are fewer;
    // null when there is none (the curve is drawn over its indexes).
    const std::vector<double>* abscissaFor(size_t curve) const;
    // The number of points of the longest curve.
    size_t pointCount() const;
    // Forgets the arrays and the option word.
    void clear();
};

// What a window of the diagram shows: the whole data, or a zoomed part.
struct Range {
    double lo = 0;
    double hi = 0;
    bool valid() const
    {
        return hi > lo;
    }
    double width() const
    {
        return hi - lo;
    }
};
struct DiagramView {
    Range x;               // valid while the x range is zoomed
    std::vector<Range> y;  // per panel; invalid: follows the data
    int activePanel = 0;   // the panel the last zoom or key acted on
    bool zoomed() const;
    void reset()
    {
        *this = DiagramView{};
    }
};

// The settings pxDiagramWnd keeps for the window.
struct DiagramWindowSettings {
    uint32_t parent = 0;  // window handle of the owner
    std::string title;
    int mode = 0;   // the last mode above 1: bit 2 use the size, bit 3 the position
    int style = 0;  // 1: do not restore the placement
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

struct Diagram {
    DiagramData data;
    DiagramWindowSettings settings;
    DiagramView view;
};

// Diagram n (0..31).
Diagram& diagramAt(int number);
// A number above 31 (or negative) means the current diagram.
int resolveDiagramNumber(int number);
int currentDiagram();
void setCurrentDiagram(int number);

// Element types of the data handed to pxDisplayDiagram (flags bits 8-10).
enum class ElementType { UInt8, UInt16, Int16, Int32, Float32, Float64 };
ElementType elementTypeOf(uint32_t flags);
size_t elementSize(ElementType type);

// Reads count elements lying size + gap bytes apart, as doubles: offset + scale x
// value (scale 0 counts as 1). False, with out untouched, when the bytes cannot
// all be read, gap is negative, or memory is short.
bool readElements(const void* data, int count, ElementType type, int gap, double scale, double offset,
                  std::vector<double>& out);

// Adds one array the way pxDisplayDiagram does (before any showing): starts anew
// when asked, refuses a 17th array of its sort. Returns the library's copy, or
// null when nothing was stored (data null or count 0 store nothing, but still
// start anew and set options).
const double* addDiagramArray(DiagramData& data, const void* values, int count, uint32_t flags,
                              uint32_t colour, int gap, double scale, double offset, bool* refused);

// The colour (0xRRGGBB) curve k is drawn in: colour 0 picks from the standard
// table by the curve's place; 1..255 is an entry of that table (0 black, taken
// modulo 16); with bit 24 set, or 256 and above, the low 24 bits are 0xRRGGBB.
uint32_t curveColour(uint32_t colour, size_t curve);

}  // namespace tvx::imagelib
