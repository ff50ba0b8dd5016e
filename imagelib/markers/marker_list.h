// The marker list of an image window: the records, the point store of polygons, the
// defaults and pens, and what the mouse did to the markers (picking and dragging, with
// the change report the caller reads back).
#pragma once

#include "imagelib/markers/marker_record.h"
#include "platform/window/window.h"

#include <cstdint>
#include <vector>

namespace tvx::imagelib {

// Where markers are seen: screen = image point x zoom - scroll.
struct MarkerView {
    double zoom = 1.0;
    int64_t scrollX = 0;
    int64_t scrollY = 0;
};

// Change flags reported by pxMarkerChangeInfo.
enum : int {
    kMarkerPicked = 1,
    kMarkerMoved = 2,
    kMarkerDragEnded = 4,
};

using MarkerCallback = void (*)(int event, int index, int reserved);

class MarkerList {
public:
    // ---- Defaults and pens (pxSetMarkerParam)
    struct Defaults {
        uint32_t kind = kMarkerCross;
        uint32_t colour = 0x0000FF;  // red
        uint32_t style = 0;
        int32_t extra = 0;
    };
    // Style bit of the defaults: markers that follow the mouse do so without a button.
    static constexpr uint32_t kFollowWithoutButton = 0x20;

    Defaults defaults;
    uint32_t secondPenColour = 0;
    int secondPenWidth = 1;
    uint32_t thirdPair[2] = {};  // kept for callers, drawn by nothing
    uint32_t textColour = 0;
    bool hasTextColour = false;
    MarkerCallback callback = nullptr;
    void* polygonData = nullptr;

    // ---- Records

    // One past the last used record.
    int count() const
    {
        return count_;
    }
    const MarkerRecord* at(int index) const
    {
        return index >= 0 && index < count_ ? &records_[index] : nullptr;
    }
    MarkerRecord* at(int index)
    {
        return index >= 0 && index < count_ ? &records_[index] : nullptr;
    }

    // Stores the record in the first free place (or after the last); its index.
    // Throws std::bad_alloc when the list cannot grow.
    int add(const MarkerRecord& record);
    // A polygon of the points (x, y pairs) in the point store, colour and extra of the
    // defaults; its index.
    int addPolygon(const std::vector<float>& points);
    // Frees records first..last; trailing free records leave the count. False for a
    // range outside the list (last below first).
    bool remove(int first, int last);
    // Mode 0 keeps the permanent markers (and, when there are any, the point store);
    // other modes free everything.
    void clear(int mode);

    // The points of a polygon record (pairs of x, y), empty when the store lacks them.
    struct Points {
        const float* xy = nullptr;
        int count = 0;
    };
    Points polygonPoints(const MarkerRecord& record) const;

    // After adding or setting record index: a marker that follows the mouse becomes the
    // changed marker and takes the press and drag points while the left button is down.
    void afterChange(int index);

    // ---- The mouse (client points of the window showing the list)

    // A left press: picks the nearest selectable marker within its pick radius. True when
    // a marker was picked.
    bool press(platform::Point client, const MarkerView& view, uint32_t nowMs);
    // A move: a picked marker follows after 250 ms of holding the button (at once when
    // it follows the mouse). True when a marker moved (the window repaints).
    bool move(platform::Point client, const MarkerView& view, bool leftDown, uint32_t nowMs);
    // The left button went up: the drag ends.
    void release();
    // A marker is being dragged with the left button: it takes right presses too.
    bool dragging() const
    {
        return leftDown_ && dragIndex_ >= 0;
    }

    // ---- The change report

    int changedIndex() const
    {
        return changedIndex_;
    }
    int changeCode() const
    {
        return changeCode_;
    }
    int changedPoint() const
    {
        return changedPoint_;
    }
    // Returns the change flags and keeps only those also in mask.
    int takeChangeFlags(int mask);

    // The union of the rectangles markers were last drawn in (client coordinates).
    platform::Rect drawnArea;

private:
    void grow();
    void reserveStore(size_t needed);
    void pick(int index, int point);
    // Moves the picked point of record index to the image point (x, y).
    void movePoint(MarkerRecord& r, int point, int32_t x, int32_t y);

    std::vector<MarkerRecord> records_;
    int count_ = 0;
    std::vector<uint8_t> store_;  // polygons: count, 4 spare bytes, then float pairs

    int changedIndex_ = -1;
    int changeCode_ = 0;
    int changedPoint_ = 0;
    int changeFlags_ = 0;

    bool leftDown_ = false;
    int32_t pressX_ = 0, pressY_ = 0;  // image points
    int32_t dragX_ = 0, dragY_ = 0;
    uint32_t pressTime_ = 0;
    int dragIndex_ = -1;  // the picked (or following) marker
    int dragPoint_ = 0;   // 1, 2, 4 or kOutline
    bool following_ = false;
};

}  // namespace tvx::imagelib
