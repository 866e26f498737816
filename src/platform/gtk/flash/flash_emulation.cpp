#include "platform/gtk/flash/flash_emulation.h"

#include <gio/gio.h>
#include <libsoup/soup.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <vector>

namespace wgs::flash {
namespace {

// The watchdog runs in a script world of its own: pages cannot see its
// message channel, so a page cannot make the view reload itself.
constexpr const char* kWatchdogWorld = "webgame-shell-flash";
constexpr const char* kWatchdogChannel = "flashWatchdog";
constexpr const char* kViewStateKey = "wgs-flash-view-state";

// The event by which the emulator's script tells the watchdog that its
// WebAssembly module is running in this frame. Compiling the module takes
// seconds on a busy machine; only what comes after it can be the renderer's
// fault, so the watchdog's clock starts then.
constexpr const char* kReadyEvent = "webgame-shell-flash-ready";

// Watches every player the emulator puts into the frame: reports its first
// frame, a panic (the emulator's error screen) or a stall (once the module
// runs, no first frame and no progress for the configured time). Any change inside
// the player's shadow tree counts as progress: the emulator adds its canvas
// there and updates its load bar while the movie downloads.
constexpr const char* kWatchdogSource = R"JS((function () {
  "use strict";
  var handlers = window.webkit && window.webkit.messageHandlers;
  var channel = handlers && handlers.flashWatchdog;
  if (!channel) return;
  var timeoutMs = @TIMEOUT@;
  var ready = false;
  // A page whose Content-Security-Policy refuses the emulator cannot be
  // helped by a reload: its players' failures are reported as "refused".
  var refused = false;
  document.addEventListener("securitypolicyviolation", function (e) {
    var uri = String(e.blockedURI);
    if (uri.indexOf("@SCHEME@:") === 0 || uri === "wasm-eval" || uri === "eval") refused = true;
  }, true);
  var waiting = [];
  var seen = new WeakSet();
  function report(kind) {
    try { channel.postMessage({ kind: kind, frame: String(location.href) }); } catch (e) {}
  }
  function isPlayer(node) {
    return node.nodeType === 1 && /^ruffle-(embed|object|player)(-|$)/.test(node.localName);
  }
  function watch(player) {
    if (seen.has(player)) return;
    seen.add(player);
    var finished = false, timer = 0, observer = null;
    function stop() {
      finished = true;
      clearTimeout(timer);
      if (observer) observer.disconnect();
    }
    function finish(kind) {
      if (finished) return;
      stop();
      report(kind);
    }
    function arm() {
      if (!ready) return;
      clearTimeout(timer);
      timer = setTimeout(function () {
        // A player the page has taken away again has not failed.
        if (player.isConnected) finish("stalled"); else stop();
      }, timeoutMs);
    }
    player.addEventListener("loadedmetadata", function () {
      if (finished) return;
      stop();
      requestAnimationFrame(function () {
        requestAnimationFrame(function () { report("first-frame"); });
      });
    });
    var root = player.shadowRoot;
    if (root) {
      observer = new MutationObserver(function () {
        if (finished) return;
        if (!root.querySelector("#panic")) {
          arm();
          return;
        }
        stop();
        // The page's policy report comes as a task of its own; let it arrive.
        setTimeout(function () { report(refused ? "refused" : "panic"); }, 250);
      });
      observer.observe(root, { childList: true, subtree: true, attributes: true, characterData: true });
    }
    if (ready) arm(); else waiting.push(arm);
  }
  document.addEventListener("@READY@", function () {
    if (ready) return;
    ready = true;
    waiting.splice(0).forEach(function (arm) { arm(); });
  });
  function scan(node) {
    if (isPlayer(node)) watch(node);
    if (node.querySelectorAll) {
      var found = node.querySelectorAll("ruffle-embed, ruffle-object, ruffle-player");
      for (var i = 0; i < found.length; i++) watch(found[i]);
    }
  }
  new MutationObserver(function (records) {
    for (var r = 0; r < records.length; r++) {
      var added = records[r].addedNodes;
      for (var i = 0; i < added.length; i++) scan(added[i]);
    }
  }).observe(document, { childList: true, subtree: true });
})();
)JS";

struct ContextState {
    bool attempted = false;
    bool enabled = false;
    std::string assetDirectory;
    std::string ruffleSource;
    int firstFrameTimeoutMs = 10000;
    std::set<WebKitWebContext*> contexts;
};

ContextState& contextState() {
    static ContextState state;
    return state;
}

struct ViewState {
    WebKitWebView* view = nullptr;
    WebKitUserContentManager* manager = nullptr;  // a reference of our own
    WebKitUserScript* emulator = nullptr;
    WebKitUserScript* watchdog = nullptr;
    gulong messageHandler = 0;
    std::string renderer = "webgl";
    std::string fallbackUri;  // the page being shown with the canvas renderer
    bool firstFrameSeen = false;
    // Between a load's start and its commit the document on show is the one
    // being left: its players fail because their downloads are cancelled,
    // which says nothing about the renderer.
    bool leaving = false;
    FlashObserver observer;
};

void destroyViewState(gpointer data) {
    ViewState* state = static_cast<ViewState*>(data);
    if (state->messageHandler != 0) g_signal_handler_disconnect(state->manager, state->messageHandler);
    webkit_user_content_manager_unregister_script_message_handler_in_world(state->manager, kWatchdogChannel,
                                                                           kWatchdogWorld);
    if (state->emulator != nullptr) {
        webkit_user_content_manager_remove_script(state->manager, state->emulator);
        webkit_user_script_unref(state->emulator);
    }
    if (state->watchdog != nullptr) {
        webkit_user_content_manager_remove_script(state->manager, state->watchdog);
        webkit_user_script_unref(state->watchdog);
    }
    g_object_unref(state->manager);
    delete state;
}

ViewState* viewState(WebKitWebView* view) {
    return static_cast<ViewState*>(g_object_get_data(G_OBJECT(view), kViewStateKey));
}

std::string folderOf(const char* path) {
    char* folder = g_path_get_dirname(path);
    std::string s = folder;
    g_free(folder);
    return s;
}

bool readFile(const std::string& path, std::string& bytes) {
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return false;
    bytes.assign(contents, length);
    g_free(contents);
    return true;
}

std::string emulatorSource(const std::string& renderer) {
    const ContextState& c = contextState();
    // The configuration must be in place before the emulator's own code runs,
    // in the same script, so that pages that probe for a Flash plugin at once
    // already find one.
    std::string source =
        "(function () {\n"
        "  var ruffle = window.RufflePlayer = window.RufflePlayer || {};\n"
        "  ruffle.config = {\n"
        "    publicPath: \"" +
        std::string(kAssetScheme) +
        "://ruffle/\",\n"
        "    polyfills: true,\n"
        "    autoplay: \"on\",\n"
        "    unmuteOverlay: \"hidden\",\n"
        "    splashScreen: false,\n"
        "    preferredRenderer: \"" +
        renderer +
        "\"\n"
        "  };\n"
        "})();\n"
        "(function () {\n"
        "  var wasm = window.WebAssembly;\n"
        "  var original = wasm && wasm.instantiateStreaming;\n"
        "  if (typeof original !== \"function\") return;\n"
        "  wasm.instantiateStreaming = function () {\n"
        "    var result = original.apply(this, arguments);\n"
        "    result.then(function (done) {\n"
        "      var ours = false;\n"
        "      try {\n"
        "        ours = wasm.Module.exports(done.module).some(function (e) {\n"
        "          return e.name.indexOf(\"ruffleinstancebuilder_\") === 0;\n"
        "        });\n"
        "      } catch (e) {}\n"
        "      if (ours) document.dispatchEvent(new CustomEvent(\"" +
        std::string(kReadyEvent) +
        "\"));\n"
        "    }, function () {});\n"
        "    return result;\n"
        "  };\n"
        "})();\n";
    source += c.ruffleSource;
    source += "\n";
    return source;
}

void installEmulatorScript(ViewState* state) {
    if (state->emulator != nullptr) {
        webkit_user_content_manager_remove_script(state->manager, state->emulator);
        webkit_user_script_unref(state->emulator);
    }
    state->emulator =
        webkit_user_script_new(emulatorSource(state->renderer).c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(state->manager, state->emulator);
}

void notify(ViewState* state, const std::string& event, const std::string& frame) {
    if (state->observer) state->observer(event, frame);
}

void switchRenderer(ViewState* state, const std::string& renderer) {
    state->renderer = renderer;
    installEmulatorScript(state);
    notify(state, "renderer " + renderer, state->fallbackUri);
}

std::string objectProperty(JSCValue* object, const char* name) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    std::string text;
    if (value != nullptr && jsc_value_is_string(value)) {
        char* s = jsc_value_to_string(value);
        text = s != nullptr ? s : "";
        g_free(s);
    }
    if (value != nullptr) g_object_unref(value);
    return text;
}

void onWatchdogMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    ViewState* state = static_cast<ViewState*>(data);
    JSCValue* message = webkit_javascript_result_get_js_value(result);
    if (message == nullptr || !jsc_value_is_object(message)) return;
    std::string kind = objectProperty(message, "kind");
    std::string frame = objectProperty(message, "frame");
    if (kind == "first-frame") {
        if (state->leaving) return;
        state->firstFrameSeen = true;
        notify(state, kind, frame);
        return;
    }
    if (kind != "stalled" && kind != "panic") {
        if (kind == "refused") notify(state, kind, frame);
        return;
    }
    notify(state, state->leaving ? kind + " while leaving" : kind, frame);
    if (state->leaving) return;
    // A renderer that has drawn one player's first frame on this page works;
    // then the failure is that movie's own and a reload would not help. The
    // canvas renderer is the last resort: never reload in a loop.
    if (state->firstFrameSeen || state->renderer != "webgl") return;
    const gchar* uri = webkit_web_view_get_uri(state->view);
    state->fallbackUri = uri != nullptr ? uri : "";
    switchRenderer(state, "canvas");
    webkit_web_view_reload(state->view);
    // The reload does not start at once: the page's other players may report
    // too before it does, and one reload is enough.
    state->leaving = true;
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    ViewState* state = static_cast<ViewState*>(data);
    if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED) state->leaving = false;
    if (event != WEBKIT_LOAD_STARTED) return;
    state->leaving = true;
    state->firstFrameSeen = false;
    // The canvas renderer stays for the page that needed it, reloads included;
    // another page starts with the default again.
    const gchar* uri = webkit_web_view_get_uri(view);
    if (state->renderer != "webgl" && (uri == nullptr || state->fallbackUri != uri)) {
        state->fallbackUri.clear();
        switchRenderer(state, "webgl");
    }
}

void respond(WebKitURISchemeRequest* request, GInputStream* stream, gint64 size, const std::string& type,
             const std::string& allowedOrigin) {
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, size);
    webkit_uri_scheme_response_set_status(response, 200, nullptr);
    webkit_uri_scheme_response_set_content_type(response, type.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_replace(headers, "Content-Type", type.c_str());
    // The emulator fetches its WebAssembly and movies with CORS, and the engine
    // takes even a custom scheme's own origin for another one.
    soup_message_headers_replace(headers, "Access-Control-Allow-Origin", allowedOrigin.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
}

void respondNotFound(WebKitURISchemeRequest* request) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found: %s",
                                webkit_uri_scheme_request_get_uri(request));
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

void respondWithFile(WebKitURISchemeRequest* request, const std::string& path, const std::string& type,
                     const std::string& allowedOrigin) {
    GFile* file = g_file_new_for_path(path.c_str());
    GFileInfo* info =
        g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_SIZE, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    GFileInputStream* stream = info != nullptr ? g_file_read(file, nullptr, nullptr) : nullptr;
    if (stream == nullptr) {
        respondNotFound(request);
    } else {
        respond(request, G_INPUT_STREAM(stream), g_file_info_get_size(info), type, allowedOrigin);
        g_object_unref(stream);
    }
    if (info != nullptr) g_object_unref(info);
    g_object_unref(file);
}

// A file name of the emulator's own folder: no separators, no dot files.
bool isAssetName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    for (char ch : name) {
        if (!g_ascii_isalnum(ch) && ch != '.' && ch != '-' && ch != '_') return false;
    }
    return true;
}

void onAssetRequest(WebKitURISchemeRequest* request, gpointer) {
    std::string path = webkit_uri_scheme_request_get_path(request);
    std::string name = path.substr(path.rfind('/') + 1);
    if (!isAssetName(name)) {
        respondNotFound(request);
        return;
    }
    // Pages of every origin load the emulator.
    respondWithFile(request, contextState().assetDirectory + "/" + name, contentTypeForName(name), "*");
}

void onLocalGameRequest(WebKitURISchemeRequest* request, gpointer) {
    LocalGameResource resource = resolveLocalGame(webkit_uri_scheme_request_get_uri(request));
    switch (resource.kind) {
        case LocalGameResource::Kind::Missing:
            respondNotFound(request);
            return;
        case LocalGameResource::Kind::File:
            respondWithFile(request, resource.path, resource.contentType, resource.origin);
            return;
        case LocalGameResource::Kind::SwfPage: {
            GBytes* bytes = g_bytes_new(resource.html.data(), resource.html.size());
            GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
            respond(request, stream, static_cast<gint64>(resource.html.size()),
                    resource.contentType + "; charset=utf-8", resource.origin);
            g_object_unref(stream);
            g_bytes_unref(bytes);
            return;
        }
    }
}

bool isLanguageTag(const std::string& tag) {
    // A primary language of two or three letters, then subtags of letters and digits.
    size_t dash = tag.find('-');
    std::string primary = tag.substr(0, dash);
    if (primary.size() < 2 || primary.size() > 3) return false;
    for (char ch : primary) {
        if (!g_ascii_isalpha(ch)) return false;
    }
    for (size_t i = primary.size(); i < tag.size(); ++i) {
        char ch = tag[i];
        if (!g_ascii_isalnum(ch) && ch != '-') return false;
        if (ch == '-' && (i + 1 == tag.size() || tag[i + 1] == '-')) return false;
    }
    return true;
}

}  // namespace

std::string findAssetDirectory() {
    char* program = g_file_read_link("/proc/self/exe", nullptr);
    if (program == nullptr) return std::string();
    std::string folder = folderOf(program);
    g_free(program);
    // Beside the program (the build folder, or a copied program folder), or
    // where an installed program keeps its data.
    const std::string candidates[] = {folder + "/ruffle", folder + "/../share/webgame-shell/ruffle"};
    for (const std::string& dir : candidates) {
        if (g_file_test((dir + "/ruffle.js").c_str(), G_FILE_TEST_IS_REGULAR)) return dir;
    }
    return std::string();
}

std::vector<std::string> preferredLanguageTags() {
    std::vector<std::string> tags;
    for (const gchar* const* name = g_get_language_names(); *name != nullptr; ++name) {
        std::string n = *name;
        // Skip the codeset and modifier variants ("zh_CN.UTF-8", "sr@latin"):
        // the plain forms follow in the list.
        if (n.find_first_of(".@") != std::string::npos) continue;
        for (char& ch : n) {
            if (ch == '_') ch = '-';
        }
        if (!isLanguageTag(n)) continue;
        bool known = false;
        for (const std::string& t : tags) known = known || g_ascii_strcasecmp(t.c_str(), n.c_str()) == 0;
        if (!known) tags.push_back(n);
    }
    if (tags.empty()) tags.push_back("en-US");
    return tags;
}

bool enableFlashOnContext(WebKitWebContext* context, const FlashOptions& options) {
    ContextState& state = contextState();
    if (!state.attempted) {
        state.attempted = true;
        state.assetDirectory = options.assetDirectory.empty() ? findAssetDirectory() : options.assetDirectory;
        state.firstFrameTimeoutMs = options.firstFrameTimeoutMs;
        state.enabled = !state.assetDirectory.empty() &&
                        readFile(state.assetDirectory + "/ruffle.js", state.ruffleSource) &&
                        !state.ruffleSource.empty();
    }
    if (!state.enabled) return false;
    if (state.contexts.count(context) != 0) return true;
    state.contexts.insert(context);

    webkit_web_context_register_uri_scheme(context, kAssetScheme, onAssetRequest, nullptr, nullptr);
    webkit_web_context_register_uri_scheme(context, kLocalGameScheme, onLocalGameRequest, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    // Secure, so that https pages may load the emulator without mixed-content
    // blocking; CORS-enabled, so that fetch() of the WebAssembly works.
    webkit_security_manager_register_uri_scheme_as_secure(security, kAssetScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kAssetScheme);
    webkit_security_manager_register_uri_scheme_as_secure(security, kLocalGameScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kLocalGameScheme);
    // Local, so that no web page can load the user's files.
    webkit_security_manager_register_uri_scheme_as_local(security, kLocalGameScheme);

    // Under the C locale the engine reports "C" as navigator.language, which
    // the emulator refuses as a language tag.
    std::vector<std::string> tags = preferredLanguageTags();
    std::vector<const gchar*> list;
    for (const std::string& t : tags) list.push_back(t.c_str());
    list.push_back(nullptr);
    webkit_web_context_set_preferred_languages(context, list.data());
    return true;
}

void enableFlashOnView(WebKitWebView* view) {
    const ContextState& c = contextState();
    if (!c.enabled || viewState(view) != nullptr) return;
    ViewState* state = new ViewState;
    state->view = view;
    state->manager =
        WEBKIT_USER_CONTENT_MANAGER(g_object_ref(webkit_web_view_get_user_content_manager(view)));
    webkit_user_content_manager_register_script_message_handler_in_world(state->manager, kWatchdogChannel,
                                                                         kWatchdogWorld);
    state->messageHandler = g_signal_connect(
        state->manager, (std::string("script-message-received::") + kWatchdogChannel).c_str(),
        G_CALLBACK(onWatchdogMessage), state);
    std::string watchdog = kWatchdogSource;
    watchdog.replace(watchdog.find("@TIMEOUT@"), std::strlen("@TIMEOUT@"),
                     std::to_string(c.firstFrameTimeoutMs));
    watchdog.replace(watchdog.find("@READY@"), std::strlen("@READY@"), kReadyEvent);
    watchdog.replace(watchdog.find("@SCHEME@"), std::strlen("@SCHEME@"), kAssetScheme);
    state->watchdog = webkit_user_script_new_for_world(
        watchdog.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START,
        kWatchdogWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(state->manager, state->watchdog);
    installEmulatorScript(state);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), state);
    g_object_set_data_full(G_OBJECT(view), kViewStateKey, state, destroyViewState);
}

std::string addressToLoad(const std::string& address) {
    return contextState().enabled ? localGameAddress(address) : address;
}

std::string addressToReport(const std::string& engineAddress) {
    return fileAddressOf(engineAddress);
}

void observeFlash(WebKitWebView* view, FlashObserver observer) {
    ViewState* state = viewState(view);
    if (state != nullptr) state->observer = std::move(observer);
}

std::string flashRenderer(WebKitWebView* view) {
    ViewState* state = viewState(view);
    return state != nullptr ? state->renderer : std::string();
}

}  // namespace wgs::flash
