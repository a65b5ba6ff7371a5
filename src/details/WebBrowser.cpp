// Hosting of the WebBrowser control (see WebBrowser.h).
//
// The site is a separate reference-counted COM object rather than part of
// CWebBrowser2: the control may keep a reference to it for a moment after
// we let go, and the site must then not point into a wrapper that is gone.
// It knows only the child window, and forgets that on Detach.
#include "details/WebBrowser.h"

#include <exdisp.h>
#include <ocidl.h>

#include <vector>

namespace {

// The WebBrowser control.
const CLSID kClsidWebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

const char kHostClass[] = "QuellfixBrowserHost";

bool RegisterHostClass(WNDPROC proc) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA existing;
    if (::GetClassInfoA(instance, kHostClass, &existing)) return true;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    // Until (or unless) a page shows, the area looks like an empty page.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHostClass;
    return ::RegisterClassA(&wc) != 0;
}

}  // namespace

// The control's view of its container.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDispatch {
public:
    explicit BrowserSite(HWND host) : m_host(host) {}
    void Detach() { m_host = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
            *ppv = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
            *ppv = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) ||
                   IsEqualIID(riid, IID_IOleInPlaceFrame)) {
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        } else if (IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    // IOleClientSite: nothing is saved and there is no document container.
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
        if (ppmk) *ppmk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override {
        if (ppContainer) *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (for both the site and the frame)
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (!phwnd) return E_POINTER;
        *phwnd = m_host;
        return m_host ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_host ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                  LPRECT lprcPosRect, LPRECT lprcClipRect,
                                  LPOLEINPLACEFRAMEINFO lpFrameInfo) override {
        if (ppFrame) {
            *ppFrame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        // The frame is also the document window.
        if (ppDoc) *ppDoc = nullptr;
        RECT client = {};
        if (m_host) ::GetClientRect(m_host, &client);
        if (lprcPosRect) *lprcPosRect = client;
        if (lprcClipRect) *lprcClipRect = client;
        if (lpFrameInfo) {
            // cb is set by the caller and says how much of the structure it has.
            lpFrameInfo->fMDIApp = FALSE;
            lpFrameInfo->hwndFrame = m_host ? ::GetAncestor(m_host, GA_ROOT) : nullptr;
            lpFrameInfo->haccel = nullptr;
            lpFrameInfo->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow: no tool space, menus or status line to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch for ambient properties: every one is left at the control's
    // default, which the control learns from DISP_E_MEMBERNOTFOUND.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
        if (rgDispId) {
            for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~BrowserSite() = default;
    LONG m_refs = 1;
    HWND m_host;
};

CWebBrowser2::~CWebBrowser2() { DestroyWindow(); }

BOOL CWebBrowser2::Create(const char* windowName, DWORD style, const RECT& rect, HWND parent,
                          UINT id) {
    DestroyWindow();
    if (!parent || !::IsWindow(parent) || !RegisterHostClass(&CWebBrowser2::HostProc)) {
        return FALSE;
    }
    m_hWnd = ::CreateWindowExA(0, kHostClass, windowName ? windowName : "",
                               (style | WS_CHILD) & ~WS_POPUP, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               ::GetModuleHandleA(nullptr), this);
    if (!m_hWnd) return FALSE;

    IOleObject* object = nullptr;
    if (FAILED(::CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&object))) ||
        !object) {
        return FALSE;
    }
    m_pObject = object;
    m_pSite = new BrowserSite(m_hWnd);

    // The control wants its site before it is initialised; it starts from
    // no persisted state.
    m_pObject->SetClientSite(static_cast<IOleClientSite*>(m_pSite));
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(m_pObject->QueryInterface(IID_IPersistStreamInit,
                                            reinterpret_cast<void**>(&persist))) &&
        persist) {
        persist->InitNew();
        persist->Release();
    }

    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    if (FAILED(m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                 static_cast<IOleClientSite*>(m_pSite), 0, m_hWnd, &client)) ||
        FAILED(m_pObject->QueryInterface(IID_IWebBrowser2,
                                         reinterpret_cast<void**>(&m_pBrowser))) ||
        !m_pBrowser) {
        m_pBrowser = nullptr;
        ReleaseControl();
        return FALSE;
    }
    return TRUE;
}

HRESULT CWebBrowser2::Navigate(const char* url, VARIANT* flags, VARIANT* targetFrameName,
                               VARIANT* postData, VARIANT* headers) {
    if (!m_pBrowser) return E_FAIL;

    const char* text = url ? url : "";
    int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::vector<WCHAR> wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    BSTR address = ::SysAllocString(wide.data());
    if (!address) return E_OUTOFMEMORY;

    // A missing optional argument is an empty VARIANT, which every
    // implementation of the method treats as absent (a null pointer is not
    // read the same way by all of them).
    VARIANT empty[4];
    for (VARIANT& v : empty) ::VariantInit(&v);
    HRESULT hr = m_pBrowser->Navigate(address, flags ? flags : &empty[0],
                                      targetFrameName ? targetFrameName : &empty[1],
                                      postData ? postData : &empty[2], headers ? headers : &empty[3]);
    ::SysFreeString(address);
    return hr;
}

void CWebBrowser2::ReleaseControl() {
    IOleObject* object = m_pObject;
    IWebBrowser2* browser = m_pBrowser;
    BrowserSite* site = m_pSite;
    m_pObject = nullptr;
    m_pBrowser = nullptr;
    m_pSite = nullptr;

    if (browser) browser->Release();
    if (object) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject,
                                             reinterpret_cast<void**>(&inPlace))) &&
            inPlace) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object->Release();
    }
    if (site) {
        site->Detach();
        site->Release();
    }
}

void CWebBrowser2::DestroyWindow() {
    ReleaseControl();
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd);
    }
}

void CWebBrowser2::Resize() {
    if (!m_pObject || !m_hWnd) return;
    IOleInPlaceObject* inPlace = nullptr;
    if (FAILED(m_pObject->QueryInterface(IID_IOleInPlaceObject,
                                         reinterpret_cast<void**>(&inPlace))) ||
        !inPlace) {
        return;
    }
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    inPlace->SetObjectRects(&client, &client);
    inPlace->Release();
}

LRESULT CALLBACK CWebBrowser2::HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    CWebBrowser2* self = reinterpret_cast<CWebBrowser2*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) {
        switch (msg) {
        case WM_SIZE:
            self->Resize();
            break;
        case WM_DESTROY:
            // The dialog is going away with us: the control goes first, while
            // its window still has a parent.
            self->ReleaseControl();
            break;
        case WM_NCDESTROY:
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            self->m_hWnd = nullptr;
            break;
        default:
            break;
        }
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}
