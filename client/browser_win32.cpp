#include "client/browser_win32.h"

#include "client/vemrix.h"
#include "os/win32/com_values.h"

#include <oleauto.h>

using Microsoft::WRL::ComPtr;

namespace vemr {
namespace {

// The container side of an in-place control, as little as the control needs: its client site, the
// in-place site it activates in and the frame it asks for. The control draws into the parent
// window; menus, borders, status text and undo are declined.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    BrowserSite(HWND parent, const RECT& rect) : parent_(parent), rect_(rect) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *object = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *object = static_cast<IOleInPlaceFrame*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (!window) return E_POINTER;
        *window = parent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* info) override
    {
        if (!frame || !document || !position || !clip || !info) return E_POINTER;
        *frame = this;
        AddRef();
        *document = nullptr;
        *position = rect_;
        *clip = rect_;
        info->fMDIApp = FALSE;
        info->hwndFrame = parent_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override
    {
        if (rect) rect_ = *rect;
        return S_OK;
    }

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~BrowserSite() = default;
    LONG references_ = 1;
    HWND parent_;
    RECT rect_;
};

// The control's window (the "Shell Embedding" window that holds the page).
HWND ControlWindow(IOleObject* object)
{
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject,
                                                   reinterpret_cast<void**>(inPlace.GetAddressOf()))))
        inPlace->GetWindow(&window);
    return window;
}

} // namespace

std::wstring ArgumentText(const VARIANT& argument)
{
    switch (argument.vt) {
    case VT_BSTR:
        return argument.bstrVal ? std::wstring(argument.bstrVal, SysStringLen(argument.bstrVal)) : std::wstring();
    case VT_BSTR | VT_BYREF:
        return argument.pbstrVal && *argument.pbstrVal
                   ? std::wstring(*argument.pbstrVal, SysStringLen(*argument.pbstrVal))
                   : std::wstring();
    case VT_VARIANT | VT_BYREF:
        return argument.pvarVal ? ArgumentText(*argument.pvarVal) : std::wstring();
    default:
        return {};
    }
}

HRESULT STDMETHODCALLTYPE BrowserEvents::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BrowserEvents::AddRef() { return InterlockedIncrement(&references_); }

ULONG STDMETHODCALLTYPE BrowserEvents::Release()
{
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE BrowserEvents::GetTypeInfoCount(UINT* count)
{
    if (count) *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEvents::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                                VARIANT*, EXCEPINFO*, UINT*)
{
    // Arguments arrive last first: URL, the second argument of both events, is rgvarg[cArgs - 2].
    // Nothing may leave a COM method as a C++ exception; the window's handlers end the program
    // themselves where they must.
    try {
        if (member == kDocumentComplete) {
            if (!parameters || parameters->cArgs < 2) return E_INVALIDARG;
            window_.Tavin_DocumentComplete(ArgumentText(parameters->rgvarg[parameters->cArgs - 2]));
        } else if (member == kNavigateError) {
            window_.Tavin_NavigateError();  // Cancel stays as it is; StatusCode and Frame are not read
        }
    } catch (...) {
        return E_UNEXPECTED;
    }
    return S_OK;
}

EmbeddedBrowser::~EmbeddedBrowser()
{
    if (events_) events_->Unadvise(cookie_);
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
}

HRESULT EmbeddedBrowser::Create(HWND parent, const RECT& rect, IDispatch* events)
{
    rect_ = rect;
    site_.Attach(new BrowserSite(parent, rect));
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(object_.GetAddressOf()));
    if (FAILED(hr)) return hr;
    if (FAILED(hr = object_->SetClientSite(site_.Get()))) return hr;
    RECT position = rect;
    if (FAILED(hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, parent, &position)))
        return hr;
    if (FAILED(hr = object_.As(&browser_))) return hr;
    ComPtr<IConnectionPointContainer> points;
    if (FAILED(hr = object_.As(&points))) return hr;
    if (FAILED(hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.GetAddressOf()))) return hr;
    if (FAILED(hr = events_->Advise(events, &cookie_))) events_.Reset();
    return hr;
}

HRESULT EmbeddedBrowser::Navigate(std::wstring_view url, std::wstring_view headers)
{
    if (!browser_) return E_UNEXPECTED;
    VARIANT omitted;
    VariantInit(&omitted);  // VT_EMPTY: Flags, TargetFrameName and PostData left out
    VARIANT headerText;
    VariantInit(&headerText);
    Bstr headerValue(headers);
    headerText.vt = VT_BSTR;
    headerText.bstrVal = headerValue;  // owned by headerValue
    return browser_->Navigate(Bstr(url), &omitted, &omitted, &omitted, &headerText);
}

void EmbeddedBrowser::SetVisible(bool visible)
{
    visible_ = visible;
    if (HWND window = ControlWindow(object_.Get())) ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

void EmbeddedBrowser::SetTop(int pixels)
{
    const int height = rect_.bottom - rect_.top;
    rect_.top = pixels;
    rect_.bottom = pixels + height;
    ComPtr<IOleInPlaceObject> inPlace;
    if (object_ && SUCCEEDED(object_.As(&inPlace))) inPlace->SetObjectRects(&rect_, &rect_);
}

bool EmbeddedBrowser::TranslateAccelerator(MSG& message)
{
    if (!browser_ || !visible_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    ComPtr<IOleInPlaceActiveObject> active;
    return SUCCEEDED(browser_.As(&active)) && active->TranslateAccelerator(&message) == S_OK;
}

} // namespace vemr
