// mymd: the operator's tool. The digest codes of texts, and checks of requests from the operator's
// server log with the routines the client and horasync build them with. One file on the server,
// Linux or Windows, needs nothing beside it.
#include "client/launch_request.h"
#include "common/digest.h"
#include "os/errors.h"
#include "tools/mymd/console_text.h"
#include "tools/mymd/request_check.h"

#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: mymd [--] TEXT...\n"
    "       mymd < FILE\n"
    "       mymd --check-launch [--zone Z --max-skew SECONDS [--now YYYYMMDDHHMMSS]] HOST REQUEST-LINE USER-AGENT\n"
    "       mymd --check-report [--max-skew SECONDS [--now YYYYMMDDHHMMSS]] REQUEST-LINE\n"
    "       mymd -h | --help\n"
    "\n"
    "Prints the digest code of each TEXT on a line of its own; put -- before the texts when one of\n"
    "them starts with \"-\" (mymd -- -h digests the text -h). Without TEXT it reads standard input and\n"
    "prints the code of each line, taken without its LF and one CR before it. Texts are UTF-8 on\n"
    "Linux and in the ANSI code page on Windows (codes of Chinese text need code page 936). A text\n"
    "that cannot be read or has 65,535 UTF-16 units or more gets a message on standard error and an\n"
    "empty output line, so output lines stay aligned with the texts; the exit status is then 1.\n"
    "\n"
    "--check-launch verifies a launch request as the operator's server logged it: HOST is line 2\n"
    "of config.txt, REQUEST-LINE e.g. 'GET /language.asp?lau=cn&tim=...&ver=1%2E0%2E0 HTTP/1.1'\n"
    "(also in the double quotes of the common log format), USER-AGENT e.g. 'TavinVmc.Cet/ID/SIG'.\n"
    "--check-report verifies a time report line 'GET /gmtime.asp?tim=...&clb=...&sgn=...'. Both print\n"
    "\"ok\" and the values found (exit 0) or the first part that does not match with the value\n"
    "expected (exit 1). With --max-skew a time further than SECONDS from the server's clock is\n"
    "refused: the clock in zone Z (hours east of UTC, as line 4 of config.txt) for the launch\n"
    "request, in UTC+8 for the report. --now replaces the clock by the time of the log line, in UTC.\n";

// A usage error: the message on standard error and exit status 2.
int UsageError(const std::string& message)
{
    std::cerr << "mymd: " << message << " (mymd --help shows the usage)\n";
    return 2;
}

// Prints the code of one text, or an empty line and a message naming `where`; false on failure.
bool PrintCode(const std::string& bytes, const std::string& where)
{
    std::wstring text;
    if (!mymd::FromConsole(bytes, text)) {
        std::cout << '\n';
        std::cerr << "mymd: " << where << ": not valid " << mymd::kConsoleEncoding << '\n';
        return false;
    }
    try {
        std::cout << mymd::ToConsole(MyMd(text)) << '\n';
        return true;
    } catch (const OverflowError&) {
        std::cout << '\n';
        std::cerr << "mymd: " << where << ": too long (65,535 UTF-16 units or more)\n";
        return false;
    }
}

int PrintCodes(const std::vector<std::string>& texts)
{
    bool allPrinted = true;
    if (!texts.empty()) {
        for (size_t i = 0; i < texts.size(); ++i)
            allPrinted &= PrintCode(texts[i], "argument " + std::to_string(i + 1));
    } else {
        std::string line;
        for (long number = 1; std::getline(std::cin, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            allPrinted &= PrintCode(line, "line " + std::to_string(number));
        }
    }
    return allPrinted ? 0 : 1;
}

// Whole seconds, 0 or more; nothing for any other text.
std::optional<int64_t> WholeSeconds(const std::wstring& text)
{
    if (text.empty() || text.size() > 12 || text.find_first_not_of(L"0123456789") != text.npos) return std::nullopt;
    return std::stoll(text);
}

// --check-launch and --check-report with the arguments after them.
int CheckRequest(bool launch, const std::vector<std::string>& args)
{
    const std::string command = launch ? "--check-launch" : "--check-report";
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < args.size(); ++i) {
        texts.emplace_back();
        if (!mymd::FromConsole(args[i], texts.back()))
            return UsageError("argument " + std::to_string(i + 2) + " is not valid " + mymd::kConsoleEncoding);
    }
    std::optional<std::wstring> zone, maxSkew, now;
    size_t at = 0;
    for (; at + 1 < texts.size(); at += 2) {
        std::optional<std::wstring>* option = texts[at] == L"--zone"       ? &zone
                                              : texts[at] == L"--max-skew" ? &maxSkew
                                              : texts[at] == L"--now"      ? &now
                                                                           : nullptr;
        if (!option) break;
        *option = texts[at + 1];
    }
    if (texts.size() - at != (launch ? 3u : 1u)) return UsageError("wrong number of arguments for " + command);
    if (!launch && zone) return UsageError("--check-report takes no --zone: the report's time is always UTC+8");
    if (launch && zone.has_value() != maxSkew.has_value()) return UsageError("--zone and --max-skew go together");
    if (now && !maxSkew) return UsageError("--now needs --max-skew");
    std::optional<mymd::ClockLimit> limit;
    if (maxSkew) {
        const std::optional<int64_t> seconds = WholeSeconds(*maxSkew);
        if (!seconds) return UsageError("--max-skew takes whole seconds, not " + mymd::ToConsole(*maxSkew));
        const std::optional<vemr::LocalTime> logged = now ? mymd::ReadDateTime(*now, L"99999999999999") : std::nullopt;
        if (now && !(logged && mymd::IsValidDateTime(*logged)))
            return UsageError("--now takes a date and time YYYYMMDDHHMMSS in UTC, not " + mymd::ToConsole(*now));
        const vemr::LocalTime utc = logged ? *logged : vemr::CivilFromSeconds(std::time(nullptr));
        try {
            const double hours = launch ? vemr::ReadAsNumber(*zone) : 8;
            limit = mymd::ClockLimit{vemr::ServerTime(utc, 0, hours), *seconds};
        } catch (const RuntimeError&) {
            return UsageError("--zone takes hours east of UTC as line 4 of config.txt does, not " +
                              mymd::ToConsole(*zone));
        }
    }
    const mymd::Verdict verdict = launch ? mymd::CheckLaunch(texts[at], texts[at + 1], texts[at + 2], limit)
                                         : mymd::CheckReport(texts[at], limit);
    std::cout << mymd::ToConsole(verdict.text);
    return verdict.ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--") return PrintCodes({args.begin() + 1, args.end()});
    if (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        const std::string option = args[0];
        if (option == "-h" || option == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (option == "--check-launch" || option == "--check-report")
            return CheckRequest(option == "--check-launch", {args.begin() + 1, args.end()});
        std::cerr << "mymd: unknown option " << option << " (put -- before a text that starts with -)\n";
        return 2;
    }
    return PrintCodes(args);
}
