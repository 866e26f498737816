#include "platform/gtk/gtk_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/gtk/client_area.h"
#include "platform/gtk/flash/flash_emulation.h"
#include "platform/gtk/gbk.h"
#include "platform/gtk/x11_frames.h"
#include "platform/posix/files.h"

namespace wgs {

using gtkbackend::gbkToUtf8;
using gtkbackend::utf8ToGbk;

struct GtkPlatform::Window {
    Handle handle = 0;
    GtkWidget* widget = nullptr;  // the GtkWindow
    GtkWidget* box = nullptr;     // menu bar above the client area
    GtkWidget* menuBar = nullptr;
    GtkWidget* client = nullptr;
    GtkCssProvider* background = nullptr;
    TopLevelStyle style;
    bool enabled = true;
    bool dying = false;
    bool mapped = false;
    ShowState state = ShowState::Normal;
    // The outer frame as the program has been told it.
    Rect rect;
    // The outer frame the program (or, after a drag, the user) chose last; kept
    // while the frame's thickness becomes known or changes.
    Rect target;
    // The outer frame as X last reported it.
    Rect actual;
    bool haveActual = false;
    // Frame thickness: left, right, top, bottom.
    int frame[4] = {0, 0, 0, 0};
    // A move or resize is on its way through X and the window manager.
    bool awaiting = false;
    guint settleTimer = 0;
};

struct GtkPlatform::Control {
    enum class Kind { Edit, Label, Button, Browser };
    Handle handle = 0;
    Handle window = 0;
    Kind kind = Kind::Label;
    GtkWidget* widget = nullptr;
    Rect rect;
    std::string text;  // GBK caption of a label or button
    bool suppressChanged = false;
    BrowserSettings browser;
    // An offline pane's load that waits until its filter is in place.
    std::string pendingAddress;
    bool hasPendingAddress = false;
    bool waitingForFilter = false;
};

struct GtkPlatform::Timer {
    Handle handle = 0;
    Handle window = 0;
    guint source = 0;
};

namespace {

GtkPlatform* g_platform = nullptr;

constexpr const char* kWindowKey = "wgs-window";
constexpr const char* kCommandKey = "wgs-command";
constexpr guint kSettleMs = 500;
constexpr const char* kKernel32 = "kernel32.dll";

gpointer toData(Handle h) {
    return reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(h));
}
Handle fromData(gpointer p) {
    return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(p));
}

// Compact metrics so that controls fit the pixel rectangles the windows were
// designed with (a 23-pixel button, a 24-pixel edit box).
constexpr const char* kBaseCss =
    ".wgs-client entry { min-height: 0; padding: 0 3px; }\n"
    ".wgs-client button { min-height: 0; min-width: 0; padding: 0 4px; }\n"
    ".wgs-client entry, .wgs-client button, .wgs-client label { font-size: 9pt; }\n";
// The flat, square look of controls without the visual style.
constexpr const char* kClassicCss =
    ".wgs-client button { border-radius: 0; background-image: none; box-shadow: none;"
    " background-color: #d4d0c8; color: #000000; border: 2px outset #ffffff; }\n"
    ".wgs-client entry { border-radius: 0; box-shadow: none; background-color: #ffffff;"
    " color: #000000; border: 2px inset #808080; }\n";

GtkCssProvider* cssProvider(const char* css) {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css, -1, nullptr);
    return provider;
}

bool parseKeyName(const std::string& name, guint& keyval, GdkModifierType& mods) {
    keyval = 0;
    mods = static_cast<GdkModifierType>(0);
    gchar** parts = g_strsplit(name.c_str(), "+", -1);
    const guint n = g_strv_length(parts);
    bool ok = n > 0;
    for (guint i = 0; ok && i < n; ++i) {
        const char* part = parts[i];
        if (i + 1 < n) {
            if (g_ascii_strcasecmp(part, "Ctrl") == 0 || g_ascii_strcasecmp(part, "Control") == 0) {
                mods = static_cast<GdkModifierType>(mods | GDK_CONTROL_MASK);
            } else if (g_ascii_strcasecmp(part, "Shift") == 0) {
                mods = static_cast<GdkModifierType>(mods | GDK_SHIFT_MASK);
            } else if (g_ascii_strcasecmp(part, "Alt") == 0) {
                mods = static_cast<GdkModifierType>(mods | GDK_MOD1_MASK);
            } else {
                ok = false;
            }
        } else if (g_ascii_strcasecmp(part, "Ins") == 0 || g_ascii_strcasecmp(part, "Insert") == 0) {
            keyval = GDK_KEY_Insert;
        } else if (g_ascii_strcasecmp(part, "Del") == 0 || g_ascii_strcasecmp(part, "Delete") == 0) {
            keyval = GDK_KEY_Delete;
        } else if (std::strlen(part) == 1) {
            keyval = gdk_unicode_to_keyval(static_cast<guint32>(g_ascii_toupper(part[0])));
        } else {
            keyval = gdk_keyval_from_name(part);
            if (keyval == GDK_KEY_VoidSymbol) keyval = 0;
        }
    }
    g_strfreev(parts);
    return ok && keyval != 0;
}

bool translateKey(const GdkEventKey* event, KeyStroke& key) {
    key.shift = (event->state & GDK_SHIFT_MASK) != 0;
    key.ctrl = (event->state & GDK_CONTROL_MASK) != 0;
    key.alt = (event->state & GDK_MOD1_MASK) != 0;
    switch (event->keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab:
            key.key = Key::Tab;
            return true;
        case GDK_KEY_ISO_Left_Tab:
            key.key = Key::Tab;
            key.shift = true;
            return true;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            key.key = Key::Enter;
            return true;
        case GDK_KEY_Escape:
            key.key = Key::Escape;
            return true;
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
            key.key = Key::Space;
            return true;
        case GDK_KEY_BackSpace:
            key.key = Key::Backspace;
            return true;
        case GDK_KEY_Insert:
        case GDK_KEY_KP_Insert:
            key.key = Key::Insert;
            return true;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            key.key = Key::Delete;
            return true;
        default:
            break;
    }
    if (event->keyval >= GDK_KEY_F1 && event->keyval <= GDK_KEY_F12) {
        key.key = static_cast<Key>(static_cast<int>(Key::F1) + static_cast<int>(event->keyval - GDK_KEY_F1));
        return true;
    }
    const guint32 ch = gdk_keyval_to_unicode(event->keyval);
    if (ch >= 0x20 && ch != 0x7F) {
        key.key = Key::Char;
        key.ch = ch;
        return true;
    }
    return false;
}

// What a page may see of the text size levels 0..4 (2 is the page's own size).
double textZoom(int level) {
    static const double kLevels[5] = {0.75, 0.875, 1.0, 1.25, 1.5};
    return level >= 0 && level <= 4 ? kLevels[level] : 1.0;
}

// The working-set trim of this platform: give freed heap back to the system.
// It has the shape of the Windows function the program binds by name.
int trimHeap(void* process, std::size_t minimum, std::size_t maximum) {
    (void)process;
    if (minimum == SIZE_MAX && maximum == SIZE_MAX) malloc_trim(0);
    return 1;
}
using TrimFunction = int (*)(void*, std::size_t, std::size_t);

// A filter that keeps an offline pane off the network: every request for a
// network scheme is blocked before it leaves the engine.
constexpr const char* kOfflineRules =
    "[{\"trigger\":{\"url-filter\":\"^https?:\"},\"action\":{\"type\":\"block\"}},"
    "{\"trigger\":{\"url-filter\":\"^wss?:\"},\"action\":{\"type\":\"block\"}},"
    "{\"trigger\":{\"url-filter\":\"^ftp:\"},\"action\":{\"type\":\"block\"}}]";
constexpr const char* kOfflineFilterId = "webgame-shell-offline";
WebKitUserContentFilter* g_offlineFilter = nullptr;
bool g_offlineFilterFailed = false;
bool g_offlineFilterCompiling = false;

bool isResizable(const TopLevelStyle& style) {
    return style.border == Border::Resizable || style.border == Border::SmallResizable ||
           style.border == Border::SunkenResizable;
}

bool probeGpuCompositing() {
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software != nullptr && *software != '\0' && std::strcmp(software, "0") != 0) return false;
    DIR* dir = opendir("/dev/dri");
    if (dir == nullptr) return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "renderD", 7) != 0) continue;
        const std::string path = std::string("/dev/dri/") + entry->d_name;
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

bool gpuCompositingPays() {
    // Asked before GTK starts (for the engine's environment) and again when
    // the engine is set up: the render nodes are opened once.
    static const bool pays = probeGpuCompositing();
    return pays;
}

// GTK's callbacks, kept apart from the platform's interface.
struct GtkPlatformSignals {
    static GtkPlatform::Window* windowOf(gpointer data) { return g_platform->window(fromData(data)); }
    static GtkPlatform::Control* controlOf(gpointer data) { return g_platform->control(fromData(data)); }
    static bool live(GtkPlatform::Control* c) {
        if (c == nullptr) return false;
        GtkPlatform::Window* w = g_platform->window(c->window);
        return w != nullptr && !w->dying;
    }

    static void passEvent(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

    // ---- every GDK event passes here first ----
    static void filterEvent(GdkEvent* event, gpointer) {
        if (g_platform != nullptr && event->any.window != nullptr) {
            switch (event->type) {
                case GDK_MOTION_NOTIFY:
                case GDK_BUTTON_PRESS:
                case GDK_2BUTTON_PRESS:
                case GDK_3BUTTON_PRESS:
                case GDK_KEY_PRESS:
                case GDK_SCROLL:
                case GDK_TOUCH_BEGIN:
                case GDK_TOUCH_UPDATE:
                case GDK_DELETE: {
                    // A disabled window takes no input and cannot be closed; a
                    // click on it brings forward the window that holds it.
                    GdkWindow* top = gdk_window_get_toplevel(event->any.window);
                    const Handle h = fromData(g_object_get_data(G_OBJECT(top), kWindowKey));
                    GtkPlatform::Window* w = h != 0 ? g_platform->window(h) : nullptr;
                    if (w != nullptr && !w->enabled) {
                        if (event->type == GDK_BUTTON_PRESS) {
                            if (GtkPlatform::Window* other = g_platform->lastShownEnabled(w)) {
                                gtk_window_present(GTK_WINDOW(other->widget));
                            }
                        }
                        return;
                    }
                    break;
                }
                default:
                    break;
            }
        }
        gtk_main_do_event(event);
    }

    // ---- posted callbacks ----
    static gboolean postPrepare(GSource*, gint* timeout) {
        *timeout = -1;
        return g_platform != nullptr && !g_platform->posted_.empty();
    }
    static gboolean postCheck(GSource*) { return g_platform != nullptr && !g_platform->posted_.empty(); }
    static gboolean postDispatch(GSource*, GSourceFunc, gpointer) {
        if (g_platform == nullptr || g_platform->posted_.empty()) return G_SOURCE_CONTINUE;
        std::function<void()> callback = std::move(g_platform->posted_.front());
        g_platform->posted_.pop_front();
        if (callback) callback();
        return G_SOURCE_CONTINUE;
    }

    // ---- top-level windows ----
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w != nullptr && !w->dying && w->enabled && g_platform->sink_ != nullptr) {
            g_platform->sink_->onCloseRequested(w->handle);
        }
        return TRUE;  // the program destroys its windows itself
    }

    static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying) return FALSE;
        if (!w->enabled) return TRUE;
        KeyStroke key;
        if (!translateKey(event, key) || g_platform->sink_ == nullptr) return FALSE;
        return g_platform->sink_->onKey(w->handle, key) ? TRUE : FALSE;
    }

    static gboolean onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying || w->style.toolWindow) return FALSE;
        w->actual = Rect{event->x - w->frame[0], event->y - w->frame[2],
                         event->width + w->frame[0] + w->frame[1], event->height + w->frame[2] + w->frame[3]};
        w->haveActual = true;
        if (w->mapped) g_platform->settleGeometry(*w, false);
        return FALSE;
    }

    static gboolean onProperty(GtkWidget*, GdkEventProperty* event, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying) return FALSE;
        if (event->atom == gdk_atom_intern_static_string("_NET_FRAME_EXTENTS"))
            g_platform->learnFrameExtents(*w);
        return FALSE;
    }

    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying) return FALSE;
        ShowState state = ShowState::Normal;
        if (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) {
            state = ShowState::Minimized;
        } else if (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) {
            state = ShowState::Maximized;
        }
        if (state != w->state) {
            const bool wasMinimized = w->state == ShowState::Minimized;
            w->state = state;
            // Windows reports minimize and restore as size changes.
            if ((wasMinimized || state == ShowState::Minimized) && g_platform->sink_ != nullptr) {
                g_platform->sink_->onResized(w->handle);
            }
        }
        return FALSE;
    }

    static gboolean onMap(GtkWidget*, GdkEvent*, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying || w->style.toolWindow) return FALSE;
        w->mapped = true;
        g_platform->learnFrameExtents(*w);
        // The first configure after the map says where X really put it.
        w->awaiting = true;
        g_platform->settleGeometry(*w, false);
        return FALSE;
    }

    static gboolean onUnmap(GtkWidget*, GdkEvent*, gpointer data) {
        if (GtkPlatform::Window* w = windowOf(data)) w->mapped = false;
        return FALSE;
    }

    static void onActive(GObject*, GParamSpec*, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr || w->dying || g_platform->sink_ == nullptr) return;
        if (gtk_window_is_active(GTK_WINDOW(w->widget))) g_platform->sink_->onActivated(w->handle);
    }

    static gboolean onSettleTimeout(gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (w == nullptr) return G_SOURCE_REMOVE;
        w->settleTimer = 0;
        g_platform->settleGeometry(*w, true);
        return G_SOURCE_REMOVE;
    }

    static void onMenuActivate(GtkMenuItem* item, gpointer data) {
        GtkPlatform::Window* w = windowOf(data);
        if (GTK_IS_CHECK_MENU_ITEM(item)) {
            // Windows does not toggle a checked item by itself: undo GTK's toggle.
            const gboolean active = gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
            g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(onMenuActivate), data);
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), !active);
            g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(onMenuActivate), data);
        }
        if (w == nullptr || w->dying || !w->enabled || g_platform->sink_ == nullptr) return;
        const int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kCommandKey));
        g_platform->sink_->onMenuCommand(w->handle, command);
    }

    // ---- controls ----
    static void onInsertText(GtkEditable* editable, gchar* text, gint length, gint*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (!live(c) || c->suppressChanged || g_platform->sink_ == nullptr) return;
        // Only typing is asked: text inserted while a key without Ctrl or Alt
        // is being handled. A paste arrives from the clipboard, not from a key.
        GdkEvent* event = gtk_get_current_event();
        const bool typed = event != nullptr && event->type == GDK_KEY_PRESS &&
                           (event->key.state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0;
        if (event != nullptr) gdk_event_free(event);
        if (!typed) return;
        const gchar* end = length >= 0 ? text + length : text + std::strlen(text);
        for (const gchar* p = text; p < end; p = g_utf8_next_char(p)) {
            if (!g_platform->sink_->onAcceptChar(c->handle, g_utf8_get_char(p))) {
                g_signal_stop_emission_by_name(editable, "insert-text");
                gtk_widget_error_bell(GTK_WIDGET(editable));
                return;
            }
        }
    }

    static void onChanged(GtkEditable*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (!live(c) || c->suppressChanged || g_platform->sink_ == nullptr) return;
        g_platform->sink_->onTextChanged(c->handle);
    }

    static gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (live(c)) g_platform->reportFocus(c->handle, true);
        return FALSE;
    }

    static gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (live(c)) g_platform->reportFocus(c->handle, false);
        return FALSE;
    }

    static void onClicked(GtkButton*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (live(c) && g_platform->sink_ != nullptr) g_platform->sink_->onClicked(c->handle);
    }

    static gboolean onTimer(gpointer data) {
        const Handle h = fromData(data);
        if (g_platform == nullptr || g_platform->timers_.count(h) == 0) return G_SOURCE_REMOVE;
        if (g_platform->sink_ != nullptr) g_platform->sink_->onTimer(h);
        return G_SOURCE_CONTINUE;
    }

    // ---- browser ----
    static std::string requestUri(WebKitNavigationAction* action) {
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const gchar* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
        return uri != nullptr ? uri : "";
    }

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
        // A page's new window opens in the system's browser, not in this program.
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        g_platform->openExternally(requestUri(action));
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }

    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer) {
        g_platform->openExternally(requestUri(action));
        return nullptr;
    }

    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (c == nullptr || !c->browser.silent) return FALSE;
        // Silent: the page gets the answer of a dialog the user cancelled,
        // except that leaving the page goes ahead (the user asked for it).
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
            case WEBKIT_SCRIPT_DIALOG_CONFIRM:
                webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
                break;
            case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
                webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
                break;
            default:  // an alert needs no answer; an unanswered prompt gives null
                break;
        }
        return TRUE;
    }

    static gboolean onPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (c == nullptr || !c->browser.silent) return FALSE;
        webkit_permission_request_deny(request);
        return TRUE;
    }

    static gboolean onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        if (c == nullptr || !c->browser.silent) return FALSE;
        webkit_authentication_request_cancel(request);
        return TRUE;
    }

    static gboolean onPrint(WebKitWebView*, WebKitPrintOperation*, gpointer data) {
        GtkPlatform::Control* c = controlOf(data);
        return c != nullptr && c->browser.silent ? TRUE : FALSE;
    }

    static void onOfflineFilterReady(GObject* store, GAsyncResult* result, gpointer) {
        GError* error = nullptr;
        g_offlineFilter = webkit_user_content_filter_store_save_finish(
            WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
        g_offlineFilterCompiling = false;
        if (g_offlineFilter == nullptr) g_offlineFilterFailed = true;
        if (error != nullptr) g_error_free(error);
        g_object_unref(store);
        if (g_platform == nullptr) return;
        for (auto& entry : g_platform->controls_) {
            GtkPlatform::Control& c = *entry.second;
            if (c.kind != GtkPlatform::Control::Kind::Browser || !c.waitingForFilter) continue;
            c.waitingForFilter = false;
            WebKitWebView* view = WEBKIT_WEB_VIEW(c.widget);
            if (g_offlineFilter != nullptr) {
                webkit_user_content_manager_add_filter(webkit_web_view_get_user_content_manager(view),
                                                       g_offlineFilter);
            }
            if (c.hasPendingAddress) {
                c.hasPendingAddress = false;
                webkit_web_view_load_uri(view, c.pendingAddress.c_str());
                c.pendingAddress.clear();
            }
        }
    }
};

namespace {
GSourceFuncs g_postFuncs = {GtkPlatformSignals::postPrepare,
                            GtkPlatformSignals::postCheck,
                            GtkPlatformSignals::postDispatch,
                            nullptr,
                            nullptr,
                            nullptr};
}  // namespace

// ---------------------------------------------------------------- lifetime

GtkPlatform::GtkPlatform() {
    g_platform = this;
    postSource_ = g_source_new(&g_postFuncs, sizeof(GSource));
    g_source_set_priority(postSource_, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(postSource_, TRUE);
    g_source_attach(postSource_, nullptr);
    gdk_event_handler_set(GtkPlatformSignals::filterEvent, nullptr, nullptr);

    if (GdkScreen* screen = gdk_screen_get_default()) {
        baseCss_ = cssProvider(kBaseCss);
        classicCss_ = cssProvider(kClassicCss);
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(baseCss_),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(classicCss_),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    }
}

GtkPlatform::~GtkPlatform() {
    for (auto& t : timers_) g_source_remove(t.second->source);
    timers_.clear();
    std::vector<Handle> handles;
    for (auto& w : windows_) handles.push_back(w.first);
    for (Handle h : handles) destroyWindow(h);
    gdk_event_handler_set(GtkPlatformSignals::passEvent, nullptr, nullptr);
    if (postSource_ != nullptr) {
        g_source_destroy(postSource_);
        g_source_unref(postSource_);
    }
    if (GdkScreen* screen = gdk_screen_get_default()) {
        if (baseCss_ != nullptr)
            gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(baseCss_));
        if (classicCss_ != nullptr) {
            gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(classicCss_));
        }
    }
    if (baseCss_ != nullptr) g_object_unref(baseCss_);
    if (classicCss_ != nullptr) g_object_unref(classicCss_);
    if (g_platform == this) g_platform = nullptr;
}

GtkPlatform::Window* GtkPlatform::window(Handle handle) const {
    auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.get();
}

GtkPlatform::Control* GtkPlatform::control(Handle handle) const {
    auto it = controls_.find(handle);
    return it == controls_.end() ? nullptr : it->second.get();
}

GtkWidget* GtkPlatform::widgetOf(Handle handle) const {
    if (Window* w = window(handle)) return w->widget;
    if (Control* c = control(handle)) return c->widget;
    return nullptr;
}

// ---------------------------------------------------------------- process

bool GtkPlatform::initializeEngine() {
    if (engineReady_) return true;
    accelerated_ = gpuCompositingPays();
    WebKitWebContext* context = webkit_web_context_get_default();
    // One game in one view: no back/forward page cache and a small memory
    // cache; the disk cache still serves a reloaded game its assets.
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);
    // Flash content plays through an emulator injected into every page.
    flash::enableFlashOnContext(context);
    engineReady_ = true;
    return true;
}

void GtkPlatform::shutdownEngine() {
    engineReady_ = false;
}

std::string GtkPlatform::modulePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GtkPlatform::setCurrentDirectory(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

void GtkPlatform::exitProcess(int code) {
    _exit(code);
}

bool GtkPlatform::readFile(const std::string& path, std::string& bytes) {
    return posix::readWholeFile(path, bytes);
}

bool GtkPlatform::replaceFile(const std::string& path, const std::string& bytes) {
    return posix::replaceWholeFile(path, bytes);
}

std::int64_t GtkPlatform::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

bool GtkPlatform::localFields(std::int64_t seconds, CalendarFields& out) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) return false;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    return true;
}

// ---------------------------------------------------------------- screen

std::vector<Rect> GtkPlatform::monitors() {
    std::vector<Rect> result;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return result;
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    const int n = gdk_display_get_n_monitors(display);
    if (primary == nullptr && n > 0) primary = gdk_display_get_monitor(display, 0);
    auto add = [&result](GdkMonitor* m) {
        GdkRectangle g;
        gdk_monitor_get_geometry(m, &g);
        result.push_back(Rect{g.x, g.y, g.width, g.height});
    };
    if (primary != nullptr) add(primary);
    for (int i = 0; i < n; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        if (m != primary) add(m);
    }
    return result;
}

Rect GtkPlatform::primaryScreen() {
    const std::vector<Rect> all = monitors();
    return all.empty() ? Rect{0, 0, 1024, 768} : all.front();
}

// ---------------------------------------------------------------- top-level windows

Handle GtkPlatform::createTopLevel(const TopLevelStyle& style) {
    auto w = std::make_unique<Window>();
    w->handle = newHandle();
    w->style = style;
    w->rect = style.outer;
    w->target = style.outer;
    w->widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gw = GTK_WINDOW(w->widget);
    gtk_window_set_title(gw, gbkToUtf8(style.caption).c_str());
    // Resizable for GTK so that the program can always set the size; whether
    // the user may resize is told to the window manager (applyWmHints).
    gtk_window_set_resizable(gw, TRUE);
    if (style.toolWindow) {
        gtk_window_set_decorated(gw, FALSE);
        gtk_window_set_skip_taskbar_hint(gw, TRUE);
        gtk_window_set_skip_pager_hint(gw, TRUE);
        gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_UTILITY);
    } else {
        if (style.border == Border::None) gtk_window_set_decorated(gw, FALSE);
        if (style.border == Border::SmallResizable || style.border == Border::SmallFixed) {
            gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_UTILITY);
        }
        if (style.owner != 0) {
            // An owned window has no taskbar button of its own, as on Windows.
            gtk_window_set_skip_taskbar_hint(gw, TRUE);
            Window* owner = window(style.owner);
            if (owner != nullptr && !owner->style.toolWindow) {
                gtk_window_set_transient_for(gw, GTK_WINDOW(owner->widget));
            }
        }
        if (style.topmost) gtk_window_set_keep_above(gw, TRUE);
    }
    gtk_window_move(gw, style.outer.left, style.outer.top);
    if (style.outer.width > 0 && style.outer.height > 0) {
        gtk_window_resize(gw, style.outer.width, style.outer.height);
    }

    w->box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    w->client = gtkbackend::clientAreaNew();
    gtk_style_context_add_class(gtk_widget_get_style_context(w->client), "wgs-client");
    gtk_box_pack_end(GTK_BOX(w->box), w->client, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(w->widget), w->box);
    gtk_widget_show(w->client);
    gtk_widget_show(w->box);

    if (style.background != 0xff000000u) {
        const std::uint32_t c = style.background;  // Windows COLORREF: 0x00BBGGRR
        gchar* css = g_strdup_printf("* { background-color: #%02x%02x%02x; }", c & 0xFF, (c >> 8) & 0xFF,
                                     (c >> 16) & 0xFF);
        w->background = cssProvider(css);
        g_free(css);
        gtk_style_context_add_provider(gtk_widget_get_style_context(w->widget),
                                       GTK_STYLE_PROVIDER(w->background),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }

    const gpointer data = toData(w->handle);
    g_signal_connect(w->widget, "delete-event", G_CALLBACK(GtkPlatformSignals::onDelete), data);
    g_signal_connect(w->widget, "key-press-event", G_CALLBACK(GtkPlatformSignals::onKeyPress), data);
    g_signal_connect(w->widget, "configure-event", G_CALLBACK(GtkPlatformSignals::onConfigure), data);
    g_signal_connect(w->widget, "property-notify-event", G_CALLBACK(GtkPlatformSignals::onProperty), data);
    g_signal_connect(w->widget, "window-state-event", G_CALLBACK(GtkPlatformSignals::onWindowState), data);
    g_signal_connect(w->widget, "map-event", G_CALLBACK(GtkPlatformSignals::onMap), data);
    g_signal_connect(w->widget, "unmap-event", G_CALLBACK(GtkPlatformSignals::onUnmap), data);
    g_signal_connect(w->widget, "notify::is-active", G_CALLBACK(GtkPlatformSignals::onActive), data);
    gtk_widget_add_events(w->widget, GDK_PROPERTY_CHANGE_MASK | GDK_STRUCTURE_MASK);

    gtk_widget_realize(w->widget);
    g_object_set_data(G_OBJECT(gtk_widget_get_window(w->widget)), kWindowKey, data);

    Window& ref = *w;
    windows_[w->handle] = std::move(w);
    applyWmHints(ref);
    if (!ref.style.toolWindow) {
        askFrameExtents(ref);
        // Now that the frame is known, make the outer frame what was asked for.
        applyTarget(ref);
    }
    return ref.handle;
}

void GtkPlatform::applyWmHints(Window& w) {
    GdkWindow* gw = gtk_widget_get_window(w.widget);
    if (gw == nullptr || w.style.toolWindow) return;
    const TopLevelStyle& s = w.style;
    const bool resizable = isResizable(s);
    int decorations = 0;
    int functions = 0;
    if (s.border != Border::None) {
        decorations |= GDK_DECOR_BORDER;
        if (!s.caption.empty() || s.controlBox) decorations |= GDK_DECOR_TITLE;
    }
    if (resizable) {
        decorations |= GDK_DECOR_RESIZEH;
        functions |= GDK_FUNC_RESIZE;
    }
    if (s.controlBox) {
        decorations |= GDK_DECOR_MENU;
        functions |= GDK_FUNC_CLOSE;
        if (s.minimizeButton) {
            decorations |= GDK_DECOR_MINIMIZE;
            functions |= GDK_FUNC_MINIMIZE;
        }
        if (s.maximizeButton) {
            decorations |= GDK_DECOR_MAXIMIZE;
            functions |= GDK_FUNC_MAXIMIZE;
        }
    }
    if (s.movable) functions |= GDK_FUNC_MOVE;
    gdk_window_set_decorations(gw, static_cast<GdkWMDecoration>(decorations));
    gdk_window_set_functions(gw, static_cast<GdkWMFunction>(functions));
}

void GtkPlatform::askFrameExtents(Window& w) {
    // Known before the first map where the window manager says it, so that
    // the outer size is right from the start; without a manager it is 0.
    int frame[4] = {0, 0, 0, 0};
    if (gtkbackend::requestFrameExtents(gtk_widget_get_window(w.widget), frame))
        std::copy(frame, frame + 4, w.frame);
}

void GtkPlatform::learnFrameExtents(Window& w) {
    int frame[4] = {0, 0, 0, 0};
    if (!gtkbackend::readFrameExtents(gtk_widget_get_window(w.widget), frame)) return;
    if (std::equal(frame, frame + 4, w.frame)) return;
    std::copy(frame, frame + 4, w.frame);
    // The program's outer frame stays; the window inside it changes.
    if (w.state == ShowState::Normal) applyTarget(w);
}

Size GtkPlatform::minimumOuterSize(Window& w) {
    GtkRequisition minimum{0, 0};
    gtk_widget_get_preferred_size(w.widget, &minimum, nullptr);
    return Size{std::max(1, minimum.width) + w.frame[0] + w.frame[1],
                std::max(1, minimum.height) + w.frame[2] + w.frame[3]};
}

void GtkPlatform::applyTarget(Window& w) {
    if (w.style.toolWindow) return;
    const int width = std::max(1, w.target.width - w.frame[0] - w.frame[1]);
    const int height = std::max(1, w.target.height - w.frame[2] - w.frame[3]);
    GtkWindow* gw = GTK_WINDOW(w.widget);
    if (!isResizable(w.style)) {
        // Window managers do not all honour the Motif hints; equal smallest and
        // largest sizes make every one of them keep a fixed frame fixed.
        GdkGeometry geometry;
        geometry.min_width = geometry.max_width = width;
        geometry.min_height = geometry.max_height = height;
        gtk_window_set_geometry_hints(gw, nullptr, &geometry,
                                      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    }
    gtk_window_resize(gw, width, height);
    // With the default north-west gravity this places the frame's corner.
    gtk_window_move(gw, w.target.left, w.target.top);
    if (w.mapped) {
        w.awaiting = true;
        if (w.settleTimer != 0) g_source_remove(w.settleTimer);
        w.settleTimer = g_timeout_add(kSettleMs, GtkPlatformSignals::onSettleTimeout, toData(w.handle));
    }
}

void GtkPlatform::requestGeometry(Window& w, const Rect& outer) {
    Rect r = outer;
    if (!w.style.toolWindow) {
        const Size minimum = minimumOuterSize(w);
        r.width = std::max(r.width, minimum.width);
        r.height = std::max(r.height, minimum.height);
    }
    w.target = r;
    applyTarget(w);
    reportRect(w, r);
}

void GtkPlatform::settleGeometry(Window& w, bool final) {
    if (!w.haveActual) {
        if (final) w.awaiting = false;
        return;
    }
    if (w.awaiting) {
        if (w.actual == w.target) {
            w.awaiting = false;
            if (w.settleTimer != 0) {
                g_source_remove(w.settleTimer);
                w.settleTimer = 0;
            }
        } else if (!final) {
            if (w.settleTimer == 0) {
                w.settleTimer =
                    g_timeout_add(kSettleMs, GtkPlatformSignals::onSettleTimeout, toData(w.handle));
            }
            return;  // an intermediate state of a request still in flight
        } else {
            w.awaiting = false;
            w.target = w.actual;  // the window manager had the last word
        }
    } else if (w.state == ShowState::Normal) {
        w.target = w.actual;  // the user moved or resized it
    }
    if (w.actual != w.rect && w.state != ShowState::Minimized) reportRect(w, w.actual);
}

void GtkPlatform::reportRect(Window& w, const Rect& r) {
    const Rect old = w.rect;
    w.rect = r;
    if (sink_ == nullptr || w.dying) return;
    const Handle h = w.handle;
    if (old.left != r.left || old.top != r.top) sink_->onMoved(h);
    if (window(h) == nullptr) return;
    if (old.width != r.width || old.height != r.height) sink_->onResized(h);
}

GtkPlatform::Window* GtkPlatform::lastShownEnabled(const Window* except) const {
    for (auto it = showOrder_.rbegin(); it != showOrder_.rend(); ++it) {
        Window* w = window(*it);
        if (w != nullptr && w != except && w->enabled && !w->dying && gtk_widget_get_visible(w->widget))
            return w;
    }
    return nullptr;
}

void GtkPlatform::destroyWindow(Handle handle) {
    if (control(handle) != nullptr) {
        destroyControl(handle);
        return;
    }
    Window* w = window(handle);
    if (w == nullptr) return;
    w->dying = true;
    forgetTimersOf(handle);
    std::vector<Handle> owned;
    for (auto& c : controls_) {
        if (c.second->window == handle) owned.push_back(c.first);
    }
    for (Handle c : owned) {
        if (focused_ == c) focused_ = 0;
        controls_.erase(c);
    }
    if (w->settleTimer != 0) g_source_remove(w->settleTimer);
    showOrder_.erase(std::remove(showOrder_.begin(), showOrder_.end(), handle), showOrder_.end());
    GtkWidget* widget = w->widget;
    if (w->background != nullptr) g_object_unref(w->background);
    windows_.erase(handle);
    gtk_widget_destroy(widget);
}

void GtkPlatform::showWindow(Handle handle, ShowCommand command) {
    Window* w = window(handle);
    if (w == nullptr) return;
    GtkWindow* gw = GTK_WINDOW(w->widget);
    const bool wm = gtkbackend::wmSupports("_NET_WM_STATE");
    const ShowState before = w->state;
    switch (command) {
        case ShowCommand::Hide:
            gtk_widget_hide(w->widget);
            return;
        case ShowCommand::Show:
            break;
        case ShowCommand::ShowMinimized:
            gtk_window_iconify(gw);
            if (wm) w->state = ShowState::Minimized;
            break;
        case ShowCommand::ShowMaximized:
            gtk_window_maximize(gw);
            if (wm) w->state = ShowState::Maximized;
            break;
        case ShowCommand::Restore:
            gtk_window_deiconify(gw);
            gtk_window_unmaximize(gw);
            if (wm) w->state = ShowState::Normal;
            break;
    }
    if (w->style.owner != 0 && gtk_window_get_transient_for(gw) == nullptr) {
        // Owned by the hidden owner window: keep it above the window the user
        // was working in.
        if (Window* above = lastShownEnabled(w)) gtk_window_set_transient_for(gw, GTK_WINDOW(above->widget));
    }
    // Showing a window activates it, and the focus leaves the control of
    // another window at once, as on Windows; X delivers its own focus change
    // later, when the window manager has given the window the focus.
    const bool activates = command != ShowCommand::ShowMinimized && !gtk_widget_get_visible(w->widget);
    if (activates && focused_ != 0) {
        Control* c = control(focused_);
        if (c == nullptr || c->window != handle) {
            const Handle old = focused_;
            focused_ = 0;
            if (sink_ != nullptr) sink_->onFocusLost(old);
            if (window(handle) == nullptr) return;
        }
    }
    showOrder_.erase(std::remove(showOrder_.begin(), showOrder_.end(), handle), showOrder_.end());
    showOrder_.push_back(handle);
    gtk_widget_show(w->widget);
    if (command == ShowCommand::Restore) gtk_window_present(gw);
    if (w->state != before && (before == ShowState::Minimized || w->state == ShowState::Minimized) &&
        sink_ != nullptr) {
        sink_->onResized(handle);
    }
}

ShowState GtkPlatform::showState(Handle handle) {
    Window* w = window(handle);
    return w == nullptr ? ShowState::Normal : w->state;
}

bool GtkPlatform::isWindowVisible(Handle handle) {
    GtkWidget* widget = widgetOf(handle);
    return widget != nullptr && gtk_widget_get_visible(widget);
}

void GtkPlatform::activateWindow(Handle handle) {
    if (Window* w = window(handle)) gtk_window_present(GTK_WINDOW(w->widget));
}

void GtkPlatform::enableWindow(Handle handle, bool enabled) {
    // Input to a disabled window is dropped before GTK sees it (filterEvent),
    // so it keeps its look, as a disabled owner window does on Windows.
    if (Window* w = window(handle)) w->enabled = enabled;
}

bool GtkPlatform::isWindowEnabled(Handle handle) {
    Window* w = window(handle);
    return w != nullptr && w->enabled;
}

void GtkPlatform::setWindowCaption(Handle handle, const std::string& caption) {
    Window* w = window(handle);
    if (w == nullptr) return;
    w->style.caption = caption;
    gtk_window_set_title(GTK_WINDOW(w->widget), gbkToUtf8(caption).c_str());
}

namespace {

GtkWidget* buildMenuItem(const MenuNode& node, gpointer window) {
    if (node.separator) return gtk_separator_menu_item_new();
    const std::string label = gtkbackend::windowsMnemonicsToGtk(gbkToUtf8(node.text));
    GtkWidget* item = node.checked && node.children.empty()
                          ? gtk_check_menu_item_new_with_mnemonic(label.c_str())
                          : gtk_menu_item_new_with_mnemonic(label.c_str());
    if (node.checked && node.children.empty()) {
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
    }
    if (!node.keyName.empty()) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(item));
        guint keyval = 0;
        GdkModifierType mods;
        if (GTK_IS_ACCEL_LABEL(child) && parseKeyName(node.keyName, keyval, mods)) {
            // Only shown: the key itself reaches the program through onKey.
            gtk_accel_label_set_accel(GTK_ACCEL_LABEL(child), keyval, mods);
        } else {
            const std::string text = label + "\t" + gbkToUtf8(node.keyName);
            gtk_menu_item_set_label(GTK_MENU_ITEM(item), text.c_str());
        }
    }
    if (node.grayed) gtk_widget_set_sensitive(item, FALSE);
    if (!node.children.empty()) {
        GtkWidget* menu = gtk_menu_new();
        for (const MenuNode& child : node.children) {
            gtk_menu_shell_append(GTK_MENU_SHELL(menu), buildMenuItem(child, window));
        }
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
    } else if (node.command != 0) {
        g_object_set_data(G_OBJECT(item), kCommandKey, GINT_TO_POINTER(node.command));
        g_signal_connect(item, "activate", G_CALLBACK(GtkPlatformSignals::onMenuActivate), window);
    }
    return item;
}

}  // namespace

void GtkPlatform::setMenuBar(Handle handle, const std::vector<MenuNode>& menu) {
    Window* w = window(handle);
    if (w == nullptr) return;
    if (w->menuBar != nullptr) {
        gtk_widget_destroy(w->menuBar);
        w->menuBar = nullptr;
    }
    if (menu.empty()) return;
    w->menuBar = gtk_menu_bar_new();
    for (const MenuNode& node : menu) {
        gtk_menu_shell_append(GTK_MENU_SHELL(w->menuBar), buildMenuItem(node, toData(handle)));
    }
    gtk_box_pack_start(GTK_BOX(w->box), w->menuBar, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(w->box), w->menuBar, 0);
    gtk_widget_show_all(w->menuBar);
    // A menu bar wider than the window raises its smallest size.
    if (!w->style.toolWindow) {
        const Size minimum = minimumOuterSize(*w);
        if (w->rect.width < minimum.width || w->rect.height < minimum.height) {
            requestGeometry(*w, w->rect);
        }
    }
}

// ---------------------------------------------------------------- geometry

Rect GtkPlatform::windowRect(Handle handle) {
    if (Window* w = window(handle)) return w->rect;
    if (Control* c = control(handle)) return c->rect;
    return Rect{};
}

Size GtkPlatform::clientSize(Handle handle) {
    Window* w = window(handle);
    if (w == nullptr) return Size{};
    const int width = std::max(0, w->rect.width - w->frame[0] - w->frame[1]);
    int height = std::max(0, w->rect.height - w->frame[2] - w->frame[3]);
    if (w->menuBar != nullptr && gtk_widget_get_visible(w->menuBar)) {
        int minimum = 0;
        int natural = 0;
        gtk_widget_get_preferred_height_for_width(w->menuBar, width, &minimum, &natural);
        height = std::max(0, height - natural);
    }
    return Size{width, height};
}

void GtkPlatform::moveWindow(Handle handle, int left, int top) {
    if (Window* w = window(handle)) {
        requestGeometry(*w, Rect{left, top, w->target.width, w->target.height});
        return;
    }
    if (Control* c = control(handle)) {
        c->rect.left = left;
        c->rect.top = top;
        if (Window* w = window(c->window)) {
            gtkbackend::clientAreaPlace(w->client, c->widget, left, top, c->rect.width, c->rect.height);
        }
    }
}

void GtkPlatform::resizeWindow(Handle handle, int width, int height) {
    if (Window* w = window(handle)) {
        requestGeometry(*w, Rect{w->target.left, w->target.top, width, height});
        return;
    }
    if (Control* c = control(handle)) {
        c->rect.width = std::max(0, width);
        c->rect.height = std::max(0, height);
        if (Window* w = window(c->window)) {
            gtkbackend::clientAreaPlace(w->client, c->widget, c->rect.left, c->rect.top, c->rect.width,
                                        c->rect.height);
        }
    }
}

// ---------------------------------------------------------------- controls

Handle GtkPlatform::createControl(Handle windowHandle, const ControlStyle& style) {
    Window* w = window(windowHandle);
    if (w == nullptr) return 0;
    auto c = std::make_unique<Control>();
    c->handle = newHandle();
    c->window = windowHandle;
    c->rect = style.rect;
    c->text = style.text;
    const gpointer data = toData(c->handle);
    const std::string utf8 = gbkToUtf8(style.text);
    const float xalign = style.hAlign == HAlign::Left ? 0.0f : style.hAlign == HAlign::Center ? 0.5f : 1.0f;
    switch (style.type) {
        case ControlType::EditBox: {
            c->kind = Control::Kind::Edit;
            c->widget = gtk_entry_new();
            GtkEntry* entry = GTK_ENTRY(c->widget);
            gtk_entry_set_width_chars(entry, 1);
            gtk_entry_set_alignment(entry, xalign);
            gtk_entry_set_text(entry, utf8.c_str());
            g_signal_connect(c->widget, "insert-text", G_CALLBACK(GtkPlatformSignals::onInsertText), data);
            g_signal_connect(c->widget, "changed", G_CALLBACK(GtkPlatformSignals::onChanged), data);
            break;
        }
        case ControlType::Label: {
            c->kind = Control::Kind::Label;
            // Plain text: an ampersand is drawn as it is.
            c->widget = gtk_label_new(gtkbackend::withUnixLineBreaks(utf8).c_str());
            GtkLabel* label = GTK_LABEL(c->widget);
            gtk_label_set_xalign(label, xalign);
            const float yalign = style.vAlign == VAlign::Top      ? 0.0f
                                 : style.vAlign == VAlign::Center ? 0.5f
                                                                  : 1.0f;
            gtk_label_set_yalign(label, style.wordWrap ? 0.0f : yalign);
            gtk_label_set_justify(label, style.hAlign == HAlign::Left     ? GTK_JUSTIFY_LEFT
                                         : style.hAlign == HAlign::Center ? GTK_JUSTIFY_CENTER
                                                                          : GTK_JUSTIFY_RIGHT);
            if (style.wordWrap) {
                gtk_label_set_line_wrap(label, TRUE);
                gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
            }
            break;
        }
        case ControlType::Button: {
            c->kind = Control::Kind::Button;
            c->widget = gtk_button_new_with_mnemonic(gtkbackend::windowsMnemonicsToGtk(utf8).c_str());
            if (style.wordWrap) {
                GtkWidget* child = gtk_bin_get_child(GTK_BIN(c->widget));
                if (GTK_IS_LABEL(child)) {
                    gtk_label_set_line_wrap(GTK_LABEL(child), TRUE);
                    gtk_label_set_justify(GTK_LABEL(child), GTK_JUSTIFY_CENTER);
                }
            }
            if (style.defaultButton) {
                gtk_style_context_add_class(gtk_widget_get_style_context(c->widget), "suggested-action");
            }
            g_signal_connect(c->widget, "clicked", G_CALLBACK(GtkPlatformSignals::onClicked), data);
            break;
        }
    }
    if (c->kind != Control::Kind::Label) {
        g_signal_connect(c->widget, "focus-in-event", G_CALLBACK(GtkPlatformSignals::onFocusIn), data);
        g_signal_connect(c->widget, "focus-out-event", G_CALLBACK(GtkPlatformSignals::onFocusOut), data);
    }
    if (style.disabled) gtk_widget_set_sensitive(c->widget, FALSE);
    gtkbackend::clientAreaPlace(w->client, c->widget, style.rect.left, style.rect.top,
                                std::max(0, style.rect.width), std::max(0, style.rect.height));
    if (style.visible) gtk_widget_show(c->widget);
    const Handle h = c->handle;
    controls_[h] = std::move(c);
    return h;
}

void GtkPlatform::destroyControl(Handle handle) {
    Control* c = control(handle);
    if (c == nullptr) return;
    GtkWidget* widget = c->widget;
    if (focused_ == handle) focused_ = 0;
    controls_.erase(handle);
    gtk_widget_destroy(widget);
}

void GtkPlatform::showControl(Handle handle, bool visible) {
    if (Control* c = control(handle)) gtk_widget_set_visible(c->widget, visible);
}

void GtkPlatform::setControlText(Handle handle, const std::string& text) {
    Control* c = control(handle);
    if (c == nullptr) return;
    const std::string utf8 = gbkToUtf8(text);
    switch (c->kind) {
        case Control::Kind::Edit:
            // The program's own writes are not the user's edits.
            c->suppressChanged = true;
            gtk_entry_set_text(GTK_ENTRY(c->widget), utf8.c_str());
            c->suppressChanged = false;
            break;
        case Control::Kind::Label:
            c->text = text;
            gtk_label_set_text(GTK_LABEL(c->widget), gtkbackend::withUnixLineBreaks(utf8).c_str());
            break;
        case Control::Kind::Button:
            c->text = text;
            gtk_button_set_label(GTK_BUTTON(c->widget), gtkbackend::windowsMnemonicsToGtk(utf8).c_str());
            break;
        case Control::Kind::Browser:
            break;
    }
}

std::string GtkPlatform::controlText(Handle handle) {
    Control* c = control(handle);
    if (c == nullptr) return std::string();
    if (c->kind == Control::Kind::Edit) return utf8ToGbk(gtk_entry_get_text(GTK_ENTRY(c->widget)));
    return c->text;
}

void GtkPlatform::setFocus(Handle handle) {
    if (Control* c = control(handle)) gtk_widget_grab_focus(c->widget);
}

Handle GtkPlatform::focusedControl() {
    return focused_;
}

void GtkPlatform::reportFocus(Handle handle, bool gained) {
    if (gained) {
        focused_ = handle;
        if (sink_ != nullptr) sink_->onFocusGained(handle);
    } else {
        // Already reported when another window was shown (showWindow).
        if (focused_ != handle) return;
        focused_ = 0;
        if (sink_ != nullptr) sink_->onFocusLost(handle);
    }
}

void GtkPlatform::editSelection(Handle handle, int& start, int& end) {
    start = 0;
    end = 0;
    Control* c = control(handle);
    if (c == nullptr || c->kind != Control::Kind::Edit) return;
    GtkEditable* editable = GTK_EDITABLE(c->widget);
    int from = 0;
    int to = 0;
    if (!gtk_editable_get_selection_bounds(editable, &from, &to)) {
        from = to = gtk_editable_get_position(editable);
    }
    const std::string utf8 = gtk_entry_get_text(GTK_ENTRY(c->widget));
    // Positions in the program's byte string, as an ANSI edit control counts them.
    start = gtkbackend::gbkOffsetOfChar(utf8, from);
    end = gtkbackend::gbkOffsetOfChar(utf8, to);
}

void GtkPlatform::setEditSelection(Handle handle, int start, int end) {
    Control* c = control(handle);
    if (c == nullptr || c->kind != Control::Kind::Edit) return;
    GtkEditable* editable = GTK_EDITABLE(c->widget);
    const std::string utf8 = gtk_entry_get_text(GTK_ENTRY(c->widget));
    if (start < 0) {
        // As EM_SETSEL with -1: no selection, the caret stays.
        const int position = gtk_editable_get_position(editable);
        gtk_editable_select_region(editable, position, position);
        return;
    }
    const int from = gtkbackend::charOffsetOfGbk(utf8, start);
    const int to = end < 0 ? -1 : gtkbackend::charOffsetOfGbk(utf8, end);
    gtk_editable_select_region(editable, from, to);
}

void GtkPlatform::clickButton(Handle handle) {
    Control* c = control(handle);
    if (c != nullptr && c->kind == Control::Kind::Button) gtk_button_clicked(GTK_BUTTON(c->widget));
}

// ---------------------------------------------------------------- timers

Handle GtkPlatform::startTimer(Handle windowHandle, int periodMs) {
    if (periodMs <= 0 || window(windowHandle) == nullptr) return 0;
    auto t = std::make_unique<Timer>();
    t->handle = newHandle();
    t->window = windowHandle;
    // The first tick one period from now; a late tick is not made up for.
    t->source = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(periodMs),
                                   GtkPlatformSignals::onTimer, toData(t->handle), nullptr);
    // A handler that runs a nested loop still gets its next ticks, as on Windows.
    if (GSource* source = g_main_context_find_source_by_id(nullptr, t->source)) {
        g_source_set_can_recurse(source, TRUE);
    }
    const Handle h = t->handle;
    timers_[h] = std::move(t);
    return h;
}

void GtkPlatform::stopTimer(Handle handle) {
    auto it = timers_.find(handle);
    if (it == timers_.end()) return;
    g_source_remove(it->second->source);
    timers_.erase(it);
}

void GtkPlatform::forgetTimersOf(Handle windowHandle) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->second->window == windowHandle) {
            g_source_remove(it->second->source);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

// ---------------------------------------------------------------- message loop

void GtkPlatform::pumpOne() {
    g_main_context_iteration(nullptr, TRUE);
}

void GtkPlatform::pumpPending() {
    // Bounded: a page that animates keeps the engine's sources ready forever.
    const gint64 deadline = g_get_monotonic_time() + 100 * 1000;
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) {
        g_main_context_iteration(nullptr, FALSE);
        if (g_get_monotonic_time() > deadline) break;
    }
}

void GtkPlatform::post(std::function<void()> callback) {
    posted_.push_back(std::move(callback));
    g_main_context_wakeup(nullptr);
}

// ---------------------------------------------------------------- dialogs

void GtkPlatform::messageBox(const MessageBoxRequest& request) {
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (request.flags & 0xF0u) {
        case 0x10:
            type = GTK_MESSAGE_ERROR;
            break;
        case 0x20:
            type = GTK_MESSAGE_QUESTION;
            break;
        case 0x30:
            type = GTK_MESSAGE_WARNING;
            break;
        case 0x40:
            type = GTK_MESSAGE_INFO;
            break;
        default:
            break;
    }
    const std::string text = gtkbackend::withUnixLineBreaks(gbkToUtf8(request.text));
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), gbkToUtf8(request.caption).c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

bool GtkPlatform::promptText(Handle owner, const std::string& prompt, const std::string& initial,
                             std::string& result) {
    GtkWidget* dialog = gtk_dialog_new();
    GtkWindow* gw = GTK_WINDOW(dialog);
    gtk_window_set_title(gw, gbkToUtf8("请输入：").c_str());
    gtk_window_set_modal(gw, TRUE);
    gtk_window_set_resizable(gw, FALSE);
    gtk_window_set_skip_taskbar_hint(gw, TRUE);
    Window* ownerWindow = window(owner);
    if (ownerWindow != nullptr && !ownerWindow->style.toolWindow) {
        gtk_window_set_transient_for(gw, GTK_WINDOW(ownerWindow->widget));
        gtk_window_set_position(gw, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(gw, GTK_WIN_POS_CENTER);
    }

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 8);
    gtk_box_set_spacing(GTK_BOX(content), 8);
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    GtkWidget* label = gtk_label_new(gtkbackend::withUnixLineBreaks(gbkToUtf8(prompt)).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, 340, 40);
    g_object_set(label, "margin", 6, nullptr);
    gtk_container_add(GTK_CONTAINER(frame), label);
    gtk_box_pack_start(GTK_BOX(content), frame, FALSE, FALSE, 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), gbkToUtf8(initial).c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_box_pack_start(GTK_BOX(content), entry, FALSE, FALSE, 0);
    gtk_dialog_add_button(GTK_DIALOG(dialog), gbkToUtf8("确认输入(_O)").c_str(), GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), gbkToUtf8("取消(_C)").c_str(), GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_show_all(content);

    // Like a Windows dialog box: the owner takes no input while it is open.
    const bool ownerWasEnabled = ownerWindow != nullptr && ownerWindow->enabled;
    if (ownerWindow != nullptr) ownerWindow->enabled = false;
    gtk_widget_grab_focus(entry);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    const bool confirmed = response == GTK_RESPONSE_OK;
    if (confirmed) result = utf8ToGbk(gtk_entry_get_text(GTK_ENTRY(entry)));
    gtk_widget_destroy(dialog);
    if (Window* again = window(owner)) {
        again->enabled = ownerWasEnabled;
        gtk_window_present(GTK_WINDOW(again->widget));
    }
    return confirmed;
}

bool GtkPlatform::setVisualStyle(int style) {
    GdkScreen* screen = gdk_screen_get_default();
    if (screen == nullptr || classicCss_ == nullptr) return false;
    const bool on = style >= 1 && style <= 3;
    if (on == visualStyleOn_) return true;
    visualStyleOn_ = on;
    // The classic look is a provider above the theme; the visual style is the theme itself.
    gtk_css_provider_load_from_data(classicCss_, on ? "" : kClassicCss, -1, nullptr);
    return true;
}

// ---------------------------------------------------------------- browser

Handle GtkPlatform::createBrowser(Handle windowHandle, const Rect& rect, const BrowserSettings& settings) {
    Window* w = window(windowHandle);
    if (w == nullptr) return 0;
    initializeEngine();
    WebKitSettings* webSettings = webkit_settings_new();
    webkit_settings_set_hardware_acceleration_policy(
        webSettings, accelerated_ ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS
                                  : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_settings_set_zoom_text_only(webSettings, TRUE);
    webkit_settings_set_enable_page_cache(webSettings, FALSE);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", webSettings, "web-context",
                                webkit_web_context_get_default(), "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_unref(webSettings);
    if (view == nullptr) return 0;
    flash::enableFlashOnView(WEBKIT_WEB_VIEW(view));

    auto c = std::make_unique<Control>();
    c->handle = newHandle();
    c->window = windowHandle;
    c->kind = Control::Kind::Browser;
    c->widget = view;
    c->rect = rect;
    c->browser = settings;
    webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(view), textZoom(settings.textSize));

    const gpointer data = toData(c->handle);
    g_signal_connect(view, "decide-policy", G_CALLBACK(GtkPlatformSignals::onDecidePolicy), data);
    g_signal_connect(view, "create", G_CALLBACK(GtkPlatformSignals::onCreate), data);
    g_signal_connect(view, "script-dialog", G_CALLBACK(GtkPlatformSignals::onScriptDialog), data);
    g_signal_connect(view, "permission-request", G_CALLBACK(GtkPlatformSignals::onPermission), data);
    g_signal_connect(view, "authenticate", G_CALLBACK(GtkPlatformSignals::onAuthenticate), data);
    g_signal_connect(view, "print", G_CALLBACK(GtkPlatformSignals::onPrint), data);
    g_signal_connect(view, "focus-in-event", G_CALLBACK(GtkPlatformSignals::onFocusIn), data);
    g_signal_connect(view, "focus-out-event", G_CALLBACK(GtkPlatformSignals::onFocusOut), data);

    if (settings.offline) {
        // WebKitGTK has no cache-only mode: offline keeps the pane off the
        // network altogether with a content rule that blocks network schemes.
        if (g_offlineFilter != nullptr) {
            webkit_user_content_manager_add_filter(
                webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view)), g_offlineFilter);
        } else if (!g_offlineFilterFailed) {
            c->waitingForFilter = true;
            if (!g_offlineFilterCompiling) {
                g_offlineFilterCompiling = true;
                gchar* dir =
                    g_build_filename(g_get_user_cache_dir(), "webgame-shell", "content-filters", nullptr);
                WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(dir);
                g_free(dir);
                GBytes* rules = g_bytes_new_static(kOfflineRules, std::strlen(kOfflineRules));
                webkit_user_content_filter_store_save(store, kOfflineFilterId, rules, nullptr,
                                                      GtkPlatformSignals::onOfflineFilterReady, nullptr);
                g_bytes_unref(rules);
            }
        }
    }

    gtkbackend::clientAreaPlace(w->client, view, rect.left, rect.top, std::max(0, rect.width),
                                std::max(0, rect.height));
    gtk_widget_show(view);
    const Handle h = c->handle;
    controls_[h] = std::move(c);
    return h;
}

void GtkPlatform::browserNavigate(Handle handle, const std::string& address) {
    Control* c = control(handle);
    if (c == nullptr || c->kind != Control::Kind::Browser) return;
    // Local files are served so that the Flash emulator plays them.
    const std::string utf8 = flash::addressToLoad(gbkToUtf8(address));
    if (c->waitingForFilter) {
        // An offline pane loads nothing before its filter is in place.
        c->pendingAddress = utf8;
        c->hasPendingAddress = true;
        return;
    }
    // Passed on as it is, the empty address included.
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(c->widget), utf8.c_str());
}

std::string GtkPlatform::browserLocation(Handle handle) {
    Control* c = control(handle);
    if (c == nullptr || c->kind != Control::Kind::Browser) return std::string();
    if (c->waitingForFilter) return utf8ToGbk(flash::addressToReport(c->pendingAddress));
    const gchar* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(c->widget));
    return uri != nullptr ? utf8ToGbk(flash::addressToReport(uri)) : std::string();
}

void GtkPlatform::browserReload(Handle handle) {
    Control* c = control(handle);
    if (c != nullptr && c->kind == Control::Kind::Browser && !c->waitingForFilter) {
        webkit_web_view_reload(WEBKIT_WEB_VIEW(c->widget));
    }
}

// ---------------------------------------------------------------- shell

Handle GtkPlatform::findTopLevelWindow(const std::string& title) {
    (void)title;  // no window of another program is ever an owner here
    return 0;
}

void GtkPlatform::openExternally(const std::string& utf8Address) {
    if (utf8Address.empty() || utf8Address == "about:blank") return;
    GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gdk_display_get_default());
    GError* error = nullptr;
    g_app_info_launch_default_for_uri(utf8Address.c_str(), G_APP_LAUNCH_CONTEXT(context), &error);
    if (error != nullptr) g_error_free(error);  // as ShellExecute's failure: ignored
    g_object_unref(context);
}

void GtkPlatform::shellOpen(Handle owner, const std::string& address) {
    (void)owner;
    openExternally(gbkToUtf8(address));
}

// ---------------------------------------------------------------- libraries

Handle GtkPlatform::loadLibrary(const std::string& name) {
    // The one system library this platform offers by name.
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(g_ascii_tolower(ch)); });
    if (lower != kKernel32 && lower != "kernel32") return 0;
    const Handle h = newHandle();
    libraries_.insert(h);
    return h;
}

void* GtkPlatform::libraryFunction(Handle library, const std::string& name) {
    if (libraries_.count(library) == 0 || name != "SetProcessWorkingSetSize") return nullptr;
    return reinterpret_cast<void*>(&trimHeap);
}

void GtkPlatform::freeLibrary(Handle library) {
    libraries_.erase(library);
}

void GtkPlatform::callWorkingSetTrim(void* function) {
    if (function == nullptr) return;
    auto trim = reinterpret_cast<TrimFunction>(function);
    trim(reinterpret_cast<void*>(static_cast<std::intptr_t>(-1)), SIZE_MAX, SIZE_MAX);
}

}  // namespace wgs
