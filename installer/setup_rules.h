// The small rules install and uninstall share with the form: config.txt of the media, the clock as
// the installer reads it, the rename stamp, the folder-box text's folders and command-line paths.
#pragma once
#include <string>
#include <vector>

// config.txt of the media, four lines: the product's title, the operator's host, the shortcuts'
// name, and a fourth the installer does not read.
struct SetupConfig {
    std::wstring title, host, linkName;
};

// The config of that file; a file that cannot be read or does not hold exactly four lines ends the
// program.
SetupConfig ReadConfigFromFile(const std::wstring& TheConfigFile);

// VB's Timer: seconds since local midnight, to the millisecond, as a single.
float SecondsSinceMidnight();

// The rename stamp of a replaced system file: seconds since midnight printed as a single, dots removed.
std::wstring RenameStamp(float secondsSinceMidnight);

// True when either folder text contains the other (exact, case-sensitive).
bool FoldersOverlap(const std::wstring& programFolder, const std::wstring& installFolder);

// The folders that make up the chain of the raw folder-box text, outermost first, ending with the
// text itself: cut at every backslash from the fifth character on, so a drive root is never made.
std::vector<std::wstring> FolderChain(const std::wstring& rawText);

// A path for a command line: quoted when it holds a blank, as written otherwise.
std::wstring CommandPath(const std::wstring& path);
