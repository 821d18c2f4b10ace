#include "common/urlencode.h"

#include "os/ansi.h"
#include "os/errors.h"

namespace {

// The characters the client's encoder escapes although they are ASCII.
constexpr std::wstring_view kReserved = L" `=\\@#$%^&+|{}[]:;\"'<>,.?/";

// The GBK byte count is a signed 16-bit number in the time synchroniser's encoder.
constexpr size_t kMaxAnsiBytes = 32767;

void AppendEscape(std::wstring& out, unsigned value)
{
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    out.push_back(L'%');
    out.push_back(kHex[value >> 4 & 0xF]);
    out.push_back(kHex[value & 0xF]);
}

bool IsAsciiLetterOrDigit(unsigned char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

} // namespace

std::wstring GetUtfEnCode(std::wstring_view GbString)
{
    std::wstring out;
    for (wchar_t ch : GbString) {
        const int code = AnsiCode(ch);
        if (kReserved.find(ch) != std::wstring_view::npos) {
            AppendEscape(out, static_cast<unsigned>(code));
        } else if (code >= 0 && code <= 127) {
            // Also the control characters, DEL, and whatever the code page replaced by '?'.
            out.push_back(ch);
        } else {
            const auto w = static_cast<unsigned>(ch);
            if (w < 2048) {
                AppendEscape(out, 192 + w / 64);
                AppendEscape(out, 128 + w % 64);
            } else {
                AppendEscape(out, 224 + w / 4096);
                AppendEscape(out, 128 + w / 64 % 64);
                AppendEscape(out, 128 + w % 64);
            }
        }
    }
    return out;
}

std::wstring GetUrlEnCode(std::wstring_view chinesestr)
{
    const std::string bytes = ToAnsi(chinesestr);
    if (bytes.size() > kMaxAnsiBytes) throw OverflowError("GetUrlEnCode: text of more than 32,767 GBK bytes");
    std::wstring out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsAsciiLetterOrDigit(byte)) out.push_back(static_cast<wchar_t>(byte));
        else if (byte == ' ') out.push_back(L'+');
        else AppendEscape(out, byte);
    }
    return out;
}
