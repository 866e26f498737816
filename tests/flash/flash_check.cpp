// A bare window at the screen's top left corner holding one web view with the
// Flash emulation module, for the Flash tests. It loads the
// address given (through the local-game mapping, as the program does) and
// prints what happens, one line each, with milliseconds:
//   load-finished <ms since start> <engine address> <reported address>
//   flash <event> <ms since the last load finished> <frame address>
//   language <navigator.language of the page>
// It ends by itself after --exit-after-ms (default 120000). Options:
//   --first-frame-timeout-ms N   the watchdog's time
//   --size W H                   the window's size (900 x 700)
//   --no-flash                   without the emulation, for comparisons
//   --no-accelerated-compositing as the program runs under software GL
//   --console                    the pages' console messages on stdout
//   --then ADDRESS               load this once the first load has finished
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gtk/flash/flash_emulation.h"

namespace {

gint64 g_started = 0;
gint64 g_loadFinished = 0;
// --then: the address loaded once the first load has finished; "@ENGINE@" in
// it stands for the first page's engine address, escaped for a query.
std::string g_then;

long long millisSince(gint64 start) {
    return (g_get_monotonic_time() - start) / 1000;
}

void onLanguage(GObject* object, GAsyncResult* result, gpointer) {
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, nullptr);
    if (value == nullptr) return;
    char* text = jsc_value_to_string(value);
    std::printf("language %s\n", text != nullptr ? text : "");
    std::fflush(stdout);
    g_free(text);
    g_object_unref(value);
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    g_loadFinished = g_get_monotonic_time();
    const char* uri = webkit_web_view_get_uri(view);
    std::string engine = uri != nullptr ? uri : "";
    std::printf("load-finished %lld %s %s\n", millisSince(g_started), engine.c_str(),
                wgs::flash::addressToReport(engine).c_str());
    std::fflush(stdout);
    webkit_web_view_evaluate_javascript(view, "navigator.language", -1, nullptr, nullptr, nullptr, onLanguage,
                                        nullptr);
    if (!g_then.empty()) {
        std::string next = g_then;
        g_then.clear();
        size_t at = next.find("@ENGINE@");
        if (at != std::string::npos) {
            char* escaped = g_uri_escape_string(engine.c_str(), nullptr, FALSE);
            next.replace(at, std::strlen("@ENGINE@"), escaped);
            g_free(escaped);
        }
        webkit_web_view_load_uri(view, wgs::flash::addressToLoad(next).c_str());
    }
}

gboolean quit(gpointer) {
    std::printf("exit-after-timeout\n");
    std::fflush(stdout);
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    std::string address;
    wgs::flash::FlashOptions options;
    int width = 900, height = 700, exitAfterMs = 120000;
    bool console = false, accelerated = true, flash = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--first-frame-timeout-ms" && i + 1 < argc) {
            options.firstFrameTimeoutMs = std::atoi(argv[++i]);
        } else if (arg == "--size" && i + 2 < argc) {
            width = std::atoi(argv[++i]);
            height = std::atoi(argv[++i]);
        } else if (arg == "--then" && i + 1 < argc) {
            g_then = argv[++i];
        } else if (arg == "--no-flash") {
            flash = false;
        } else if (arg == "--no-accelerated-compositing") {
            accelerated = false;
        } else if (arg == "--console") {
            console = true;
        } else if (arg == "--exit-after-ms" && i + 1 < argc) {
            exitAfterMs = std::atoi(argv[++i]);
        } else {
            address = arg;
        }
    }
    g_started = g_get_monotonic_time();

    WebKitWebContext* context = webkit_web_context_get_default();
    bool enabled = flash && wgs::flash::enableFlashOnContext(context, options);
    std::printf("emulation %s %s\n", enabled ? "on" : "off", wgs::flash::findAssetDirectory().c_str());
    std::fflush(stdout);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    GtkWidget* view = GTK_WIDGET(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content, nullptr));
    g_object_unref(content);
    if (!accelerated) {
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    }
    if (console) {
        webkit_settings_set_enable_write_console_messages_to_stdout(
            webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)), TRUE);
    }
    wgs::flash::enableFlashOnView(WEBKIT_WEB_VIEW(view));
    wgs::flash::observeFlash(WEBKIT_WEB_VIEW(view), [](const std::string& event, const std::string& frame) {
        std::printf("flash %s %lld %s\n", event.c_str(),
                    g_loadFinished != 0 ? millisSince(g_loadFinished) : -1LL, frame.c_str());
        std::fflush(stdout);
    });
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show_all(window);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), wgs::flash::addressToLoad(address).c_str());
    g_timeout_add(exitAfterMs, quit, nullptr);
    gtk_main();
    return 0;
}
