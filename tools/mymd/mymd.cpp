// mymd: the digest codes of texts, for checking on the operator's side what the programs send.
#include "common/ansi.h"
#include "common/digest.h"
#include "common/errors.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <limits.h>
#include <unistd.h>

namespace {

const char kUsage[] =
    "usage: mymd [--] TEXT...\n"
    "       mymd < FILE\n"
    "       mymd --check-launch HOST REQUEST-LINE USER-AGENT\n"
    "       mymd --check-report REQUEST-LINE\n"
    "       mymd -h | --help\n"
    "\n"
    "Prints the digest code of each TEXT (UTF-8) on a line of its own; put -- before the texts\n"
    "when one of them starts with \"-\" (mymd -- -h digests the text -h). Without TEXT it reads\n"
    "standard input as UTF-8 and prints the code of each line, taken without its LF and one CR\n"
    "before it. A text that is not valid UTF-8 or has 65,535 UTF-16 units or more gets a message\n"
    "on standard error and an empty output line, so output lines stay aligned with the texts;\n"
    "the exit status is then 1.\n"
    "\n"
    "--check-launch verifies a launch request as the operator's server logged it: HOST is line 2\n"
    "of config.txt, REQUEST-LINE e.g. 'GET /language.asp?lau=cn&tim=...&ver=1%2E0%2E0 HTTP/1.1',\n"
    "USER-AGENT e.g. 'TavinVmc.Cet/ID/SIG'. --check-report verifies a time report line\n"
    "'GET /gmtime.asp?tim=...&clb=...&sgn=...'. Both print \"ok\" (exit 0) or the first part that\n"
    "does not match with the value expected (exit 1); the stand-in operator server\n"
    "(tools/peers/operator_server.py, needs python3) does the checking, with this program's digests.\n";

// Prints the code of one text, or an empty line and a message naming `where`; false on failure.
bool PrintCode(const std::string& utf8, const std::string& where)
{
    std::wstring text;
    if (!Utf8ToWide(utf8, text)) {
        std::cout << '\n';
        std::cerr << "mymd: " << where << ": not valid UTF-8\n";
        return false;
    }
    try {
        std::cout << WideToUtf8(MyMd(text)) << '\n';
        return true;
    } catch (const OverflowError&) {
        std::cout << '\n';
        std::cerr << "mymd: " << where << ": too long (65,535 UTF-16 units or more)\n";
        return false;
    }
}

// Hands a request check to the operator server's verification, which digests with this program.
int CheckRequest(char* argv[], int argc)
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::cerr << "mymd: cannot find its own program file\n";
        return 2;
    }
    self[length] = '\0';
    std::vector<const char*> args{"python3", MYMD_REQUEST_CHECKER, "--mymd", self};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    execvp(args[0], const_cast<char* const*>(args.data()));
    std::cerr << "mymd: cannot run python3 " << MYMD_REQUEST_CHECKER << ": " << std::strerror(errno) << '\n';
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--") == 0) {
        first = 2;
    } else if (argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0') {
        const std::string option = argv[1];
        if (option == "-h" || option == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if ((option == "--check-launch" && argc == 5) || (option == "--check-report" && argc == 3))
            return CheckRequest(argv + 1, argc - 1);
        std::cerr << (option == "--check-launch" || option == "--check-report"
                          ? "mymd: wrong number of arguments for " + option + " (mymd --help shows the usage)"
                          : "mymd: unknown option " + option + " (put -- before a text that starts with -)")
                  << '\n';
        return 2;
    }
    bool allPrinted = true;
    if (argc > first) {
        for (int i = first; i < argc; ++i)
            allPrinted &= PrintCode(argv[i], "argument " + std::to_string(i - first + 1));
    } else {
        std::string line;
        for (long number = 1; std::getline(std::cin, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            allPrinted &= PrintCode(line, "line " + std::to_string(number));
        }
    }
    return allPrinted ? 0 : 1;
}
