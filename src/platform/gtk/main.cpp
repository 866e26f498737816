// webgame-shell on Linux.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "browsing/program.h"
#include "platform/gtk/gtk_platform.h"

int main(int argc, char** argv) {
    // The window model needs X11's frames and positions; under Wayland GTK
    // runs on Xwayland.
    gdk_set_allowed_backends("x11");
    g_set_prgname("webgame-shell");
    // Without a GPU the engine draws without compositing (see initializeEngine).
    // Saying so in its environment as well, while no thread runs yet, also
    // spares every start the software-GL set-up that the engine's
    // hardware-acceleration setting alone still does (about 50 ms here), in
    // this process and in the page processes that inherit it. A value the
    // user set is kept.
    if (!wgs::gpuCompositingPays()) setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "webgame-shell: cannot open the X display\n");
        return 1;
    }
    wgs::GtkPlatform platform;
    return wgs::runProgram(platform);
}
