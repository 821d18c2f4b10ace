// mymd: the digest codes of texts, for checking on the operator's side what the programs send.
#include "common/ansi.h"
#include "common/digest.h"
#include "common/errors.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "usage: mymd TEXT...\n"
    "       mymd < FILE\n"
    "\n"
    "Prints the digest code of each TEXT (UTF-8) on a line of its own. Without TEXT it reads\n"
    "standard input as UTF-8 and prints the code of each line, taken without its LF and one CR\n"
    "before it. A text that is not valid UTF-8 or has 65,535 UTF-16 units or more gets a message\n"
    "on standard error and an empty output line, so output lines stay aligned with the texts;\n"
    "the exit status is then 1. The text --help itself can be digested from standard input.\n";

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

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << kUsage;
        return 0;
    }
    bool allPrinted = true;
    if (argc > 1) {
        for (int i = 1; i < argc; ++i)
            allPrinted &= PrintCode(argv[i], "argument " + std::to_string(i));
    } else {
        std::string line;
        for (long number = 1; std::getline(std::cin, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            allPrinted &= PrintCode(line, "line " + std::to_string(number));
        }
    }
    return allPrinted ? 0 : 1;
}
