// webgame-shell on Linux.
#include <gtk/gtk.h>

#include <cstdio>

#include "browsing/program.h"
#include "platform/gtk/gtk_platform.h"

int main(int argc, char** argv) {
    // The window model needs X11's frames and positions; under Wayland GTK
    // runs on Xwayland.
    gdk_set_allowed_backends("x11");
    g_set_prgname("webgame-shell");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "webgame-shell: cannot open the X display\n");
        return 1;
    }
    wgs::GtkPlatform platform;
    return wgs::runProgram(platform);
}
