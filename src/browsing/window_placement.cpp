#include "browsing/window_placement.h"

#include <algorithm>
#include <cstdint>

#include "core/window_model.h"

namespace wgs {

namespace {

bool overlaps(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height, const Rect& r) {
    return left < static_cast<std::int64_t>(r.left) + r.width &&
           static_cast<std::int64_t>(r.left) < left + width &&
           top < static_cast<std::int64_t>(r.top) + r.height &&
           static_cast<std::int64_t>(r.top) < top + height;
}

}  // namespace

Place reachablePlace(const Place& saved, const Size& size, const std::vector<Rect>& monitors) {
    const Place place{std::clamp(saved.left, -kMaxCoordinate, kMaxCoordinate),
                      std::clamp(saved.top, -kMaxCoordinate, kMaxCoordinate)};
    if (monitors.empty()) return place;
    // A window too small to have a caption still needs one row to be seen.
    const int width = std::max(size.width, 1);
    const int captionBar = std::clamp(size.height, 1, kCaptionBarHeight);
    for (const Rect& monitor : monitors) {
        if (overlaps(place.left, place.top, width, captionBar, monitor)) return place;
    }
    const Rect& primary = monitors.front();
    return Place{primary.left + (primary.width - size.width) / 2,
                 std::max(primary.top, primary.top + (primary.height - size.height) / 2)};
}

}  // namespace wgs
