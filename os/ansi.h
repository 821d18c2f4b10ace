// The code-page conversion: the one place where wide text meets the system's ANSI code page (GBK,
// code page 936, on the shop PCs), and UTF-8. Wide text is UTF-16 code units in std::wstring on every
// build, so character counts are the same natively and on Windows. Characters the code page lacks
// become '?'. ToAnsi and FromAnsi are the platform's (os/win32/ansi_win32.cpp; for the Linux builds
// os/native/ansi_iconv.cpp); the rest is the same everywhere (os/ansi.cpp).
#pragma once
#include <string>
#include <string_view>

// Wide text to bytes in the ANSI code page.
std::string ToAnsi(std::wstring_view text);

// Bytes in the ANSI code page to wide text.
std::wstring FromAnsi(std::string_view bytes);

// Code of one character in the ANSI code page: its byte (0..255) when it codes as one byte, or its
// two bytes read as a signed 16-bit number (first byte high) when it codes as two, which is always
// negative for a GBK double-byte character.
int AnsiCode(wchar_t ch);

// UTF-8 bytes to UTF-16 code units; false when the bytes are not valid UTF-8.
bool Utf8ToWide(std::string_view bytes, std::wstring& out);

// UTF-16 code units to UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string WideToUtf8(std::wstring_view text);
