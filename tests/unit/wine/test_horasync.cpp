// The os services horasync uses, against the real thing (under Wine here): WaitShell on real
// processes, the UDP socket on loopback, the trace file's writes, GB2312, one HTTP exchange and
// socket notifications while a handler lets events run.
#include "os/errors.h"
#include "common/launch.h"
#include "os/clock.h"
#include "os/net.h"
#include "os/platform.h"
#include "os/processes.h"
#include "tests/unit/wine/wine_support.h"
#include "timesync/autotime.h"
#include "timesync/autotime_win32.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace horasync;
using testsupport::TempFolder;

namespace {

std::wstring Helper(const std::wstring& arguments)
{
    return L"\"" + testsupport::ExeFolder() + L"test_helper.exe\" " + arguments;
}

// True when the file can be opened exclusively within `milliseconds`: nobody holds it any more.
bool FreeWithin(const std::wstring& path, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        Sleep(20);
    } while (GetTickCount() - start < milliseconds);
    return false;
}

struct Event {
    HANDLE handle;
    explicit Event(const std::wstring& name) : handle(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
    ~Event() { CloseHandle(handle); }
};

// A UDP socket of the test's own on 127.0.0.1, standing for the SNTP server.
struct TestSocket {
    SOCKET s = INVALID_SOCKET;
    uint16_t port = 0;
    TestSocket()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
        int length = sizeof local;
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
        DWORD timeout = 3000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    }
    ~TestSocket()
    {
        closesocket(s);
        WSACleanup();
    }
};

// What the window saw of the socket's notifications.
struct Arrivals {
    os::UdpSocket* socket = nullptr;
    int announced = 0;   // datagrams the socket announced
    int read = 0;        // datagrams the handlers read
    int depth = 0;       // handlers running now, one inside the other
    int deepest = 0;
};
Arrivals* g_arrivals = nullptr;

// The handler of an arrival as TimeSock_DataArrival behaves with a trace file that cannot be
// written: it peeks, lets pending events run many times (one pass per failed write attempt), then
// reads. Nesting is capped so that a failure shows as a count, not as a stack overflow.
LRESULT CALLBACK ArrivalWindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message != kSocketMessage) return DefWindowProcW(window, message, w, l);
    Arrivals& a = *g_arrivals;
    if (WSAGETSELECTEVENT(l) != FD_READ || !a.socket->Announce()) return 0;
    ++a.announced;
    ++a.depth;
    a.deepest = std::max(a.deepest, a.depth);
    try {
        a.socket->Peek();
    } catch (const PlatformError&) {
    }
    if (a.depth < 4) {
        for (int pass = 0; pass < 200; ++pass) {
            os::PumpEvents();
            Sleep(1);
        }
    }
    try {
        a.socket->Read();
        ++a.read;
    } catch (const PlatformError&) {
    }
    --a.depth;
    return 0;
}

// Lets the window's messages run for `milliseconds`.
void RunEventsFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(5);
    }
}

} // namespace

TEST(WinHorasync, WaitShellCodesOnRealProcesses)
{
    TempFolder folder;
    Win32AutoTimeWindow form;
    AutoTime autotime(form);

    EXPECT_EQ(autotime.WaitShell(Helper(L"exit 7"), 60, false), kShellEnded);
    EXPECT_EQ(autotime.WaitShell(L"\"" + folder.Path() + L"no such program.exe\"", 60, false), kShellNotStarted);

    const std::wstring held = folder / L"held.txt";
    testsupport::WriteBytes(held, "x");
    {
        Event ready(L"hs_ready_2"), release(L"hs_release_2");
        const DWORD start = GetTickCount();
        EXPECT_EQ(autotime.WaitShell(Helper(L"hold \"" + held + L"\" hs_ready_2 hs_release_2"), 0, false),
                  kShellLeftRunning);
        EXPECT_LT(GetTickCount() - start, 3000u);
        ASSERT_EQ(WaitForSingleObject(ready.handle, 5000), WAIT_OBJECT_0);
        EXPECT_FALSE(FreeWithin(held, 300)) << "left running: still holds its file";
        SetEvent(release.handle);
        EXPECT_TRUE(FreeWithin(held, 5000));
    }
    {
        Event ready(L"hs_ready_3"), release(L"hs_release_3");
        EXPECT_EQ(autotime.WaitShell(Helper(L"hold \"" + held + L"\" hs_ready_3 hs_release_3"), 0, true),
                  kShellTerminated);
        EXPECT_TRUE(FreeWithin(held, 2000)) << "terminated: its file is free without a release";
    }
}

TEST(WinHorasync, UdpSocketSendsAndReadsDatagramsWithTheirSender)
{
    TestSocket server;
    os::UdpSocket socket;
    ASSERT_NO_THROW(socket.Open());
    for (const wchar_t* host : {L"127.0.0.1", L"localhost"}) {
        socket.SetRemote(host, server.port);
        const std::vector<uint8_t> request(48, 27);
        std::string address;
        ASSERT_NO_THROW(address = socket.Send(request));
        EXPECT_EQ(address, "127.0.0.1");

        char buffer[100];
        sockaddr_in client{};
        int length = sizeof client;
        ASSERT_EQ(recvfrom(server.s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&client), &length), 48);
        const char reply[40] = {1, 2, 3};
        ASSERT_EQ(sendto(server.s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&client), length), 40);

        os::WaitingDatagram waiting;
        bool arrived = false;
        for (int i = 0; i < 300 && !arrived; ++i) {
            try {
                waiting = socket.Peek();
                arrived = true;
            } catch (const PlatformError&) {
                Sleep(10);
            }
        }
        ASSERT_TRUE(arrived);
        EXPECT_EQ(waiting.size, 40u);
        EXPECT_EQ(waiting.address, "127.0.0.1");
        EXPECT_EQ(waiting.port, server.port);
        std::vector<uint8_t> bytes;
        ASSERT_NO_THROW(bytes = socket.Read());
        ASSERT_EQ(bytes.size(), 40u);
        EXPECT_EQ(bytes[2], 3);
    }
}

TEST(WinHorasync, FileWritesAppendCreateAndRefuseReadOnlyFiles)
{
    TempFolder folder;
    const std::wstring file = folder / L"TavinDebug.txt";
    EXPECT_NO_THROW(os::WriteToFile(file, "a\r\n", true));
    EXPECT_NO_THROW(os::WriteToFile(file, "b\r\n", true));
    EXPECT_EQ(testsupport::ReadBytes(file), "a\r\nb\r\n");
    EXPECT_NO_THROW(os::WriteToFile(file, "c\r\n", false));
    EXPECT_EQ(testsupport::ReadBytes(file), "c\r\n");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine maps read-only to the Unix write bits, which do not stop root: there the file stays
    // writable, and only a real refusal can be checked.
    HANDLE probe = CreateFileW(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool refused = probe == INVALID_HANDLE_VALUE;
    if (!refused) CloseHandle(probe);
    if (refused) {
        EXPECT_THROW(os::WriteToFile(file, "d\r\n", true), PlatformError);
        EXPECT_EQ(testsupport::ReadBytes(file), "c\r\n");
    }
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_NO_THROW(os::CopyFileTo(file, folder / L"copy.txt"));
    EXPECT_EQ(testsupport::ReadBytes(folder / L"copy.txt"), "c\r\n");
    EXPECT_THROW(os::CopyFileTo(folder / L"missing.txt", folder / L"copy2.txt"), PlatformError);
}

TEST(WinHorasync, AnswersAreDecodedAsGb2312)
{
    EXPECT_EQ(os::DecodeText("\xd6\xd0\xce\xc4", L"GB2312"), L"中文");
    EXPECT_EQ(os::DecodeText("", L"GB2312"), L"");
    EXPECT_THROW(os::DecodeText("abc", L"no-such-set"), PlatformError);
}

TEST(WinHorasync, HttpAnswerIsTheBodyWhateverTheStatusAndNothingWhenRefused)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    int length = sizeof local;
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    listen(listener, 1);
    const std::wstring port = std::to_wstring(ntohs(local.sin_port));

    std::string requestLine;
    std::thread server([&] {
        SOCKET client = accept(listener, nullptr, nullptr);
        char buffer[4096];
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got > 0) requestLine.assign(buffer, std::string(buffer, got).find("\r\n"));
        const char answer[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 8\r\nConnection: close\r\n\r\n\xd2\xb3\xc3\xe6\xb2\xbb\xd4\xda";
        send(client, answer, sizeof answer - 1, 0);
        closesocket(client);
    });
    Win32AutoTimeWindow form;
    AutoTime autotime(form);
    const std::wstring answer =
        autotime.QuickPage(L"http://127.0.0.1:" + port + L"/gmtime.asp?tim=2024%2D03%2D05+09%3A07%3A02&sgn=AB", L"",
                           L"GB2312");
    server.join();
    closesocket(listener);
    EXPECT_EQ(answer, L"页面不在");
    EXPECT_EQ(requestLine, "GET /gmtime.asp?tim=2024%2D03%2D05+09%3A07%3A02&sgn=AB HTTP/1.1");

    const DWORD start = GetTickCount();
    EXPECT_THROW(os::HttpGet(L"http://127.0.0.1:1/gmtime.asp", L""), PlatformError);
    EXPECT_EQ(autotime.QuickPage(L"not an address", L"", L"GB2312"), L"");
    EXPECT_LT(GetTickCount() - start, 5000u);
    WSACleanup();
}

TEST(WinHorasync, PlatformFacts)
{
    EXPECT_EQ(CommandArguments(L"\"C:\\Program Files\\h\\horasync.exe\"  op.example.com"), L"op.example.com");
    EXPECT_NE(os::CommandLine().find(L"platform_tests"), std::wstring::npos);
    EXPECT_GT(os::OsMajorVersion(), 5);
    const os::UtcTime utc = os::UtcNow();
    EXPECT_GE(utc.year, 2000);
    const uint32_t before = os::MillisecondCounter();
    Sleep(50);
    EXPECT_GE(os::MillisecondCounter() - before, 40u);
}

// When a handler lets events run before it reads its datagram, as the trace does while another
// program holds its file, every datagram is announced once, never again one handler deeper.
TEST(WinHorasyncFaults, DatagramIsAnnouncedOnceWhileItsHandlerLetsEventsRun)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ArrivalWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ArrivalTestWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    TestSocket server;
    os::UdpSocket socket;
    Arrivals arrivals;
    arrivals.socket = &socket;
    g_arrivals = &arrivals;
    socket.NotifyTo(window, kSocketMessage);
    ASSERT_NO_THROW(socket.Open());
    socket.SetRemote(L"127.0.0.1", server.port);
    ASSERT_NO_THROW(socket.Send(std::vector<uint8_t>(48, 27)));
    char request[100];
    sockaddr_in client{};
    int length = sizeof client;
    ASSERT_EQ(recvfrom(server.s, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&client), &length), 48);

    // One datagram, then two back to back: the second waits until the first has been read.
    const char reply[48] = {28};
    ASSERT_EQ(sendto(server.s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&client), length), 48);
    RunEventsFor(1500);
    EXPECT_EQ(arrivals.announced, 1);
    EXPECT_EQ(arrivals.read, 1);
    EXPECT_EQ(arrivals.deepest, 1) << "the same datagram was announced again inside its own handler";

    ASSERT_EQ(sendto(server.s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&client), length), 48);
    ASSERT_EQ(sendto(server.s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&client), length), 48);
    RunEventsFor(2000);
    EXPECT_EQ(arrivals.announced, 3);
    EXPECT_EQ(arrivals.read, 3);
    EXPECT_EQ(arrivals.deepest, 1);

    g_arrivals = nullptr;
    DestroyWindow(window);
}
