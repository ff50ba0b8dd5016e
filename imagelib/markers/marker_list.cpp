// Marker records and the point store of polygons.
#include "imagelib/markers/marker_list.h"

#include <algorithm>

namespace tvx::imagelib {

namespace {

constexpr size_t kPolygonHeader = 8;  // the point count and four spare bytes
constexpr size_t kLargeStore = size_t{1} << 16;
constexpr size_t kMostStoreGrowth = size_t{1} << 20;

}  // namespace

void MarkerList::grow()
{
    // Full: grow to half the capacity more than the count, and a thousand records.
    records_.resize(records_.size() / 2 + static_cast<size_t>(count_) + 1024);
}

int MarkerList::add(const MarkerRecord& record)
{
    for (int i = 0; i < count_; ++i)
        if (records_[static_cast<size_t>(i)].isFree()) {
            records_[static_cast<size_t>(i)] = record;
            return i;
        }
    if (static_cast<size_t>(count_) == records_.size())
        grow();
    records_[static_cast<size_t>(count_)] = record;
    return count_++;
}

void MarkerList::reserveStore(size_t needed)
{
    const size_t size = store_.size();
    if (store_.capacity() >= size + needed)
        return;
    // Small steps for the usual handful of points, an eighth more for large stores,
    // never more than a mebibyte beyond what is asked.
    size_t step = 1024;
    if (size >= kLargeStore)
        step += size / 8;
    step = std::max(needed, std::min(step, kMostStoreGrowth));
    store_.reserve(size + step);
}

int MarkerList::addPolygon(const std::vector<float>& points)
{
    const size_t pointCount = points.size() / 2;
    const size_t bytes = kPolygonHeader + points.size() * sizeof(float);
    reserveStore(bytes);
    const size_t offset = store_.size();
    store_.resize(offset + bytes);
    const auto n = static_cast<uint32_t>(pointCount);
    std::memcpy(store_.data() + offset, &n, sizeof n);
    std::memcpy(store_.data() + offset + kPolygonHeader, points.data(), points.size() * sizeof(float));
    MarkerRecord r;
    r.words[0] = kMarkerPolygon;
    r.words[1] = defaults.colour;
    r.words[2] = static_cast<uint32_t>(offset);
    r.words[3] = static_cast<uint32_t>(defaults.extra);
    return add(r);
}

MarkerList::Points MarkerList::polygonPoints(const MarkerRecord& record) const
{
    const size_t offset = record.style();
    if (!record.isPolygon() || offset + kPolygonHeader > store_.size())
        return {};
    uint32_t n;
    std::memcpy(&n, store_.data() + offset, sizeof n);
    if ((store_.size() - offset - kPolygonHeader) / (2 * sizeof(float)) < n)
        return {};
    return {reinterpret_cast<const float*>(store_.data() + offset + kPolygonHeader), static_cast<int>(n)};
}

bool MarkerList::remove(int first, int last)
{
    if (first < 0 || first >= count_)
        return false;
    if (last < 0)
        last = count_ - 1;
    else if (last == 0)
        last = first;
    last = std::min(last, count_ - 1);
    if (last < first)
        return false;
    for (int i = first; i <= last; ++i)
        records_[static_cast<size_t>(i)] = MarkerRecord{};
    while (count_ > 0 && records_[static_cast<size_t>(count_ - 1)].isFree())
        --count_;
    if (dragIndex_ >= first && dragIndex_ <= last)
        dragIndex_ = -1;
    return true;
}

void MarkerList::clear(int mode)
{
    bool anyPermanent = false;
    for (int i = 0; i < count_ && mode == 0; ++i)
        anyPermanent = anyPermanent || (records_[static_cast<size_t>(i)].kind() & kMarkerPermanent);
    if (!anyPermanent) {
        std::fill(records_.begin(), records_.begin() + count_, MarkerRecord{});
        count_ = 0;
        store_.clear();
        dragIndex_ = -1;
        return;
    }
    for (int i = 0; i < count_; ++i) {
        MarkerRecord& r = records_[static_cast<size_t>(i)];
        if (!(r.kind() & kMarkerPermanent)) {
            r = MarkerRecord{};
            if (dragIndex_ == i)
                dragIndex_ = -1;
        }
    }
    while (count_ > 0 && records_[static_cast<size_t>(count_ - 1)].isFree())
        --count_;
}

int MarkerList::takeChangeFlags(int mask)
{
    const int flags = changeFlags_;
    changeFlags_ &= mask;
    return flags;
}

}  // namespace tvx::imagelib
