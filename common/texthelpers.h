// Cutting values out of longer texts.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Returns the text between the first FrontStr at or after StartPos (1-based) and the next EndStr
// after it; empty when either is missing or EndStr follows FrontStr directly. NoBigSmall 0 compares
// exactly, any other value without regard to the case of ASCII, Latin-1 and fullwidth Latin letters.
// Throws std::invalid_argument when StartPos < 1.
std::wstring GetMidStr(std::wstring_view SourceStr, std::wstring_view FrontStr, std::wstring_view EndStr,
                       int16_t NoBigSmall, int32_t StartPos);

// Returns ApiBack up to, not including, its first NUL.
std::wstring GetApiBackStr(std::wstring_view ApiBack);

// Splits at every occurrence of `separator` (not empty): a text without one is one piece, the empty
// text none.
std::vector<std::wstring> SplitText(std::wstring_view text, std::wstring_view separator);

// Splits at every CR LF, as config.txt is read: a text without one is one piece, the empty text
// none.
std::vector<std::wstring> SplitAtCrLf(std::wstring_view text);

// A single-precision number as the system prints it: up to 7 significant digits, no trailing zeros,
// large or tiny values as 1.234568E+07 or 1E-05 (30123.45, 12, 12.5).
std::wstring SingleText(float value);

// The Linux package's application id for the operator's host (config.txt's line 2, as vemr hands it
// to horasync): "com.vemr." and the host with A-Z lower-cased, every other character outside a-z
// and 0-9 made '-', runs of '-' made one and '-' trimmed from both ends ("op.vemr.test:8080" →
// "com.vemr.op-vemr-test-8080"). The release tool names the package by the same rule
// (tools/scripts/release, linux_package): the trace lives in the user's state folder under it.
std::wstring AppId(std::wstring_view host);
