#include "installer/setup_rules.h"

#include "common/textfiles.h"
#include "common/texthelpers.h"
#include "os/clock.h"
#include "os/platform.h"

SetupConfig ReadConfigFromFile(const std::wstring& TheConfigFile)
{
    int16_t state = 0;   // not looked at: a file that cannot be read is as good as a missing one
    const auto pieces = SplitAtCrLf(GetStrFromFile(TheConfigFile, false, state));
    if (pieces.size() != 4) os::EndProgram();
    return {pieces[0], pieces[1], pieces[2]};
}

float SecondsSinceMidnight()
{
    const os::LocalDateTime now = os::LocalNow();
    return static_cast<float>(now.hour * 3600 + now.minute * 60 + now.second + now.milliseconds / 1000.0);
}

std::wstring RenameStamp(float secondsSinceMidnight)
{
    std::wstring stamp;
    for (wchar_t c : SingleText(secondsSinceMidnight))
        if (c != L'.') stamp += c;
    return stamp;
}

bool FoldersOverlap(const std::wstring& programFolder, const std::wstring& installFolder)
{
    return programFolder.find(installFolder) != std::wstring::npos ||
           installFolder.find(programFolder) != std::wstring::npos;
}

std::vector<std::wstring> FolderChain(const std::wstring& rawText)
{
    std::vector<std::wstring> chain;
    // The search starts after the fourth character, so "d:\" is never cut off as a folder of its own.
    for (size_t at = rawText.find(L'\\', 4); at != std::wstring::npos; at = rawText.find(L'\\', at + 1))
        chain.push_back(rawText.substr(0, at));
    chain.push_back(rawText);
    return chain;
}

std::wstring CommandPath(const std::wstring& path)
{
    // Unquoted, "C:\Program Files\x.exe" would let Windows start "C:\Program.exe" instead.
    if (path.find_first_of(L" \t") == std::wstring::npos) return path;
    return L"\"" + path + L"\"";
}
