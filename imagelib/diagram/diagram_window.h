// The window of a diagram: paints the diagram, zooms with a rubber band, the
// wheel and the keys, shows a crosshair with the values under the mouse, and
// offers copying and saving in its system menu. Its placement is kept in the
// settings file ("Windows", "Diagram<n>").
//
// One window per diagram at most; the object goes away with its window, whoever
// closes it. The diagram's data stay when the window is closed.
#pragma once

#include "imagelib/diagram/layout.h"
#include "imagelib/diagram/raster.h"
#include "platform/window/window.h"

#include <memory>
#include <string>

namespace tvx::imagelib {

struct Diagram;

class DiagramWindow {
public:
    static constexpr const char* kClassName = "PixoryDiagramWindow";

    // Commands of the system menu.
    enum : unsigned {
        kCmdCopyText = 1,  // "Daten als Text kopieren"
        kCmdSavePng = 2,
        kCmdSaveSvg = 3,
        kCmdSaveCsv = 4,
        kCmdShowAll = 5,
    };

    // The window of diagram n (0..31), null when it has none.
    static DiagramWindow* of(int number);
    // The diagram number of a window, -1 for none.
    static int numberOf(platform::Hwnd hwnd);
    // Opens the diagram's window with the settings pxDiagramWnd stored, or re-titles
    // the window it has. Null when no window could be made.
    static DiagramWindow* open(int number);
    static void close(int number);
    static void closeAll();

    platform::Hwnd hwnd() const
    {
        return hwnd_;
    }
    int number() const
    {
        return number_;
    }
    Diagram& diagram() const;

    // The data or the view changed: the picture is made anew and repainted.
    void refresh();
    // Runs a command of the system menu; false for an unknown one.
    bool command(unsigned id);
    // The layout of what the window shows now (for hit tests).
    const DiagramLayout& layout();
    // The status line's text.
    const std::string& statusText() const
    {
        return status_;
    }

    static platform::LResult proc(platform::Hwnd hwnd, unsigned message, platform::WParam wParam,
                                  platform::LParam lParam);

private:
    template <class, int>
    friend class WindowTable;
    explicit DiagramWindow(int number) : number_(number) {}

    platform::LResult dispatch(unsigned message, platform::WParam wParam, platform::LParam lParam,
                               bool& done);
    void ensurePicture();
    void paint();
    void onMouse(unsigned message, platform::WParam wParam, platform::LParam lParam);
    void onWheel(platform::WParam wParam, platform::LParam lParam);
    bool onKey(int key);
    void hover(PointF at);
    void setHint();
    void saveAs(unsigned command);
    void restorePlacement();
    void savePlacement();
    void extendSystemMenu();

    int number_;
    platform::Hwnd hwnd_ = 0;
    bool opening_ = false;
    std::string lastRecord_;  // the placement text last written

    // What was drawn, kept until the data, the view or the size change.
    bool pictureValid_ = false;
    uint64_t pictureGeneration_ = 0;
    std::unique_ptr<PlotSeries> series_;
    DiagramLayout layout_;
    Canvas picture_;
    Canvas frame_;  // the picture with the overlay, as last shown

    // Interaction.
    bool dragging_ = false;
    bool zoomedAtPress_ = false;
    int dragPanel_ = -1;
    PointF dragStart_;
    PointF dragNow_;
    bool bandShown_ = false;
    bool hovering_ = false;
    PointF cursor_;
    int cursorPanel_ = -1;
    NearestPoint nearest_;
    std::string status_;
};

// Closes every diagram window and frees every diagram's data (pxCloseAll).
void closeAllDiagrams();

}  // namespace tvx::imagelib
