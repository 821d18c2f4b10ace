// The web-browser control Tavin, hosted in place in the client's window through plain COM: a
// minimal client site and in-place frame, IWebBrowser2 for Navigate, and a DWebBrowserEvents2 sink
// that hands DocumentComplete and NavigateError to the window's handlers.
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <string>
#include <string_view>

namespace vemr {

class Vemrix;

constexpr DISPID kDocumentComplete = 259;
constexpr DISPID kNavigateError = 271;

// The text an event argument carries: a BSTR, directly or by reference, or through a VARIANT held by
// reference (as the control passes URL); empty for anything else.
std::wstring ArgumentText(const VARIANT& argument);

// The connection-point sink for DWebBrowserEvents2: DocumentComplete(pDisp, URL) and
// NavigateError(pDisp, URL, Frame, StatusCode, Cancel) reach the window; every other event is
// answered and ignored. Reference-counted; created with one reference.
class BrowserEvents final : public IDispatch {
public:
    explicit BrowserEvents(Vemrix& window) : window_(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    LONG references_ = 1;
    Vemrix& window_;
};

// The control, in place in a parent window. Released (events disconnected, object closed) when
// destroyed.
class EmbeddedBrowser {
public:
    EmbeddedBrowser() = default;
    ~EmbeddedBrowser();
    EmbeddedBrowser(const EmbeddedBrowser&) = delete;
    EmbeddedBrowser& operator=(const EmbeddedBrowser&) = delete;

    // Creates the control at `rect` (pixels, in the parent's client area) and connects `events`.
    HRESULT Create(HWND parent, const RECT& rect, IDispatch* events);
    // Navigate(URL, Flags, TargetFrameName, PostData, Headers) with the three middle ones omitted.
    HRESULT Navigate(std::wstring_view url, std::wstring_view headers);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void SetTop(int pixels);
    // Lets the page have its keys (Tab, Enter, editing keys) before the window does.
    bool TranslateAccelerator(MSG& message);

private:
    Microsoft::WRL::ComPtr<IOleClientSite> site_;
    Microsoft::WRL::ComPtr<IOleObject> object_;
    Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
    Microsoft::WRL::ComPtr<IConnectionPoint> events_;
    DWORD cookie_ = 0;
    RECT rect_{};
    bool visible_ = true;
};

} // namespace vemr
