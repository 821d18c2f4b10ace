// The client's Win32 pieces under the real platform: the browser event sink as the control calls
// it, the machine facts, the single-copy claim and the tray record's layout.
#include "client/browser_win32.h"
#include "client/vemrix.h"
#include "os/machine.h"
#include "os/single_copy.h"
#include "tests/unit/with_stand_in/vemr_window_double.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>

using namespace vemrtest;

namespace {

// Calls the sink the way the browser control does: arguments last first, URL as a VARIANT held by
// reference.
HRESULT Fire(IDispatch& sink, DISPID event, const std::wstring& url)
{
    BSTR text = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT urlValue;
    VariantInit(&urlValue);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = text;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    for (auto& a : args) VariantInit(&a);
    UINT count = 0;
    if (event == vemr::kNavigateError) {
        // NavigateError(pDisp, URL, Frame, StatusCode, Cancel)
        args[0].vt = VT_BOOL | VT_BYREF;
        args[0].pboolVal = &cancel;
        args[1].vt = VT_I4;
        args[1].lVal = static_cast<LONG>(0x800C0008);
        args[2].vt = VT_BSTR;
        args[2].bstrVal = nullptr;
        args[3].vt = VT_VARIANT | VT_BYREF;
        args[3].pvarVal = &urlValue;
        args[4].vt = VT_DISPATCH;
        args[4].pdispVal = nullptr;
        count = 5;
    } else {
        // DocumentComplete(pDisp, URL)
        args[0].vt = VT_VARIANT | VT_BYREF;
        args[0].pvarVal = &urlValue;
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = nullptr;
        count = 2;
    }
    DISPPARAMS parameters{args, nullptr, count, 0};
    const HRESULT hr =
        sink.Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    SysFreeString(text);
    EXPECT_EQ(cancel, VARIANT_FALSE);  // Cancel is left as it was
    return hr;
}

struct Sink {
    std::vector<std::wstring> journal;
    FakeWindow host{journal};
    vemr::Vemrix window{host};
    Microsoft::WRL::ComPtr<IDispatch> events;
    Sink() { events.Attach(new vemr::BrowserEvents(window)); }
};

} // namespace

TEST(VemrBrowserSink, SignOutPagesEndTheClient)
{
    const struct {
        std::wstring url;
        bool ends;
    } cases[] = {
        {L"http://op.vemr.test:8080/logout.asp", true},
        {L"http://op.vemr.test:8080/main.asp?after=logout.asp&x=1", true},        // in the query
        {L"http://op.vemr.test:8080/frames/menu/logout.asp", true},              // a frame's document
        {L"http://op.vemr.test:8080/Logout.asp", false},
        {L"http://op.vemr.test:8080/LOGOUT.ASP", false},
        {L"http://op.vemr.test:8080/language.asp?lau=cn", false},
    };
    for (const auto& c : cases) {
        Sink s;
        if (c.ends) {
            // The real end: the process ends at once, without an error report (exit code 0).
            EXPECT_EXIT(Fire(*s.events.Get(), vemr::kDocumentComplete, c.url), testing::ExitedWithCode(0), "")
                << c.url;
            continue;
        }
        EXPECT_EQ(Fire(*s.events.Get(), vemr::kDocumentComplete, c.url), S_OK) << c.url;
        EXPECT_TRUE(s.host.journal.empty()) << c.url;
    }
}

TEST(VemrBrowserSink, NothingLeavesTheSinkAsAnException)
{
    // Something that passes the window's error rule unwinds out of the handler: the sink keeps it
    // out of the control and answers with a failure code.
    struct Throwing : FakeWindow {
        using FakeWindow::FakeWindow;
        void SetBrowserVisible(bool) override { throw ProgramEnded{}; }
    };
    std::vector<std::wstring> journal;
    Throwing host(journal);
    vemr::Vemrix window(host);
    Microsoft::WRL::ComPtr<IDispatch> events;
    events.Attach(new vemr::BrowserEvents(window));
    EXPECT_EQ(Fire(*events.Get(), vemr::kNavigateError, L"http://op.vemr.test:8080/language.asp"), E_UNEXPECTED);
}

TEST(VemrBrowserSink, NavigationErrorHidesTheBrowser)
{
    Sink s;
    EXPECT_EQ(Fire(*s.events.Get(), vemr::kNavigateError, L"http://op.vemr.test:8080/language.asp"), S_OK);
    EXPECT_FALSE(s.host.browserVisible);
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"browser-hide"}));
}

TEST(VemrBrowserSink, OtherEventsAreAnsweredAndIgnored)
{
    Sink s;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (DISPID other : {250 /* BeforeNavigate2 */, 252 /* NavigateComplete2 */, 102 /* StatusTextChange */,
                         104 /* DownloadComplete */, 113 /* TitleChange */}) {
        EXPECT_EQ(s.events->Invoke(other, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    }
    EXPECT_TRUE(s.host.journal.empty());
    // A malformed DocumentComplete is refused, not read past its arguments.
    EXPECT_EQ(s.events->Invoke(vemr::kDocumentComplete, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                               nullptr),
              E_INVALIDARG);
}

TEST(VemrBrowserSink, AnswersAsTheEventInterface)
{
    Sink s;
    Microsoft::WRL::ComPtr<IUnknown> asEvents;
    EXPECT_EQ(s.events->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(asEvents.GetAddressOf())),
              S_OK);
    Microsoft::WRL::ComPtr<IUnknown> other;
    EXPECT_EQ(s.events->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(other.GetAddressOf())),
              E_NOINTERFACE);
}

TEST(VemrBrowserSink, ArgumentTextReadsEveryFormOfUrl)
{
    BSTR text = SysAllocString(L"http://h/logout.asp");
    VARIANT direct;
    VariantInit(&direct);
    direct.vt = VT_BSTR;
    direct.bstrVal = text;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BSTR | VT_BYREF;
    byRef.pbstrVal = &text;
    VARIANT throughVariant;
    VariantInit(&throughVariant);
    throughVariant.vt = VT_VARIANT | VT_BYREF;
    throughVariant.pvarVal = &direct;
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    EXPECT_EQ(vemr::ArgumentText(direct), L"http://h/logout.asp");
    EXPECT_EQ(vemr::ArgumentText(byRef), L"http://h/logout.asp");
    EXPECT_EQ(vemr::ArgumentText(throughVariant), L"http://h/logout.asp");
    EXPECT_EQ(vemr::ArgumentText(number), L"");
    SysFreeString(text);
}

TEST(VemrMachineFacts, VolumeSerialOfDriveC)
{
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationW(L"c:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(os::VolumeSerialNumber(L"c:\\"), static_cast<int32_t>(serial));
    EXPECT_EQ(os::VolumeSerialNumber(L"q:\\"), 0);  // no such drive
}

TEST(VemrMachineFacts, ComputerNameInItsBuffer)
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(name, &size));
    const std::wstring buffer = os::ComputerNameBuffer();
    EXPECT_EQ(buffer.size(), 255u);
    EXPECT_EQ(buffer.substr(0, buffer.find(L'\0')), name);
}

TEST(VemrMachineFacts, ProcessorIdsThroughTheManagementMoniker)
{
    std::wstring name = os::ComputerNameBuffer();
    name.resize(name.find(L'\0'));
    const auto ids = os::ProcessorIds(L"winmgmts:{impersonationLevel=impersonate}!\\\\" + name + L"\\root\\cimv2");
    ASSERT_FALSE(ids.empty());
    ASSERT_TRUE(ids.front().has_value());
    EXPECT_FALSE(ids.front()->empty());
    EXPECT_TRUE(os::ProcessorIds(L"winmgmts:!\\\\.\\root\\nosuchnamespace").empty());
    EXPECT_TRUE(os::ProcessorIds(L"nosuchmoniker:x").empty());
}

TEST(VemrSingleCopy, ALaterClaimSeesTheEarlierOne)
{
    const std::wstring name = L"vemr-test-" + std::to_wstring(GetCurrentProcessId());
    {
        os::SingleCopyClaim first(name);
        EXPECT_FALSE(first.AnotherCopyRunning());
        os::SingleCopyClaim second(name);
        EXPECT_TRUE(second.AnotherCopyRunning());
        os::SingleCopyClaim otherCase(L"VEMR-TEST-" + std::to_wstring(GetCurrentProcessId()));
        EXPECT_TRUE(otherCase.AnotherCopyRunning());  // one program whatever the case of its file name
        os::SingleCopyClaim otherProgram(name + L"x");
        EXPECT_FALSE(otherProgram.AnotherCopyRunning());
    }
    os::SingleCopyClaim afterTheEnd(name);
    EXPECT_FALSE(afterTheEnd.AnotherCopyRunning());  // a copy that ended leaves nothing behind
}

TEST(VemrTrayRecord, AnsiLayoutWithBalloonFields)
{
#if defined(__i386__)
    EXPECT_EQ(NOTIFYICONDATAA_V2_SIZE, 488u);
#endif
    EXPECT_EQ(vemr::Vemrix::kTrayRecordSize, 488u);
    EXPECT_EQ(sizeof(NOTIFYICONDATAA::szTip), 128u);
    EXPECT_EQ(sizeof(NOTIFYICONDATAA::szInfo), 256u);
    EXPECT_EQ(sizeof(NOTIFYICONDATAA::szInfoTitle), 64u);
}
