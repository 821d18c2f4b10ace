// Install records for the uninstall's safety tables: the system and user folders of a shop PC
// (Windows 7, user "shop", as the system reports them), records that must never be removed and
// records that must. Shared by the portable table (test_setup_safety.cpp) and the run of stage 2
// against the in-memory platform (with_stand_in/test_setup_uninstall_safety.cpp).
#pragma once
#include <string>
#include <vector>

struct RecordCase {
    const wchar_t* record;   // the install record's value, as it may stand in the settings store
    const char* why;
};

inline const std::vector<std::wstring> kShopPcFolders = {
    L"C:\\Windows",
    L"C:\\Windows\\*",   // and nothing inside it either
    L"C:\\Windows\\system32",
    L"C:\\Windows\\SysWOW64",
    L"C:\\Windows\\Fonts",
    L"C:\\Users\\shop\\AppData\\Local\\Temp\\",
    L"C:\\Users\\shop",
    L"C:\\Users\\shop\\Desktop",
    L"C:\\Users\\shop\\Documents",
    L"C:\\Users\\shop\\Music",
    L"C:\\Users\\shop\\Pictures",
    L"C:\\Users\\shop\\Favorites",
    L"C:\\Users\\shop\\AppData\\Roaming",
    L"C:\\Users\\shop\\AppData\\Local",
    L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
    L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
    L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\SendTo",
    L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Recent",
    L"C:\\ProgramData",
    L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
    L"C:\\Users\\Public\\Desktop",
    L"C:\\Users\\Public\\Documents",
    L"C:\\Users\\Default",   // every profile of the PC is listed, not only the user's own
    L"C:\\Users\\other",
    L"C:\\Program Files (x86)",            // program files, as a 32-bit program is told
    L"C:\\Program Files (x86)\\Common Files",
    L"C:\\Program Files",                  // the 64-bit ones, from the environment
    L"C:\\Program Files\\Common Files",
};

inline const RecordCase kNeverRemoved[] = {
    // Drive roots, however written.
    {L"C:\\", "drive root"},
    {L"c:", "bare drive"},
    {L"c:\\", "drive root, lower case"},
    {L"D:\\", "another drive's root"},
    {L"C:/", "drive root with a slash"},
    {L"C:\\\\", "drive root with a doubled backslash"},
    // Share roots and device paths.
    {L"\\\\srv\\share\\", "UNC share root"},
    {L"\\\\srv\\share", "UNC share root without a backslash"},
    {L"\\\\srv\\", "UNC server"},
    {L"\\\\", "UNC without a server"},
    {L"//srv/share/", "UNC share root with slashes"},
    {L"\\\\?\\C:\\VEMRCLIENT\\", "device path"},
    {L"\\\\.\\C:\\", "device path of a drive"},
    {L"\\\\?\\UNC\\srv\\share\\vemr\\", "device path of a share"},
    {L"\\\\localhost\\C$\\", "administrative share of a drive"},
    {L"\\\\127.0.0.1\\c$\\Windows\\", "Windows folder through an administrative share"},
    {L"\\\\SHOP-PC\\C$\\Users\\shop\\", "profile through an administrative share"},
    {L"\\\\srv\\ADMIN$\\", "the Windows folder's share"},
    {L"\\\\srv\\ADMIN$\\Temp\\", "a folder inside the Windows folder's share"},
    {L"\\\\srv\\IPC$\\", "the interprocess share"},
    // Not an absolute folder: wherever the working copy happens to run.
    {L"", "empty record"},
    {L" ", "a blank"},
    {L"\\", "root of the current drive"},
    {L"\\VEMRCLIENT\\", "folder of whichever drive is current"},
    {L"VEMRCLIENT", "relative folder"},
    {L"C:VEMRCLIENT", "drive-relative folder"},
    // The Windows and system folders.
    {L"C:\\WINDOWS\\", "Windows folder"},
    {L"c:\\windows", "Windows folder, lower case, no backslash"},
    {L"C:\\Windows\\System32\\", "system folder"},
    {L"C:\\WINDOWS\\SYSWOW64\\", "32-bit system folder"},
    {L"C:\\WINDOWS\\FONTS\\", "fonts"},
    {L"C:/Windows/", "Windows folder with slashes"},
    {L"C:\\\\WINDOWS\\\\", "Windows folder with doubled backslashes"},
    {L"C:\\WINDOWS\\INF\\", "a folder inside the Windows folder"},
    {L"C:\\WINDOWS\\WINSXS\\", "the component store"},
    {L"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\", "drivers"},
    {L"C:\\WINDOWS\\SYSNATIVE\\", "the 64-bit system folder as a 32-bit program names it"},
    {L"C:\\WINDOWS\\VEMRCLIENT\\", "even a folder of its own: nothing inside the Windows folder is removed"},
    // Profile roots.
    {L"C:\\USERS\\", "folder of all profiles"},
    {L"C:\\Users\\shop\\", "the user's profile"},
    {L"C:\\USERS\\OTHER\\", "another user's profile"},
    {L"C:\\USERS\\DEFAULT\\", "the default profile"},
    {L"C:\\USERS\\PUBLIC\\", "the public profile"},
    // Special folders.
    {L"C:\\Users\\shop\\Desktop\\", "desktop"},
    {L"C:\\USERS\\SHOP\\DOCUMENTS\\", "documents"},
    {L"C:\\Users\\shop\\AppData\\", "holds the application data"},
    {L"C:\\Users\\shop\\AppData\\Roaming\\", "application data"},
    {L"C:\\Users\\shop\\AppData\\Local\\Temp\\", "temporary folder"},
    {L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\", "Start-menu programs"},
    {L"C:\\Users\\shop\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\", "startup"},
    {L"C:\\ProgramData\\", "common application data"},
    {L"C:\\Program Files\\", "program files"},
    {L"C:\\PROGRAM FILES (X86)\\", "32-bit program files"},
    {L"C:\\Program Files\\Common Files\\", "common files"},
    // Paths that climb or name the current folder.
    {L"C:\\VEMRCLIENT\\..\\", "climbs to the drive root"},
    {L"C:\\VEMRCLIENT\\..\\WINDOWS\\", "climbs into the Windows folder"},
    {L"C:\\..\\", "climbs above the root"},
    {L"..\\VEMRCLIENT\\", "relative climb"},
    {L"C:\\A\\B\\..\\..\\", "climbs twice"},
    {L"C:\\VEMRCLIENT\\.\\", "names the current folder"},
    {L"C:\\VEMRCLIENT\\...\\", "three dots, taken by Windows as the folder itself"},
    // Trailing blanks and dots, which Windows drops from a name.
    {L"C:\\ ", "a blank after the root: the root"},
    {L"C:\\.", "a dot after the root: the root"},
    {L"C:\\. .\\", "dots and blanks after the root"},
    {L"C:\\VEMRCLIENT\\ ", "a blank after the folder: a name of blanks alone"},
    {L"C:\\VEMRCLIENT\\. ", "a dot and a blank after the folder"},
    {L"C:\\WINDOWS \\", "Windows folder with a trailing blank"},
    {L"C:\\WINDOWS.\\", "Windows folder with a trailing dot"},
    {L"C:\\WINDOWS. . \\", "Windows folder with trailing dots and blanks"},
    {L"C:\\Program Files  ", "program files with trailing blanks"},
    {L"C:\\USERS\\SHOP \\", "profile with a trailing blank"},
    // Names with a colon: alternate data streams of a folder name the folder itself.
    {L"C:\\WINDOWS::$INDEX_ALLOCATION\\", "Windows folder through its index stream"},
    {L"C:\\WINDOWS:$I30:$INDEX_ALLOCATION\\", "Windows folder through its named index stream"},
    {L"C:\\VEMRCLIENT:STREAM\\", "a stream is no folder"},
};

inline const RecordCase kRemoved[] = {
    {L"C:\\VEMRCLIENT\\", "the install folder as install records it"},
    {L"c:\\vemrclient", "the fallback folder-box text"},
    {L"C:\\A\\B\\C", "a folder three levels down, no closing backslash"},
    {L"D:\\A\\B\\C\\", "on another drive"},
    {L"C:\\MY SHOP\\VEMR\\", "names with a blank"},
    {L"C:\\收银通\\", "a Chinese name"},
    {L"C:\\PROGRAM FILES\\VEMR\\", "a folder of its own inside program files"},
    {L"C:\\USERS\\SHOP\\DESKTOP\\VEMR\\", "a folder of its own on the desktop"},
    {L"C:\\VEMRCLIENT \\", "a trailing blank in the name, which Windows drops: the install folder"},
    {L"C:\\WINDOWSX\\", "a name that only begins like the Windows folder"},
    {L"C:\\VEMR..X\\", "dots inside a name"},
    {L"\\\\SRV\\SHARE\\VEMR\\", "a folder of its own in a share"},
    {L"\\\\localhost\\C$\\VEMRCLIENT\\", "the install folder through an administrative share"},
};
