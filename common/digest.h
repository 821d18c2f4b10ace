// The system's own digest: any text to a code of 2 to 10 capital letters. The codes travel to the
// operator's server, which recomputes them, so every step is part of the contract.
#pragma once
#include <string>
#include <string_view>

// Digest of `intostr` (at most 65,534 UTF-16 units), character codes taken in the ANSI code page.
// Throws OverflowError for a longer text.
std::wstring MyMd(std::wstring_view intostr);
