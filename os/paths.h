// How a Windows path is cut, the same for every implementation of the file service and for the
// logic above it.
#pragma once
#include <string>
#include <string_view>

// The folder that holds a full path's last part: the text before its last backslash, a drive root
// with its backslash ("C:\A" gives "C:\"). Empty at a root, which has nothing above it: a drive
// root, or the server and share of a network path ("\\SRV\SHARE", "\\SRV").
std::wstring ParentFolder(std::wstring_view fullPath);
