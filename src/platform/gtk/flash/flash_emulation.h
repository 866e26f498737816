// Flash content in the web view, played by an emulator (Ruffle, WebAssembly)
// that is injected into every page and frame, so that <embed> and <object>
// SWF content plays as if a Flash player were installed.
//
// The backend calls, in this order:
//   enableFlashOnContext(context)   once, before the first view loads anything
//   enableFlashOnView(view)         for every web view, before it loads anything
// and passes every address it navigates to through addressToLoad() and every
// address it reports through addressToReport().
//
// The emulator's files are served through the ruffle-asset scheme, because
// the engine refuses to fetch WebAssembly from file:// for a web page. When
// its files cannot be found, nothing is changed and pages show what they
// would show without it.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "platform/gtk/flash/local_games.h"

namespace wgs::flash {

inline constexpr const char* kAssetScheme = "ruffle-asset";

struct FlashOptions {
    // The folder holding ruffle.js and its chunks and .wasm files; empty: found
    // by findAssetDirectory().
    std::string assetDirectory;
    // A player that shows no first frame and makes no loading progress for this
    // long is taken as a failed renderer.
    int firstFrameTimeoutMs = 10000;
};

// Where the emulator's files are: the folder "ruffle" beside the program
// file, else ../share/webgame-shell/ruffle from the program's folder. Empty
// when neither holds ruffle.js.
std::string findAssetDirectory();

// Registers both schemes, sets the preferred languages and reads the emulator
// into memory. False (and the context untouched) when the files are missing.
// Call once per context; later calls return the first call's result.
bool enableFlashOnContext(WebKitWebContext* context, const FlashOptions& options = FlashOptions());

// Adds the emulator and its watchdog to the view's user content manager. Does
// nothing when enableFlashOnContext has not succeeded. The view must have a
// user content manager of its own (not shared with other views): the
// renderer fallback changes the scripts of this one view.
void enableFlashOnView(WebKitWebView* view);

// The address to load for an address the user gave: while the emulation is
// on, a local file goes through the local-game scheme (see local_games.h),
// since the emulator plays nothing on a file:// page; else it is unchanged.
std::string addressToLoad(const std::string& address);

// The address to report for the engine's address: the file:// form of a
// local-game address, any other address unchanged.
std::string addressToReport(const std::string& engineAddress);

// What the watchdog saw, for tests and measurements: "first-frame",
// "stalled", "panic", "refused" (the page's security policy refuses the
// emulator) and "renderer canvas"/"renderer webgl" (a switch of the renderer
// the view's next loads use), with the address of the frame.
using FlashObserver = std::function<void(const std::string& event, const std::string& frame)>;
void observeFlash(WebKitWebView* view, FlashObserver observer);

// The renderer the view's pages are configured with now: "webgl" or "canvas".
std::string flashRenderer(WebKitWebView* view);

// The language tags for the engine, from the user's locale; "en-US" when the
// locale names none (the C locale), since the emulator needs a valid tag.
std::vector<std::string> preferredLanguageTags();

}  // namespace wgs::flash
