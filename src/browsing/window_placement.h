// Where the main window opens, so that it can always be reached.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace wgs {

// The rows at the top of a window's outer frame that count as its caption
// bar: the frame's top edge and the caption itself on every platform we run on.
constexpr int kCaptionBarHeight = 30;

struct Place {
    int left = 0;
    int top = 0;
    bool operator==(const Place& o) const { return left == o.left && top == o.top; }
};

// The place of a window of `size` saved at `saved`: kept exactly as saved while
// any part of its caption bar lies on a monitor, however little (a window
// dragged partly off the left edge comes back there). When the whole caption
// bar would lie outside every monitor (a monitor was unplugged, or the place
// was edited by hand) the window is centred on the primary monitor, the first
// of `monitors`, and never placed above its top, so that a window taller than
// the screen still shows its caption. Without any monitor the saved place is
// kept. Places are clamped to the range the window model applies.
Place reachablePlace(const Place& saved, const Size& size, const std::vector<Rect>& monitors);

}  // namespace wgs
