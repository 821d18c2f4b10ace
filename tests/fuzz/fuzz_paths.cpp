// Folder paths: AbsoluteFolderPath and LzJzPath on any path text and program folder, and the
// installer's lzjzpath.
#include "common/textfiles.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace {

constexpr wchar_t kAlphabet[] = {L'\\', L'\\', L'\\', L':', L'/', L'.', L'c', L'C', L'd', L'z', L' ', L'?',
                                 L'*',  0x4E2D, 0xFF3C, L'\0', 0xD800, L'a', L'Z', L'_'};

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& head) { return text.compare(0, head.size(), head) == 0; }

std::wstring Closed(std::wstring path)
{
    if (!EndsWith(path, L"\\")) path += L'\\';
    return path;
}

// A program folder as the platform gives it: drive letter and colon, then folders, no closing
// backslash except at the root.
bool IsProgramFolder(const std::wstring& folder)
{
    if (folder.size() < 2 || folder[1] != L':') return false;
    if (folder.size() == 2) return false;
    if (folder.size() == 3) return folder[2] == L'\\';
    return folder[2] == L'\\' && folder.back() != L'\\' && folder.find(L':', 2) == std::wstring::npos;
}

void CheckAbsolute(const std::wstring& path, const std::wstring& folder, const std::wstring& result)
{
    FUZZ_CHECK(EndsWith(result, L"\\"));
    const std::wstring expectedTail = Closed(path);
    FUZZ_CHECK(EndsWith(result, expectedTail));
    const bool network = StartsWith(path, L"\\\\");
    const bool rootRelative = !network && StartsWith(path, L"\\");
    if (network || (!rootRelative && path.find(L':') != std::wstring::npos)) {
        FUZZ_CHECK(result == expectedTail);   // network and drive paths are kept as they are
        return;
    }
    if (!IsProgramFolder(folder)) return;
    if (rootRelative) FUZZ_CHECK(result == Closed(folder.substr(0, 2) + path));
    else FUZZ_CHECK(result == Closed(Closed(folder) + path));
    // Whatever came in, an absolute answer: on the program's drive.
    FUZZ_CHECK(StartsWith(result, folder.substr(0, 2) + L"\\"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    const bool wide = shape & 1;
    std::wstring folder;
    if (shape & 2) {
        folder = fuzz::ConsumeText(in, wide, kAlphabet);   // anything at all
    } else {
        folder = std::wstring(1, static_cast<wchar_t>(L'A' + in.ConsumeIntegralInRange<int>(0, 25))) + L":\\";
        for (wchar_t c : fuzz::ConsumeText(in, false, kAlphabet))
            if (c != L':' && !(c == L'\\' && folder.back() == L'\\')) folder.push_back(c);
        if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    }
    const std::wstring path = fuzz::ConsumeText(in, wide, kAlphabet);

    const std::wstring result = AbsoluteFolderPath(path, folder);
    CheckAbsolute(path, folder, result);

    // LzJzPath is the same rule with the platform's program folder.
    fakeos::Reset(folder);
    FUZZ_CHECK(LzJzPath(path) == result);

    // The installer's variant: ASCII capitals, a closing backslash, written back, nothing resolved.
    std::wstring written = path;
    const std::wstring upper = inst::lzjzpath(written);
    FUZZ_CHECK(written == upper);
    FUZZ_CHECK(EndsWith(upper, L"\\"));
    FUZZ_CHECK(upper.size() == Closed(path).size());
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        FUZZ_CHECK(upper[i] == ((c >= L'a' && c <= L'z') ? c - 32 : c));
    }
    std::wstring again = upper;
    FUZZ_CHECK(inst::lzjzpath(again) == upper);
    return 0;
}
