// vemr's benchmark build (never shipped): the client with a timer of its start.
#include "client/frame_win32.h"
#include "os/ansi.h"
#include "os/win32/scoped.h"

#include <cstdio>
#include <string>

namespace {

// Milliseconds of the start, written to vemr_bench.txt beside the exe once the
// navigation returned: from the process's creation and from the top of wWinMain to the Navigate
// call and its return, and the parts of it that every Wine GUI program pays as well (OLE, the
// first window); then the address and headers the browser was given (UTF-8, CR and LF written as
// \r and \n).
class StartTimer {
public:
    StartTimer()
    {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
        FILETIME created, exited, kernel, user, now;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        GetSystemTimeAsFileTime(&now);
        createdToMain_ = (Ticks(now) - Ticks(created)) / 10000.0;
    }
    // Milliseconds since the top of wWinMain.
    double Now() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * (now.QuadPart - start_.QuadPart) / frequency_.QuadPart;
    }
    void OleDone() { ole_ = Now(); }
    void Step(const char* step, std::wstring_view url, std::wstring_view headers)
    {
        const std::string name = step;
        if (name == "window") window_ = Now();
        if (name == "browser") browser_ = Now();
        if (name == "navigate") navigate_ = Now();
        if (name != "navigated") return;
        const double returned = Now();
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        while (n > 0 && path[n - 1] != L'\\') --n;
        wcscpy(path + n, L"vemr_bench.txt");
        if (FILE* out = _wfopen(path, L"wb")) {  // LF line ends, as the scripts read them
            std::fprintf(out,
                         "winmain_to_navigate_ms=%.3f\nwinmain_to_navigate_return_ms=%.3f\n"
                         "process_to_navigate_ms=%.3f\nole_initialize_ms=%.3f\nfirst_window_ms=%.3f\n"
                         "browser_control_ms=%.3f\nstart_up_sequence_ms=%.3f\n"
                         "navigate_url=%s\nnavigate_headers=%s\n",
                         navigate_, returned, createdToMain_ + navigate_, ole_, window_ - ole_, browser_ - window_,
                         navigate_ - browser_, Visible(url).c_str(), Visible(headers).c_str());
            std::fclose(out);
        }
    }

private:
    static std::string Visible(std::wstring_view text)
    {
        std::string out;
        for (char c : WideToUtf8(text)) {
            if (c == '\r') out += "\\r";
            else if (c == '\n') out += "\\n";
            else out += c;
        }
        return out;
    }
    static long long Ticks(const FILETIME& t) { return static_cast<long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }
    LARGE_INTEGER frequency_{}, start_{};
    double createdToMain_ = 0, ole_ = 0, window_ = 0, browser_ = 0, navigate_ = 0;
};
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    StartTimer timer;
    const os::ComForThread ole(true);
    timer.OleDone();
    vemr::Win32VemrixWindow window(instance);
    window.OnStartStep([&](const char* step, std::wstring_view url, std::wstring_view headers) {
        timer.Step(step, url, headers);
    });
    return window.Run();
}
