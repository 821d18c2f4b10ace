// What uninstall must never remove: the folders of the system and of every user, as the platform
// names them, and the test of a folder against them. Portable: the platform is asked through os/.
#pragma once
#include <string>
#include <vector>

// Folders that must never be removed nor emptied: the Windows and system folders, every profile,
// the temporary folder and the shell's special folders, each also as the file system resolves it.
// "FOLDER\\*" stands for FOLDER and everything inside it.
std::vector<std::wstring> ProtectedFolders();

// True when removing `folder` (upper case, closing backslash) could take the system or a user's
// data with it: not an absolute folder below a drive or share, a path that climbs or names the
// current folder, or one of `protectedFolders` itself or a folder that holds one. An entry of
// `protectedFolders` written as "FOLDER\\*" protects everything inside FOLDER as well.
bool UnsafeToRemove(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders);
