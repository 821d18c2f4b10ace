// Portable half of the ANSI boundary: character codes and UTF-8. The code-page conversion itself is
// the platform's (os/win32/ansi_win32.cpp on Windows, os/native/ansi_iconv.cpp on Linux).
#include "os/ansi.h"

int AnsiCode(wchar_t ch)
{
    const std::string bytes = ToAnsi(std::wstring_view(&ch, 1));
    if (bytes.size() >= 2) {
        const auto word = static_cast<unsigned>(static_cast<unsigned char>(bytes[0])) << 8 |
                          static_cast<unsigned char>(bytes[1]);
        return static_cast<short>(word);
    }
    return bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]);
}

bool Utf8ToWide(std::string_view bytes, std::wstring& out)
{
    out.clear();
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        unsigned long cp;
        size_t extra;
        if (lead < 0x80) { cp = lead; extra = 0; }
        else if (lead >= 0xC2 && lead <= 0xDF) { cp = lead & 0x1F; extra = 1; }
        else if (lead >= 0xE0 && lead <= 0xEF) { cp = lead & 0x0F; extra = 2; }
        else if (lead >= 0xF0 && lead <= 0xF4) { cp = lead & 0x07; extra = 3; }
        else return false;
        if (i + extra >= bytes.size() && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char cont = static_cast<unsigned char>(bytes[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            cp = cp << 6 | (cont & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

std::string WideToUtf8(std::wstring_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = static_cast<unsigned long>(text[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() &&
            (text[i + 1] & 0xFFFF) >= 0xDC00 && (text[i + 1] & 0xFFFF) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + ((text[i + 1] & 0xFFFF) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
