// ANSI conversion for the Linux build: iconv "CP936", one UTF-16 code unit at a time as the Windows
// conversion treats them, '?' for every code unit the code page lacks (unpaired surrogates included).
#include "os/ansi.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <stdexcept>

namespace {

constexpr const char* kCodePage = "CP936";

// GBK bytes of every UTF-16 code unit, built once: 0 means "not in the code page".
const std::array<uint16_t, 65536>& EncodeTable()
{
    static std::array<uint16_t, 65536> table{};
    static std::once_flag built;
    std::call_once(built, [] {
        iconv_t cd = iconv_open(kCodePage, "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert to CP936");
        for (uint32_t unit = 1; unit < 65536; ++unit) {
            if (unit >= 0xD800 && unit <= 0xDFFF) continue;
            char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
            char out[4];
            char* inp = in;
            char* outp = out;
            size_t inleft = 2, outleft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) continue;
            const size_t n = sizeof out - outleft;
            if (n == 1) table[unit] = static_cast<unsigned char>(out[0]);
            else if (n == 2)
                table[unit] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                    static_cast<unsigned char>(out[1]));
        }
        iconv_close(cd);
    });
    return table;
}

} // namespace

std::string ToAnsi(std::wstring_view text)
{
    const auto& table = EncodeTable();
    std::string out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        const uint32_t unit = static_cast<uint32_t>(ch);
        if (unit == 0) { out.push_back('\0'); continue; }
        const uint16_t code = unit < 65536 ? table[unit] : 0;
        if (code == 0) out.push_back('?');
        else if (code < 0x100) out.push_back(static_cast<char>(code));
        else {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }
    return out;
}

std::wstring FromAnsi(std::string_view bytes)
{
    std::wstring out;
    iconv_t cd = iconv_open("UTF-16LE", kCodePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert from CP936");
    size_t i = 0;
    while (i < bytes.size()) {
        // A lead byte takes its trail byte with it; a byte pair the code page does not know is '?'.
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        const size_t len = (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) ? 2 : 1;
        char in[2] = {bytes[i], len == 2 ? bytes[i + 1] : '\0'};
        char buf[8];
        char* inp = in;
        char* outp = buf;
        size_t inleft = len, outleft = sizeof buf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (b == 0) {
            out.push_back(L'\0');
        } else if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) || outleft != 6) {
            out.push_back(L'?');
        } else {
            out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(buf[0]) |
                                               static_cast<unsigned char>(buf[1]) << 8));
        }
        i += len;
    }
    iconv_close(cd);
    return out;
}
