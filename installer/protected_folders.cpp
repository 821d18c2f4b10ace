#include "installer/protected_folders.h"

#include "common/textfiles.h"
#include "os/errors.h"
#include "os/platform.h"
#include "os/shell.h"

#include <algorithm>

namespace {

// The shell's special folders that are the system's or a user's.
constexpr int kSpecialFolders[] = {
    os::kCsidlDesktop,         os::kCsidlPrograms,         os::kCsidlPersonal,         os::kCsidlFavorites,
    os::kCsidlStartup,         os::kCsidlRecent,           os::kCsidlSendTo,           os::kCsidlStartMenu,
    os::kCsidlMyMusic,         os::kCsidlMyVideo,          os::kCsidlDesktopDirectory, os::kCsidlFonts,
    os::kCsidlTemplates,       os::kCsidlCommonStartMenu,  os::kCsidlCommonPrograms,   os::kCsidlCommonStartup,
    os::kCsidlCommonDesktopDirectory, os::kCsidlAppData,   os::kCsidlLocalAppData,     os::kCsidlInternetCache,
    os::kCsidlCookies,         os::kCsidlHistory,          os::kCsidlCommonAppData,    os::kCsidlWindows,
    os::kCsidlSystem,          os::kCsidlProgramFiles,     os::kCsidlMyPictures,       os::kCsidlProfile,
    os::kCsidlSystemX86,       os::kCsidlProgramFilesX86,  os::kCsidlProgramFilesCommon, os::kCsidlCommonDocuments,
};

bool AllDotsAndBlanks(const std::wstring& piece)
{
    return piece.find_first_not_of(L". ") == std::wstring::npos;
}

// The folder in one comparable form (upper case, backslashes, no empty pieces, no trailing blanks
// or dots in a name, which Windows ignores; a drive's administrative share \\HOST\C$ taken as C:),
// or the empty text when it is not an absolute folder below a drive or a share, names "." or "..",
// holds a colon (a stream of a folder is the folder) or lies in the ADMIN$ or IPC$ share.
std::wstring ComparableFolder(std::wstring path)
{
    inst::lzjzpath(path);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    std::wstring head;
    size_t minPieces = 1;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\' && path[0] >= L'A' && path[0] <= L'Z') {
        head = path.substr(0, 2);
        path.erase(0, 3);
    } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        if (path.size() >= 3 && (path[2] == L'?' || path[2] == L'.')) return {};   // device paths
        head = L"\\";
        path.erase(0, 2);
        minPieces = 3;   // server, share and at least one folder below the share
        const size_t share = path.find(L'\\');
        if (share != std::wstring::npos) {
            const size_t end = std::min(path.find(L'\\', share + 1), path.size());
            const std::wstring name = path.substr(share + 1, end - share - 1);
            if (name == L"ADMIN$" || name == L"IPC$") return {};
            if (name.size() == 2 && name[0] >= L'A' && name[0] <= L'Z' && name[1] == L'$') {
                head = std::wstring(1, name[0]) + L":";   // the drive itself, on whichever machine
                path.erase(0, end);
                minPieces = 1;
            }
        }
    } else {
        return {};   // relative, or from the root of whichever drive is current
    }
    std::wstring result = head;
    size_t pieces = 0;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring piece = path.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (AllDotsAndBlanks(piece) || piece.find(L':') != std::wstring::npos) return {};
        piece.erase(piece.find_last_not_of(L". ") + 1);
        result += L'\\' + piece;
        ++pieces;
    }
    if (pieces < minPieces) return {};
    return result + L'\\';
}

} // namespace

std::vector<std::wstring> ProtectedFolders()
{
    std::vector<std::wstring> folders;
    const auto add = [&](std::wstring folder) {
        if (!folder.empty()) folders.push_back(std::move(folder));
    };
    const std::wstring windows = os::FolderOf(os::PlatformFolder::Windows);
    if (!windows.empty()) {
        folders.push_back(windows);
        folders.push_back(windows + L"\\*");   // nothing inside it is ours to remove either
    }
    add(os::FolderOf(os::PlatformFolder::System));
    add(os::FolderOf(os::PlatformFolder::Temporary));
    add(os::FolderOf(os::PlatformFolder::NativeProgramFiles));
    add(os::FolderOf(os::PlatformFolder::NativeCommonFiles));
    for (int csidl : kSpecialFolders) add(os::SpecialFolder(csidl));
    // Every profile of the PC, not only the user's own: the folders beside the user's profile.
    std::wstring profiles = os::SpecialFolder(os::kCsidlProfile);
    if (!profiles.empty()) {
        profiles.erase(std::min(profiles.find_last_of(L'\\'), profiles.size()));
        try {
            const uint32_t mask = os::kAttrFolder | os::kAttrHidden | os::kAttrSystem;
            for (const auto& entry : os::ListFolder(profiles + L"\\*", mask))
                if ((entry.attributes & os::kAttrFolder) && entry.name != L"." && entry.name != L"..")
                    folders.push_back(profiles + L"\\" + entry.name);
        } catch (const PlatformError&) {
            // Without the listing, the profiles folder itself still holds the user's profile.
        }
    }
    // Each also under the name the file system resolves it to (a temporary folder given in short
    // names, a folder that is a junction).
    const size_t given = folders.size();
    for (size_t i = 0; i < given; ++i) {
        std::wstring resolved = os::ResolvedFolder(folders[i]);
        if (!resolved.empty() && resolved != folders[i]) folders.push_back(std::move(resolved));
    }
    return folders;
}

bool UnsafeToRemove(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders)
{
    const std::wstring candidate = ComparableFolder(folder);
    if (candidate.empty()) return true;
    for (const auto& kept : protectedFolders) {
        const bool sealed = kept.size() >= 2 && kept.compare(kept.size() - 2, 2, L"\\*") == 0;
        const std::wstring comparable = ComparableFolder(sealed ? kept.substr(0, kept.size() - 2) : kept);
        if (comparable.empty()) continue;
        // A protected folder itself or anything that holds one; and anything inside a sealed one.
        if (comparable.compare(0, candidate.size(), candidate) == 0) return true;
        if (sealed && candidate.compare(0, comparable.size(), comparable) == 0) return true;
    }
    return false;
}
