// The WebBrowser control in a child window, hosted by a minimal OLE container
// of our own: a client site, an in-place site and frame, and a host UI
// handler.
//
// Window structure: the pane's own window (class WgsBrowserPane) holds one
// child, the control window (id 0xE900), which always fills the pane's
// client area; the WebBrowser control is in-place active inside it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

struct IWebBrowser2;
struct IOleObject;
struct IOleInPlaceActiveObject;

namespace wgs::win32 {

class BrowserSite;

class BrowserPane {
public:
    // Registers the two window classes; once per process.
    static bool registerClasses(HINSTANCE instance);

    // The pane's window and the control in it, or null with nothing left behind.
    static BrowserPane* create(HINSTANCE instance, HWND parent, const Rect& rect, DWORD styles,
                               const BrowserSettings& settings);
    // The pane whose window is `window` or contains it, or null.
    static BrowserPane* fromWindow(HWND window);

    HWND window() const { return pane_; }
    void navigate(const std::wstring& address);
    // Null-free: an absent location is the empty string.
    std::wstring location();
    void refresh();
    // Gives the active control its turn at a keyboard message; true when it took it.
    bool translateAccelerator(MSG& message);

private:
    BrowserPane() = default;
    ~BrowserPane() = default;
    static LRESULT CALLBACK paneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool embed(const BrowserSettings& settings);
    void release();

    HWND pane_ = nullptr;
    HWND control_ = nullptr;
    BrowserSite* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    bool activating_ = false;
};

}  // namespace wgs::win32
