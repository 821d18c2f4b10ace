// The client's window after start-up: browser events, placement, the tray icon and its way back.
#include "client/vemrix.h"
#include "tests/unit/with_stand_in/vemr_window_double.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vemrtest;

namespace {

// A window that has started and shows the operator's site.
struct Shown {
    FakeWindow host;
    vemr::Vemrix window{host};
    Shown()
    {
        host.caption = L"话费充值";
        host.windowVisible = true;
    }
    void Minimise()
    {
        host.state = vemr::WindowState::Minimised;
        window.Form_Resize();
    }
    // A tray mouse message as it arrives: in the X coordinate, converted to twips.
    void TrayMessage(int message) { window.Form_MouseMove(message * host.twipsX); }
};

} // namespace

TEST(VemrBrowserEvents, FinishedPageWithLogoutAspEnds)
{
    const struct {
        std::wstring url;
        bool ends;
    } cases[] = {
        {L"http://op.vemr.test:8080/logout.asp", true},
        {L"http://op.vemr.test:8080/user/logout.asp?from=menu", true},
        {L"http://op.vemr.test:8080/go.asp?next=logout.asp", true},          // in the query
        {L"http://op.vemr.test:8080/frames/logout.aspx", true},              // contains it
        {L"logout.asp", true},
        {L"http://op.vemr.test:8080/Logout.asp", false},
        {L"http://op.vemr.test:8080/LOGOUT.ASP", false},
        {L"http://op.vemr.test:8080/logout.htm", false},
        {L"http://op.vemr.test:8080/logout%2Easp", false},
        {L"http://op.vemr.test:8080/language.asp?lau=cn", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        Shown s;
        EXPECT_EQ(Ends([&] { s.window.Tavin_DocumentComplete(c.url); }), c.ends) << c.url;
        EXPECT_TRUE(s.host.browserVisible) << c.url;
    }
}

TEST(VemrBrowserEvents, NavigationErrorHidesTheBrowserAndNothingElse)
{
    Shown s;
    ASSERT_FALSE(Ends([&] { s.window.Tavin_NavigateError(); }));
    EXPECT_FALSE(s.host.browserVisible);
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"browser-hide"}));
    ASSERT_FALSE(Ends([&] { s.window.Tavin_NavigateError(); }));  // later errors: the same
    ASSERT_FALSE(Ends([&] { s.window.Tavin_DocumentComplete(L"http://h/index.asp"); }));
    EXPECT_FALSE(s.host.browserVisible);  // never shown again in this run
    // A sign-out page still ends the client behind the notice.
    EXPECT_TRUE(Ends([&] { s.window.Tavin_DocumentComplete(L"http://h/logout.asp"); }));
}

TEST(VemrWindow, MinimisingPutsTheWindowInTheTray)
{
    Shown s;
    ASSERT_FALSE(Ends([&] { s.Minimise(); }));
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"tray-add", L"hide", L"browser-top:1000"}));
    EXPECT_EQ(s.host.trayIcons, 1);
    EXPECT_FALSE(s.host.windowVisible);
    EXPECT_EQ(s.host.state, vemr::WindowState::Minimised);
    const vemr::TrayRecord& r = s.host.trayCalls.back();
    EXPECT_EQ(r.size, 488u);
    EXPECT_EQ(r.flags, 31u);
    EXPECT_EQ(r.callbackMessage, 512u);
    EXPECT_EQ(r.tip, L"话费充值");
    EXPECT_EQ(r.state, 0u);
    EXPECT_EQ(r.stateMask, 0u);
    EXPECT_EQ(r.balloonText, L"");
    EXPECT_EQ(r.balloonTitle, L"");
    EXPECT_EQ(r.balloonTimeout, 0u);
    EXPECT_EQ(r.balloonKind, 0u);
    EXPECT_EQ(s.window.Tray().size, 488u);
}

TEST(VemrWindow, EveryTrayClickBringsTheWindowBackTopmost)
{
    for (int message = 513; message <= 521; ++message) {
        Shown s;
        s.Minimise();
        s.host.journal.clear();
        ASSERT_FALSE(Ends([&] { s.TrayMessage(message); })) << message;
        EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"browser-top:0", L"state", L"tray-delete", L"show",
                                                              L"pump", L"topmost", L"pump"}))
            << message;
        EXPECT_EQ(s.host.trayIcons, 0) << message;
        EXPECT_EQ(s.host.trayCalls.back().size, 488u) << message;  // the record handed to the delete
        EXPECT_EQ(s.window.Tray().size, 0u) << message;
        EXPECT_TRUE(s.host.windowVisible) << message;
        EXPECT_EQ(s.host.state, vemr::WindowState::Normal) << message;
        EXPECT_TRUE(s.host.topmost) << message;
        EXPECT_EQ(s.host.browserTop, 0) << message;
    }
}

TEST(VemrWindow, OtherTrayMessagesDoNothing)
{
    for (int message : {512, 0, 511, 522, 1024, 0x400}) {
        Shown s;
        s.Minimise();
        s.host.journal.clear();
        ASSERT_FALSE(Ends([&] { s.TrayMessage(message); })) << message;
        EXPECT_TRUE(s.host.journal.empty()) << message;
        EXPECT_EQ(s.host.trayIcons, 1) << message;
    }
}

TEST(VemrWindow, MouseMovesWithoutTrayIconDoNothing)
{
    Shown s;
    ASSERT_FALSE(Ends([&] { s.TrayMessage(513); }));
    EXPECT_TRUE(s.host.journal.empty());
}

TEST(VemrWindow, TrayMessagesFollowTheScreensTwipsPerPixel)
{
    Shown s;
    s.host.twipsX = 12;  // 120 dpi
    s.Minimise();
    s.window.Form_MouseMove(513 * 15);  // 641.25 pixels at 12 twips: no tray message
    EXPECT_EQ(s.host.trayIcons, 1);
    s.window.Form_MouseMove(513 * 12);
    EXPECT_EQ(s.host.trayIcons, 0);
}

TEST(VemrWindow, ResizeWhileTheNoticeShowsEnds)
{
    for (auto state : {vemr::WindowState::Minimised, vemr::WindowState::Normal, vemr::WindowState::Maximised}) {
        Shown s;
        s.window.Tavin_NavigateError();
        s.host.state = state;
        EXPECT_TRUE(Ends([&] { s.window.Form_Resize(); }));
        EXPECT_FALSE(s.host.Did(L"tray-add"));
    }
}

TEST(VemrWindow, OtherResizesDoNothing)
{
    for (auto state : {vemr::WindowState::Normal, vemr::WindowState::Maximised}) {
        Shown s;
        s.host.state = state;
        ASSERT_FALSE(Ends([&] { s.window.Form_Resize(); }));
        EXPECT_TRUE(s.host.journal.empty());
    }
}

TEST(VemrWindow, AddToTrayAndDeleteTrayOnlyActInTheirState)
{
    Shown s;
    s.window.DeleteTray();  // no icon: nothing
    EXPECT_TRUE(s.host.journal.empty());
    s.window.addtotray(L"提示");
    EXPECT_EQ(s.host.trayCalls.back().tip, L"提示");
    s.window.addtotray(L"again");  // an icon exists: nothing
    EXPECT_EQ(s.host.trayCalls.size(), 1u);
    EXPECT_EQ(s.host.trayIcons, 1);
    s.window.DeleteTray();
    s.window.DeleteTray();
    EXPECT_EQ(s.host.trayCalls.size(), 2u);
    EXPECT_EQ(s.host.trayIcons, 0);
}

TEST(VemrWindow, TheEndNeverRemovesTheTrayIcon)
{
    Shown s;
    s.Minimise();
    EXPECT_TRUE(Ends([&] { s.window.Tavin_DocumentComplete(L"http://h/logout.asp"); }));
    EXPECT_EQ(s.host.trayIcons, 1);
    EXPECT_FALSE(s.host.Did(L"tray-delete"));
}

TEST(VemrWindow, LetMeTopYieldsAroundTheZOrderChange)
{
    Shown s;
    s.window.LetMeTop(false);
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"pump", L"bottom", L"pump"}));
    s.host.journal.clear();
    s.window.LetMeTop(true);
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"pump", L"topmost", L"pump"}));
}

TEST(VemrPlacement, CentredInTheWorkArea)
{
    const struct {
        const char* name;
        vemr::WorkArea area;
        double tp, width, height;
        vemr::Placement expected;
    } cases[] = {
        {"whole screen", {0, 0, 1280, 1024}, 15, 15480, 11130, {1860, 2115}},
        {"taskbar at the bottom", {0, 0, 1280, 994}, 15, 15480, 11130, {1860, 1890}},
        {"taskbar at the top", {0, 30, 1280, 1024}, 15, 15480, 11130, {1860, 2340}},
        {"taskbar at the left", {60, 0, 1280, 1024}, 15, 15480, 11130, {2310, 2115}},
        {"odd pixels: integer division", {0, 0, 1279, 1023}, 15, 15480, 11130, {1852, 2107}},
        {"window larger than the area: at its start", {0, 0, 800, 600}, 15, 15480, 11130, {0, 0}},
        {"larger than the area below a taskbar at the top", {0, 30, 800, 600}, 15, 15480, 11130, {0, 450}},
        {"only wider than the area", {0, 0, 800, 1024}, 15, 15480, 11130, {0, 2115}},
        {"120 dpi", {0, 0, 1280, 1024}, 12, 12384, 8904, {1488, 1692}},
        {"fractional twips per pixel", {0, 0, 1280, 1023}, 14.4, 14861, 10685, {1785, 2023}},
    };
    for (const auto& c : cases) {
        const vemr::Placement p = vemr::CentredPlacement(c.area, c.tp, c.tp, c.width, c.height);
        EXPECT_DOUBLE_EQ(p.left, c.expected.left) << c.name;
        EXPECT_DOUBLE_EQ(p.top, c.expected.top) << c.name;
    }
}

TEST(VemrPlacement, FittedToTheWorkAreaWithTheBrowserCoveringTheClientArea)
{
    // Outer size, browser size, notice's left and top (twips) for a frame of 8 x 36 pixels.
    const struct {
        const char* name;
        vemr::WorkArea area;
        double tp, expected[6];
    } cases[] = {
        {"96 dpi, fits", {0, 0, 1920, 1200}, 15, {15360, 11100, 15285, 10575, 3670, 3840}},
        {"100 dpi, fits in whole pixels", {0, 0, 1920, 1200}, 14.4, {15350.4, 11073.6, 15285, 10575, 3670, 3840}},
        {"empty area (failed query)", {0, 0, 0, 0}, 15, {15360, 11100, 15285, 10575, 3670, 3840}},
        {"1366 x 768 at 120 dpi", {0, 0, 1366, 768}, 12, {15336, 9216, 15285, 8799, 3670, 2952}},
        {"1920 x 1080 less a taskbar, 144 dpi", {0, 0, 1920, 1040}, 10, {15320, 10400, 15285, 10055, 3670, 3580}},
        {"1280 x 1024 at 144 dpi", {0, 0, 1280, 1024}, 10, {12800, 10240, 12765, 9895, 2410, 3500}},
    };
    for (const auto& c : cases) {
        const double frameX = 8 * c.tp, frameY = 36 * c.tp;
        const vemr::Extent fit = vemr::FittedWindow(
            {std::round(15240 / c.tp) * c.tp + frameX, std::round(10560 / c.tp) * c.tp + frameY}, c.area, c.tp, c.tp);
        const vemr::ClientLayout l = vemr::LayoutFor({fit.width - frameX, fit.height - frameY}, c.tp, c.tp);
        const double got[] = {fit.width, fit.height, l.browser.width, l.browser.height, l.noticeLeft, l.noticeTop};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-6) << c.name << " value " << i;
    }
}

TEST(VemrPlacement, CentredOnceAtTheFirstPaint)
{
    Shown s;
    s.host.area = {0, 30, 1280, 1024};
    s.window.Form_Paint();
    EXPECT_DOUBLE_EQ(s.host.left, 1860);
    EXPECT_DOUBLE_EQ(s.host.top, 2340);
    EXPECT_TRUE(s.host.sizeCommandRemoved);
    s.host.left = s.host.top = 0;  // the user moves it
    s.host.journal.clear();
    s.window.Form_Paint();
    s.window.Form_Paint();
    EXPECT_DOUBLE_EQ(s.host.left, 0);
    EXPECT_TRUE(s.host.journal.empty());
}

TEST(VemrPlacement, MiddleFormNormalisesFirstAndSkipsFailedSteps)
{
    Shown s;
    s.host.state = vemr::WindowState::Maximised;
    EXPECT_TRUE(s.window.TavinMiddleForm());
    EXPECT_EQ(s.host.journal, (std::vector<std::wstring>{L"state", L"move", L"nosize"}));
    EXPECT_EQ(s.host.state, vemr::WindowState::Normal);

    Shown failing;
    failing.host.failPlacement = true;
    EXPECT_FALSE(failing.window.TavinMiddleForm());
    EXPECT_TRUE(failing.host.sizeCommandRemoved);  // the next step still ran
    // The first paint ignores the result and the program goes on.
    Shown painted;
    painted.host.failPlacement = true;
    EXPECT_FALSE(Ends([&] { painted.window.Form_Paint(); }));
}
