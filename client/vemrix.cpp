#include "client/vemrix.h"

#include "client/launch_request.h"
#include "client/machine_id.h"
#include "common/launch.h"
#include "common/steplog.h"
#include "common/textfiles.h"
#include "common/timezone.h"
#include "os/clock.h"
#include "os/platform.h"
#include "os/shell.h"

#include <algorithm>
#include <cmath>

namespace vemr {
namespace {

// The PC's local clock to the whole second, as the launch stamp takes it.
LocalTime NowInWholeSeconds()
{
    const os::LocalDateTime t = os::LocalNow();
    return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

constexpr uint32_t kTrayFlags = kTrayMessage | kTrayIcon | kTrayTip | kTrayState | kTrayBalloon;
constexpr double kBrowserTopInTray = 1000;  // twips
// The browser and the notice as designed over the design client area (twips).
constexpr double kBrowserWidth = 15285, kBrowserHeight = 10575;
constexpr double kNoticeLeft = 3670, kNoticeTop = 3840, kNoticeWidth = 8055, kNoticeHeight = 4000;
constexpr int32_t kNormalWindow = 1;

// The placement's integer division: both operands rounded to whole numbers (halves to even), then
// the quotient truncated toward zero.
double IntegerDivide(double a, double b)
{
    const double ra = std::nearbyint(a), rb = std::nearbyint(b);
    return std::trunc(ra / rb);
}

} // namespace

Placement CentredPlacement(const WorkArea& area, double twipsPerPixelX, double twipsPerPixelY, double width,
                           double height)
{
    Placement p;
    p.top = twipsPerPixelY * area.top +
            std::max(0.0, IntegerDivide(twipsPerPixelY * (area.bottom - area.top) - height, 2));
    p.left = twipsPerPixelX * area.left +
             std::max(0.0, IntegerDivide(twipsPerPixelX * (area.right - area.left) - width, 2));
    return p;
}

Extent FittedWindow(Extent outer, const WorkArea& area, double twipsPerPixelX, double twipsPerPixelY)
{
    if (area.right <= area.left || area.bottom <= area.top) return outer;
    return {std::min(outer.width, twipsPerPixelX * (area.right - area.left)),
            std::min(outer.height, twipsPerPixelY * (area.bottom - area.top))};
}

ClientLayout LayoutFor(Extent client, double twipsPerPixelX, double twipsPerPixelY)
{
    // What the area lacks of the design area as the screen shows it, in whole pixels.
    const double shortX = std::max(0.0, std::round(kDesignClientArea.width / twipsPerPixelX) * twipsPerPixelX -
                                            client.width);
    const double shortY = std::max(0.0, std::round(kDesignClientArea.height / twipsPerPixelY) * twipsPerPixelY -
                                            client.height);
    return {{kBrowserWidth - shortX, kBrowserHeight - shortY},
            kNoticeLeft - shortX / 2,
            kNoticeTop - shortY / 2,
            {kNoticeWidth, kNoticeHeight}};
}

void Vemrix::Form_Initialize()
{
    os::RunEvent([&] { EnvironChk(0); });
}

bool Vemrix::EnvironChk(int16_t /*LeastFreeSpace*/)
{
    // The running copy is neither told nor brought forward.
    claim_.emplace(os::ExeName());
    if (claim_->AnotherCopyRunning()) os::EndProgram();
    return true;
}

void Vemrix::Form_Load()
{
    os::RunEvent([&] { StartUp(); });
}

void Vemrix::StartUp()
{
    const std::wstring folder = WorkAtCurPath();
    int16_t readState = 0;  // not examined: every failure reads as the empty text
    const auto lines = SplitConfig(GetStrFromFile(folder + L"config.txt", false, readState));
    if (!lines) os::EndProgram();  // silently: no message, no window, no time synchroniser
    // Line 1 the caption, line 2 the host, line 4 the server's zone; line 3 is the installer's.
    const std::wstring& title = (*lines)[0];
    const std::wstring& serverZone = (*lines)[3];

    window_.SetCaption(title);
    tag_ = (*lines)[1];  // every later use reads the host back from the tag
    // The synchroniser may correct the clock after the stamp below is taken: the client never waits.
    TavinShell(folder + os::ProgramFileName(L"horasync"), tag_, folder, kNormalWindow);

    const std::wstring machineId = GetMachineId(kSoftName);
    const std::wstring version = VersionText();
    std::wstring zoneName;  // the short zone name is not used
    const int32_t zoneOffset = GeTimeZone(zoneName);
    const double serverHours = ReadAsNumber(serverZone);  // a non-number stops the start-up here
    const std::wstring stamp = TimeStamp(ServerTime(NowInWholeSeconds(), zoneOffset, serverHours));
    const std::wstring hostDigest = HostDigest(tag_);
    const std::wstring url = LaunchAddress(tag_, stamp, version);
    const std::wstring signature = RequestSignature(machineId, stamp, version, hostDigest);
    // The Headers argument ends with CR LF, its documented form: a browser control that appends its
    // own headers then starts them on a line of their own.
    window_.Navigate(url, IdentityHeader(machineId, signature) + L"\r\n");
}

void Vemrix::Form_Paint()
{
    os::RunEvent([&] {
        if (firstPaint_) return;
        firstPaint_ = true;
        TavinMiddleForm();  // its result only tells; nothing depends on it
    });
}

bool Vemrix::TavinMiddleForm()
{
    StepLog steps;
    steps.Run([&] {
        if (window_.GetWindowState() != WindowState::Normal) window_.SetWindowState(WindowState::Normal);
    });
    WorkArea area;
    steps.Run([&] { area = window_.GetWorkArea(); });
    steps.Run([&] {
        const Placement p = CentredPlacement(area, window_.TwipsPerPixelX(), window_.TwipsPerPixelY(),
                                             window_.WindowWidth(), window_.WindowHeight());
        window_.MoveWindow(p.left, p.top);
    });
    steps.Run([&] { window_.RemoveSizeCommand(); });
    return !steps.AnyFailed();
}

void Vemrix::Form_Resize()
{
    os::RunEvent([&] {
        if (!window_.BrowserVisible()) os::EndProgram();  // the network notice shows: any resize ends
        if (window_.GetWindowState() == WindowState::Minimised) {
            addtotray(L"");
            window_.SetWindowVisible(false);
            window_.SetBrowserTop(kBrowserTopInTray);
        }
    });
}

void Vemrix::addtotray(std::wstring_view memotext)
{
    if (tray_.size != 0) return;
    TrayRecord record;
    record.flags = kTrayFlags;
    record.callbackMessage = kMouseMoveMessage;
    record.tip = memotext.empty() ? window_.Caption() : std::wstring(memotext);
    record.size = kTrayRecordSize;
    tray_ = record;
    window_.NotifyIcon(kTrayAdd, tray_);  // a failed add still counts as shown
}

void Vemrix::Form_MouseMove(double x)
{
    os::RunEvent([&] {
        if (tray_.size == 0) return;
        // The tray puts its mouse message where the X coordinate goes, in pixels.
        const double message = x / window_.TwipsPerPixelX();
        if (message >= kFirstButtonMessage && message <= kLastButtonMessage) {
            window_.SetBrowserTop(0);
            DeleteTray();
            LetMeTop(true);
        }
    });
}

void Vemrix::DeleteTray()
{
    if (tray_.size == 0) return;
    window_.SetWindowState(WindowState::Normal);
    window_.NotifyIcon(kTrayDelete, tray_);
    tray_.size = 0;
    window_.SetWindowVisible(true);
}

void Vemrix::LetMeTop(bool TopOrMove)
{
    os::PumpEvents();
    window_.SetZOrder(TopOrMove);
    os::PumpEvents();
}

void Vemrix::Tavin_DocumentComplete(std::wstring_view URL)
{
    os::RunEvent([&] {
        if (URL.find(L"logout.asp") != std::wstring_view::npos) os::EndProgram();
    });
}

void Vemrix::Tavin_NavigateError()
{
    os::RunEvent([&] { window_.SetBrowserVisible(false); });
}

} // namespace vemr
