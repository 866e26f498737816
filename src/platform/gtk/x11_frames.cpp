#include "platform/gtk/x11_frames.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cstring>

namespace wgs::gtkbackend {

bool wmSupports(const char* hint) {
    GdkScreen* screen = gdk_screen_get_default();
    if (screen == nullptr || !GDK_IS_X11_SCREEN(screen)) return false;
    return gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string(hint));
}

bool readFrameExtents(GdkWindow* window, int out[4]) {
    if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return false;
    GdkDisplay* display = gdk_window_get_display(window);
    Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
    const Atom atom = gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS");
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    gdk_x11_display_error_trap_push(display);
    const int rc = XGetWindowProperty(xdisplay, GDK_WINDOW_XID(window), atom, 0, 4, False, XA_CARDINAL, &type,
                                      &format, &count, &after, &data);
    gdk_x11_display_error_trap_pop_ignored(display);
    bool ok = false;
    if (rc == Success && type == XA_CARDINAL && format == 32 && count == 4 && data != nullptr) {
        // Format-32 properties come back as longs.
        const long* values = reinterpret_cast<const long*>(data);
        for (int i = 0; i < 4; ++i) out[i] = static_cast<int>(values[i]);
        ok = true;
    }
    if (data != nullptr) XFree(data);
    return ok;
}

bool requestFrameExtents(GdkWindow* window, int out[4]) {
    if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return false;
    if (readFrameExtents(window, out)) return true;
    if (!wmSupports("_NET_REQUEST_FRAME_EXTENTS")) return false;
    GdkDisplay* display = gdk_window_get_display(window);
    Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = GDK_WINDOW_XID(window);
    event.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
    event.xclient.format = 32;
    XSendEvent(xdisplay, DefaultRootWindow(xdisplay), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(xdisplay);
    // The answer is a property change; each read is a round trip to the server.
    for (int i = 0; i < 100; ++i) {
        if (readFrameExtents(window, out)) return true;
        g_usleep(2000);
    }
    return false;
}

}  // namespace wgs::gtkbackend
