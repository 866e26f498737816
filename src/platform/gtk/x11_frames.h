// What the X11 window manager says about a top-level window's frame. Kept
// apart because Xlib's macros (None, Status, ...) clash with ordinary names.
#pragma once

#include <gdk/gdk.h>

namespace wgs::gtkbackend {

// Whether a window manager runs that announces this EWMH hint.
bool wmSupports(const char* hint);
// _NET_FRAME_EXTENTS of a realized top-level window: left, right, top, bottom.
bool readFrameExtents(GdkWindow* window, int out[4]);
// Asks the window manager, before the first map, which frame it will give the
// window (_NET_REQUEST_FRAME_EXTENTS) and waits briefly for the answer.
bool requestFrameExtents(GdkWindow* window, int out[4]);

}  // namespace wgs::gtkbackend
