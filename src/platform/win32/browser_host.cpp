#include "platform/win32/browser_host.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <oleidl.h>

namespace wgs::win32 {
namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

const wchar_t kPaneClass[] = L"WgsBrowserPane";
const wchar_t kControlClass[] = L"WgsBrowserControl";
constexpr int kControlId = 0xE900;

}  // namespace

// The container side of the WebBrowser control. One object serves as client
// site, in-place site, in-place frame and host UI handler; the control asks
// for each through QueryInterface.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler {
public:
    explicit BrowserSite(HWND control) : control_(control) {}

    void detach() {
        control_ = nullptr;
        setActive(nullptr);
    }
    IOleInPlaceActiveObject* active() const { return active_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
            *out = static_cast<IDocHostUIHandler*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = control_;
        return control_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return control_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (document) *document = nullptr;
        RECT area{};
        if (control_) GetClientRect(control_, &area);
        if (position) *position = area;
        if (clip) *clip = area;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = control_ ? GetAncestor(control_, GA_ROOT) : nullptr;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        setActive(object);
        return S_OK;
    }

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: the control's own behaviour everywhere, with the
    // visual style of the rest of the program.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        info->dwFlags = DOCHOSTUIFLAG_THEME;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) *target = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** dispatch) override {
        if (dispatch) *dispatch = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

private:
    ~BrowserSite() { setActive(nullptr); }
    void setActive(IOleInPlaceActiveObject* object) {
        if (object) object->AddRef();
        if (active_) active_->Release();
        active_ = object;
    }

    ULONG references_ = 1;
    HWND control_;
    IOleInPlaceActiveObject* active_ = nullptr;
};

bool BrowserPane::registerClasses(HINSTANCE instance) {
    WNDCLASSEXW pane{};
    pane.cbSize = sizeof pane;
    pane.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    pane.lpfnWndProc = &BrowserPane::paneProc;
    pane.hInstance = instance;
    pane.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    pane.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    pane.lpszClassName = kPaneClass;
    WNDCLASSEXW control = pane;
    control.lpfnWndProc = &BrowserPane::controlProc;
    control.lpszClassName = kControlClass;
    return RegisterClassExW(&pane) != 0 && RegisterClassExW(&control) != 0;
}

BrowserPane* BrowserPane::create(HINSTANCE instance, HWND parent, const Rect& rect, DWORD styles,
                                 const BrowserSettings& settings) {
    auto* pane = new BrowserPane();
    pane->pane_ = CreateWindowExW(0, kPaneClass, L"", styles | WS_CHILD | WS_CLIPSIBLINGS, rect.left,
                                  rect.top, rect.width, rect.height, parent, nullptr, instance, pane);
    if (!pane->pane_) {
        delete pane;
        return nullptr;
    }
    RECT client{};
    GetClientRect(pane->pane_, &client);
    pane->control_ = CreateWindowExW(
        0, kControlClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right, client.bottom,
        pane->pane_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), instance, pane);
    if (!pane->control_ || !pane->embed(settings)) {
        // Destroying the pane's window releases whatever was made and frees the pane.
        DestroyWindow(pane->pane_);
        return nullptr;
    }
    return pane;
}

bool BrowserPane::embed(const BrowserSettings& settings) {
    site_ = new BrowserSite(control_);
    if (FAILED(CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_)))) {
        object_ = nullptr;
        return false;
    }
    object_->SetClientSite(static_cast<IOleClientSite*>(site_));
    RECT client{};
    GetClientRect(control_, &client);
    object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, control_,
                    &client);
    if (FAILED(object_->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&browser_)))) {
        browser_ = nullptr;
        return false;
    }
    browser_->put_Offline(settings.offline ? VARIANT_TRUE : VARIANT_FALSE);
    browser_->put_Silent(settings.silent ? VARIANT_TRUE : VARIANT_FALSE);
    VARIANT level;
    VariantInit(&level);
    level.vt = VT_I4;
    level.lVal = settings.textSize;
    browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &level, nullptr);
    return true;
}

void BrowserPane::release() {
    if (browser_) {
        browser_->Release();
        browser_ = nullptr;
    }
    if (object_) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_) {
        site_->detach();
        site_->Release();
        site_ = nullptr;
    }
    if (control_ && IsWindow(control_)) DestroyWindow(control_);
    control_ = nullptr;
}

BrowserPane* BrowserPane::fromWindow(HWND window) {
    for (HWND w = window; w; w = GetParent(w)) {
        wchar_t name[32];
        if (GetClassNameW(w, name, 32) && lstrcmpW(name, kPaneClass) == 0) {
            return reinterpret_cast<BrowserPane*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        }
        if (!(GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD)) break;
    }
    return nullptr;
}

void BrowserPane::navigate(const std::wstring& address) {
    if (!browser_) return;
    BSTR url = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
    VARIANT flags, target, postData, headers;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 0;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = nullptr;
    VariantInit(&postData);
    VariantInit(&headers);
    headers.vt = VT_BSTR;
    headers.bstrVal = nullptr;
    browser_->Navigate(url, &flags, &target, &postData, &headers);
    SysFreeString(url);
}

std::wstring BrowserPane::location() {
    if (!browser_) return std::wstring();
    BSTR url = nullptr;
    std::wstring result;
    if (SUCCEEDED(browser_->get_LocationURL(&url)) && url) result.assign(url, SysStringLen(url));
    SysFreeString(url);
    return result;
}

void BrowserPane::refresh() {
    if (browser_) browser_->Refresh();
}

bool BrowserPane::translateAccelerator(MSG& message) {
    IOleInPlaceActiveObject* active = site_ ? site_->active() : nullptr;
    if (active) return active->TranslateAccelerator(&message) == S_OK;
    if (!object_) return false;
    IOleInPlaceActiveObject* object = nullptr;
    if (FAILED(object_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&object))))
        return false;
    const bool taken = object->TranslateAccelerator(&message) == S_OK;
    object->Release();
    return taken;
}

LRESULT CALLBACK BrowserPane::paneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* pane = reinterpret_cast<BrowserPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_SIZE: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            if (pane && pane->control_ && IsWindow(pane->control_)) {
                RECT client{};
                GetClientRect(window, &client);
                SetWindowPos(pane->control_, nullptr, 0, 0, client.right, client.bottom,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return result;
        }
        case WM_SETFOCUS: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            if (pane && pane->control_ && IsWindow(pane->control_)) SetFocus(pane->control_);
            return result;
        }
        case WM_DESTROY:
            if (pane) pane->release();
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            // A window that failed during its creation is freed by create().
            if (pane && pane->pane_) delete pane;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK BrowserPane::controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* pane = reinterpret_cast<BrowserPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_SIZE:
            if (pane && pane->object_) {
                IOleInPlaceObject* inPlace = nullptr;
                if (SUCCEEDED(pane->object_->QueryInterface(IID_IOleInPlaceObject,
                                                            reinterpret_cast<void**>(&inPlace)))) {
                    RECT client{};
                    GetClientRect(window, &client);
                    inPlace->SetObjectRects(&client, &client);
                    inPlace->Release();
                }
            }
            break;
        case WM_SETFOCUS:
            // The control's own window takes the keys; without one (nothing
            // in-place active yet) ask the control to take the focus itself.
            if (pane && pane->object_ && !pane->activating_) {
                HWND inner = GetWindow(window, GW_CHILD);
                if (inner) {
                    SetFocus(inner);
                } else {
                    pane->activating_ = true;
                    RECT client{};
                    GetClientRect(window, &client);
                    pane->object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr,
                                          static_cast<IOleClientSite*>(pane->site_), 0, window, &client);
                    pane->activating_ = false;
                }
            }
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace wgs::win32
