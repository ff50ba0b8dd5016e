// The binding of the image library for Plot and the image-window status
// variables: the library looked for under its names, the exports bound by name,
// Plot of vectors as diagrams and of matrices as images, !PixoryM, !ImgClick
// and !ImgLClick.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "imagelib/pixory.h"
#include "interp/api.h"
#include "ipc/extlib/extlib.h"
#include "ipc/extlib/plot_options.h"

namespace tvx::ipc {

using namespace interp;

namespace extlib {

namespace {

struct ClickSnapshot {
    bool valid = false;
    double x = 0, y = 0;
    int code = 0;
    double interval = 0;
};

struct ImageLibState : FamilyState {
    void* handle = nullptr;
    int variant = 0;  // 0 not loaded, 1 the "PixoryM" library, 2 "Pixory"
    std::string path;
    decltype(&pxDisplayDiagram) displayDiagram = nullptr;
    decltype(&pxDiagramWnd) diagramWnd = nullptr;
    decltype(&pxImageNew) imageNew = nullptr;

    // Plot state
    int window = -1;  // the current window, 0..31, -1 none
    int previousWindow = -1;
    int mode = 0;  // 0 nothing plotted, 1 added a curve, 2 replaced the curves
    bool titleGiven = false;

    // Clicks
    int seenCount = -1;
    double lastClickAt = -1;
    ClickSnapshot clicks[2];  // !ImgClick, !ImgLClick
};

ImageLibState& imageState(Interpreter& ip) { return ip.state<ImageLibState>(); }

template <typename F>
F bound(ImageLibState& st, const char* name) {
    return st.handle ? reinterpret_cast<F>(::dlsym(st.handle, name)) : nullptr;
}

// Opens name from the folders in order ("" = the system's search path).
void* openFrom(std::string_view name, const std::vector<std::string>& folders, int flags, std::string& path) {
    for (const std::string& folder : folders) {
        std::vector<std::string> forms = libraryCandidates(name, {});
        for (const std::string& form : forms) {
            std::string candidate = folder.empty() ? form : folder + (folder.back() == '/' ? "" : "/") + form;
            if (void* handle = ::dlopen(candidate.c_str(), flags)) {
                path = candidate;
                return handle;
            }
        }
    }
    return nullptr;
}

// Binds the image library; with load false only when it is already in the process.
bool bindImageLibrary(Interpreter& ip, bool load) {
    ImageLibState& st = imageState(ip);
    if (st.handle) return st.displayDiagram && st.diagramWnd;
    StatusValue macroPath;
    std::string macroFolder;
    if (ip.readStatus(statvar::MacroPath, 0, macroPath) == kOk && !macroPath.text.empty())
        macroFolder = ip.posixPath(macroPath.text);
    const std::string& program = ip.programDirectory();
    const std::string programLib = program.empty() ? std::string() : program + "../lib/";
    const std::string& startup = ip.workingDirectory();
    // The library stays in the process once loaded: its windows belong to the window layer.
    int flags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE | (load ? 0 : RTLD_NOLOAD);
    std::string path;
    void* handle = nullptr;
    int variant = 0;
    // "" stands for the system's search path.
    const std::vector<std::string> orders[2] = {{program, programLib, startup, "", macroFolder},
                                                {"", program, programLib, startup, macroFolder}};
    const char* names[2] = {"PixoryM.dll", "Pixory.dll"};
    for (int v = 0; v < 2 && !handle; ++v) {
        std::vector<std::string> list;
        for (size_t i = 0; i < orders[v].size(); ++i) {
            bool searchPath = (v == 0 && i == 3) || (v == 1 && i == 0);
            if (searchPath || !orders[v][i].empty()) list.push_back(orders[v][i]);
        }
        handle = openFrom(names[v], list, flags, path);
        if (handle) variant = v + 1;
    }
    if (!handle) return false;
    st.handle = handle;
    st.variant = variant;
    st.path = path;
    st.displayDiagram = bound<decltype(&pxDisplayDiagram)>(st, "pxDisplayDiagram");
    st.diagramWnd = bound<decltype(&pxDiagramWnd)>(st, "pxDiagramWnd");
    st.imageNew = bound<decltype(&pxImageNew)>(st, "pxImageNew");
    if (variant == 1)
        if (auto setIni = bound<decltype(&pxSetIniFile)>(st, "pxSetIniFile")) setIni("PixoryM.ini");
    return st.displayDiagram && st.diagramWnd;
}

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ---- Plot

// The data of a block as the diagram library takes it: the flag of its element
// type, or a copy as doubles for types it has none for.
struct PlotData {
    const void* data = nullptr;
    int count = 0;
    int typeFlag = 0;
    std::vector<double> converted;
};

void preparePlotData(const DataBlock* block, PlotData& out) {
    out.count = block->count;
    out.data = block->bytes();
    switch (block->elementType) {
    case kElemUInt8: out.typeFlag = 0x100; return;
    case kElemInt16: out.typeFlag = 0x300; return;
    case kElemUInt16: out.typeFlag = 0x200; return;
    case kElemInt32: out.typeFlag = 0x400; return;
    case kElemFloat: out.typeFlag = 0x500; return;
    case kElemDouble:
    case kElemRealMatrix:
    case kElemComplexScalar: out.typeFlag = 0; return;
    case kElemComplexMatrix:
        // The real parts.
        out.count = block->count / 2;
        out.converted.resize(static_cast<size_t>(out.count));
        for (int i = 0; i < out.count; ++i) out.converted[static_cast<size_t>(i)] = readElement(block, 2 * i);
        break;
    default:
        // Signed bytes, unsigned 32-bit and 64-bit integers: as doubles, so that
        // no value is read with the wrong sign or width.
        out.converted.resize(static_cast<size_t>(out.count));
        for (int i = 0; i < out.count; ++i) out.converted[static_cast<size_t>(i)] = readElement(block, i);
        break;
    }
    out.data = out.converted.data();
    out.typeFlag = 0;
}

Error plotImage(Interpreter& ip, ImageLibState& st, const DataBlock* block, int width, int height,
                const PlotOptions& o, int number, const std::string& title) {
    const int type = block->elementType;
    int bits = 16;
    if (o.rgb || o.bgr)
        bits = 24;
    else if (type == kElemUInt8 || type == kElemInt8 || o.eightBit)
        bits = 8;
    if (!st.imageNew) return kOk;
    void* pixels = st.imageNew(number, nullptr, width, height, bits, 0);
    if (!pixels) return kOk;
    if (bits == 16) {
        if (auto plane = bound<decltype(&pxGetImg16Data)>(st, "pxGetImg16Data")) pixels = plane(number);
        if (!pixels) return kOk;
    }
    const int64_t count = int64_t{width} * height;
    // The scale: (value - offset) * factor, from the data's range unless given.
    double low = 0, high = 0;
    for (int64_t i = 0; i < count; ++i) {
        double v = readElement(block, i);
        if (i == 0 || v < low) low = v;
        if (i == 0 || v > high) high = v;
    }
    const double top = bits == 8 ? 255.0 : 65535.0;
    double factor = o.scaleGiven ? o.scale : (high > low ? top / (high - low) : 1.0);
    double offset = o.scaleGiven ? (o.offsetFromMinimum ? low : o.offset) : low;
    const bool copy16 = bits == 16 && (type == kElemInt16 || type == kElemUInt16) && !o.scaleGiven;
    auto level = [&](double v) { return std::clamp((v - offset) * factor, 0.0, top); };
    if (bits == 16) {
        auto* plane = static_cast<uint16_t*>(pixels);  // top-down, no padding
        for (int64_t i = 0; i < count; ++i) {
            double v = readElement(block, i);
            plane[i] = copy16 ? static_cast<uint16_t>(static_cast<int64_t>(v) & 0xFFFF)
                              : static_cast<uint16_t>(std::lround(level(v)));
        }
    } else {
        // DIB rows: bottom-up, each padded to 4 bytes.
        const int stride = ((width * bits / 8) + 3) & ~3;
        auto* rows = static_cast<unsigned char*>(pixels);
        for (int y = 0; y < height; ++y) {
            unsigned char* row = rows + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride);
            for (int x = 0; x < width; ++x) {
                double v = readElement(block, int64_t{y} * width + x);
                if (bits == 8) {
                    row[x] = static_cast<unsigned char>(std::lround(level(v)));
                } else {
                    auto word = static_cast<uint32_t>(static_cast<int64_t>(v));
                    unsigned char r = (word >> 16) & 0xFF, g = (word >> 8) & 0xFF, b = word & 0xFF;
                    if (o.bgr) std::swap(r, b);
                    // The DIB keeps blue, green, red.
                    row[3 * x] = b;
                    row[3 * x + 1] = g;
                    row[3 * x + 2] = r;
                }
            }
        }
    }
    if (o.colourGiven)
        if (auto setPalette = bound<decltype(&pxSetPalette)>(st, "pxSetPalette")) {
            int palette = o.colour == 1 ? 3 : o.colour == 3 ? 1 : o.colour;
            setPalette(number, palette);
        }
    if (auto open = bound<decltype(&pxOpenImageWindow)>(st, "pxOpenImageWindow"))
        open(number, nullptr, title.c_str());
    if (o.zoomGiven)
        if (auto zoom = bound<decltype(&pxSetWindowZoom)>(st, "pxSetWindowZoom"))
            zoom(number, o.zoom, o.zoomChange, 0);
    if (o.fit)
        if (auto fit = bound<decltype(&pxFitWindowSize)>(st, "pxFitWindowSize")) {
            fit(number, 0, 0, 0);
            fit(number, 0, 0, 0);
        }
    if (auto update = bound<decltype(&pxImageUpdate)>(st, "pxImageUpdate")) update(number, 8);
    (void)ip;
    return kOk;
}

// Plot data [, data | number | options] ...
Error plot(Interpreter& ip, CallArgs& args, MCVal&) {
    ImageLibState& st = imageState(ip);
    PlotOptions o;
    const DataBlock* y = nullptr;
    const DataBlock* x = nullptr;
    double number = 0;
    bool numberGiven = false;
    if (args.form(0) == kFormBlock && args.value(0) && args.value(0)->pData) y = args.value(0)->pData;
    for (int i = 1; i < 4; ++i) {
        if (!args.present(i)) continue;
        switch (args.form(i)) {
        case kFormBlock:
            if (!x && args.value(i) && args.value(i)->pData) x = args.value(i)->pData;
            break;
        case kFormString: {
            Error err = parsePlotOptions(args.text(i), o);
            if (err) return err;
            break;
        }
        default:
            number = args.number(i);
            numberGiven = true;
            break;
        }
    }
    if (!bindImageLibrary(ip, true)) return kOk;  // no image library: nothing to show

    // The window: Select for this plot only, Window to remember.
    int window = st.window < 0 ? 0 : st.window;
    if (o.windowGiven) window = o.window;
    if (o.selectGiven) window = o.select;
    if (o.windowGiven && !o.selectGiven) {
        st.previousWindow = st.window;
        st.window = window;
    } else if (st.window < 0 && !o.selectGiven) {
        st.window = window;
    }
    if (o.titleGiven) st.titleGiven = true;
    std::string title = o.titleGiven ? o.title : window > 1 ? "Plot " + std::to_string(window + 1) : "Plot";
    if (!y) return kOk;  // a number alone draws nothing

    // An image: a matrix of at least 3 x 3, or a vector laid out in rows.
    int columns = y->xSize, rows = y->ySize;
    bool matrix = (y->elementType == kElemRealMatrix || y->ySize > 1) && rows >= 1;
    int rowLength = o.sxGiven ? o.sx : 0;
    if (!rowLength && numberGiven && number >= 4 && number <= y->count / 2.0)
        rowLength = static_cast<int>(number);
    if (!matrix && o.twoD && rowLength > 0) {
        columns = rowLength;
        rows = y->count / rowLength;
    }
    bool image = (matrix || (o.twoD && rowLength > 0)) && columns >= 3 && rows >= 3;
    if (image) {
        if (o.rgb || o.bgr || y->elementType != kElemComplexMatrix) {
            Error err = plotImage(ip, st, y, columns, rows, o, window, title);
            if (!err) st.mode = 2;
            return err;
        }
    }
    if (y->count < 3) return kOk;  // too short to draw
    if (x && x->count != y->count) return kMatrixSizes;

    PlotData yData, xData;
    preparePlotData(y, yData);
    int colour = o.colourGiven ? o.colour : 0;
    if (numberGiven && !(o.twoD && rowLength > 0))
        colour = number == 0 ? 0x1000000 : static_cast<int>(number);
    int flags = o.flags;
    st.diagramWnd(window, nullptr, title.c_str(), 0, 0, 0, 0, 0, 0);
    if (x) {
        preparePlotData(x, xData);
        int xFlags = (flags & ~0x1) | 0x6 | xData.typeFlag | (o.date ? 0x1000 : 0) | (o.time ? 0x2000 : 0);
        st.displayDiagram(xData.data, xData.count, xFlags, 0, 0, 0, 0);
        // The curve goes with the abscissa just given.
        st.displayDiagram(yData.data, yData.count, (flags | 0x40 | yData.typeFlag) & ~0x4, colour, 0, 0, 0);
    } else {
        st.displayDiagram(yData.data, yData.count, flags | yData.typeFlag, colour, 0, 0, 0);
    }
    st.mode = o.plus ? 1 : 2;
    return kOk;
}

// ---- Status variables

Error readPixoryM(Interpreter& ip, int, int, StatusValue& value) {
    value.isString = true;
    ImageLibState& st = imageState(ip);
    value.text = st.handle ? st.path : std::string();
    return kOk;
}

Error readClick(Interpreter& ip, int code, int index, StatusValue& value) {
    const bool leftOnly = code == statvar::ImgLClick;
    ImageLibState& st = imageState(ip);
    ClickSnapshot& snap = st.clicks[leftOnly ? 1 : 0];
    value.number = 0;
    if (!bindImageLibrary(ip, false)) return kOk;  // no image library in the process: no clicks
    auto query = bound<decltype(&pxGetClickInfo)>(st, "pxGetClickInfo");
    if (!query) return kOk;
    double x = 0, y = 0;
    int clickCode = 0, count = 0;
    query(&x, &y, &clickCode, &count);
    if (index == 0) {
        bool fresh = st.seenCount >= 0 && count != st.seenCount;
        if (st.seenCount < 0) fresh = count > 0;
        if (fresh) {
            double now = nowSeconds();
            double interval = st.lastClickAt < 0 ? 0 : now - st.lastClickAt;
            st.lastClickAt = now;
            st.seenCount = count;
            ClickSnapshot taken{true, x, y, clickCode, interval > 1000 ? 0 : interval};
            st.clicks[0] = taken;
            if (!(clickCode & 0xF000)) st.clicks[1] = taken;
            if (leftOnly && (clickCode & 0xF000)) fresh = false;  // another button
        }
        value.number = fresh ? 1 : 0;
        return kOk;
    }
    if (!snap.valid) snap = ClickSnapshot{true, x, y, clickCode, 0};
    switch (index) {
    case 1: value.number = snap.x; break;
    case 2: value.number = snap.y; break;
    case 3: value.number = snap.code & 0xFFF; break;
    case 4: {
        int button = 1;
        for (int bit = 12; bit <= 15; ++bit)
            if (snap.code & (1 << bit)) {
                button = bit - 10;
                break;
            }
        value.number = button;
        break;
    }
    case 5: value.number = snap.code & 0xFFF; break;
    case 6: value.number = snap.interval; break;
    default: break;
    }
    return kOk;
}

constexpr CommandRow kRows[] = {
    {cmd::Plot, plot},
};
constexpr StatusRow kStatusRows[] = {
    {statvar::PixoryM, readPixoryM},
    {statvar::ImgClick, readClick},
    {statvar::ImgLClick, readClick},
};

}  // namespace

}  // namespace extlib

void registerImageLibraryCommands(Interpreter& ip) {
    ip.install({"extlib/imagelib", extlib::kRows, extlib::kStatusRows});
}

}  // namespace tvx::ipc
