// Both query-value encoders on any UTF-16 text: the output's alphabet, its escapes, and that it
// decodes back to what was encoded; GetUrlEnCode's limit of 32,767 code-page bytes.
#include "os/ansi.h"
#include "os/errors.h"
#include "common/urlencode.h"
#include "tests/fuzz/fuzz_check.h"

#include <string_view>
#include <vector>

namespace {

constexpr size_t kMaxAnsiBytes = 32767;
constexpr std::wstring_view kReserved = L" `=\\@#$%^&+|{}[]:;\"'<>,.?/";

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;   // lower-case hex is not what the encoders write
}

// One piece of an encoded text: an escaped byte or a character copied as it was.
struct Piece {
    bool escaped;
    unsigned value;
};

// Splits an encoded text into its pieces; every '%' must start an escape of two upper-case digits.
std::vector<Piece> Pieces(const std::wstring& encoded)
{
    std::vector<Piece> pieces;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != L'%') {
            pieces.push_back({false, static_cast<unsigned>(encoded[i])});
            continue;
        }
        FUZZ_CHECK(i + 2 < encoded.size());
        const int high = HexValue(encoded[i + 1]), low = HexValue(encoded[i + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        pieces.push_back({true, static_cast<unsigned>(high * 16 + low)});
        i += 2;
    }
    return pieces;
}

void CheckUtfEnCode(const std::wstring& text)
{
    const std::wstring encoded = GetUtfEnCode(text);
    const std::vector<Piece> pieces = Pieces(encoded);
    // Decode: escapes are a reserved character's code or the UTF-8 form (two or three bytes) of one
    // UTF-16 unit; copied characters are ASCII outside the reserved set, or characters the code page
    // lacks (its '?' has a code in 0..127), copied unchanged.
    std::wstring decoded;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const unsigned v = pieces[i].value;
        if (!pieces[i].escaped) {
            const auto ch = static_cast<wchar_t>(v);
            FUZZ_CHECK(kReserved.find(ch) == std::wstring_view::npos);
            if (v >= 128) FUZZ_CHECK(ToAnsi(std::wstring_view(&ch, 1)) == "?");
            decoded.push_back(ch);
            continue;
        }
        if (v < 128) {
            FUZZ_CHECK(kReserved.find(static_cast<wchar_t>(v)) != std::wstring_view::npos);
            decoded.push_back(static_cast<wchar_t>(v));
            continue;
        }
        const size_t more = (v >= 0xC0 && v <= 0xDF) ? 1 : (v >= 0xE0 && v <= 0xEF) ? 2 : 0;
        FUZZ_CHECK(more > 0 && i + more < pieces.size());
        unsigned unit = v & (more == 1 ? 0x1F : 0x0F);
        for (size_t k = 1; k <= more; ++k) {
            FUZZ_CHECK(pieces[i + k].escaped && (pieces[i + k].value & 0xC0) == 0x80);
            unit = unit << 6 | (pieces[i + k].value & 0x3F);
        }
        i += more;
        decoded.push_back(static_cast<wchar_t>(unit));
    }
    FUZZ_CHECK(decoded == text);
}

void CheckUrlEnCode(const std::wstring& text)
{
    const std::string ansi = ToAnsi(text);
    std::wstring encoded;
    try {
        encoded = GetUrlEnCode(text);
    } catch (const OverflowError&) {
        FUZZ_CHECK(ansi.size() > kMaxAnsiBytes);
        return;
    }
    FUZZ_CHECK(ansi.size() <= kMaxAnsiBytes);
    std::string decoded;
    for (const Piece& piece : Pieces(encoded)) {
        if (piece.escaped) {
            decoded.push_back(static_cast<char>(piece.value));
            continue;
        }
        const unsigned c = piece.value;
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        FUZZ_CHECK(alnum || c == '+');
        decoded.push_back(c == '+' ? ' ' : static_cast<char>(c));
    }
    FUZZ_CHECK(decoded == ansi);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Any length, one byte each at the limit, or two bytes each at the limit.
    const auto [text, repeated] =
        fuzz::TextOfShape(in, 64, 2 * kMaxAnsiBytes + 10, kMaxAnsiBytes, kMaxAnsiBytes / 2 - 2, kMaxAnsiBytes / 2 + 2);
    // GetUtfEnCode has no limit and works one character at a time: long texts add nothing but time.
    if (!repeated) CheckUtfEnCode(text);
    CheckUrlEnCode(text);
    return 0;
}
