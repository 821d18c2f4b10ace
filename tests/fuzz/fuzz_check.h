// What the fuzz targets share: a check that stops the run with its reason (libFuzzer then keeps the
// input as a crash artifact), and wide text made of the input's bytes taken as 16-bit units.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace fuzz {

// Every pair of bytes, low byte first, as one UTF-16 unit; an odd last byte is dropped.
inline std::wstring UnitsOf(const std::string& bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

// A text of up to `maxUnits` units taken from the provider (libFuzzer's own length encoding).
inline std::wstring ConsumeUnits(FuzzedDataProvider& in, size_t maxUnits)
{
    return UnitsOf(in.ConsumeRandomLengthString(2 * maxUnits));
}

// A text of up to `maxUnits` units: each byte from the provider one letter of `alphabet`, or (when
// `wide`) byte pairs as units.
template <size_t N>
std::wstring ConsumeText(FuzzedDataProvider& in, bool wide, const wchar_t (&alphabet)[N], size_t maxUnits = 64)
{
    if (wide) return ConsumeUnits(in, maxUnits);
    std::wstring text;
    for (unsigned char b : in.ConsumeRandomLengthString(maxUnits)) text.push_back(alphabet[b % N]);
    return text;
}

// `pattern` repeated and cut to exactly `length` units (`fill` when the pattern is empty).
inline std::wstring Repeated(const std::wstring& pattern, size_t length, wchar_t fill = L'a')
{
    std::wstring text;
    text.reserve(length);
    while (text.size() < length) {
        if (pattern.empty()) text.push_back(fill);
        else text.append(pattern, 0, std::min(pattern.size(), length - text.size()));
    }
    return text;
}

// The text a target works on: mostly the input's own units; in 3 of every `oneIn` inputs the units
// as a pattern repeated to a length that matters (costly, hence rarer): any length up to `anyUpTo`,
// two units either side of `edge`, or a length from `low` to `high`.
struct ShapedText {
    std::wstring text;
    bool repeated = false;
};
inline ShapedText TextOfShape(FuzzedDataProvider& in, uint8_t oneIn, size_t anyUpTo, size_t edge, size_t low, size_t high)
{
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    size_t length = 0;
    bool repeated = true;
    switch (shape % oneIn) {
    case 1: length = in.ConsumeIntegralInRange<size_t>(0, anyUpTo); break;
    case 2: length = edge - 2 + in.ConsumeIntegralInRange<size_t>(0, 4); break;
    case 3: length = in.ConsumeIntegralInRange<size_t>(low, high); break;
    default: repeated = false; break;
    }
    const std::wstring pattern = UnitsOf(in.ConsumeRemainingBytesAsString());
    return {repeated ? Repeated(pattern, length) : pattern, repeated};
}

inline bool IsCapitalCode(const std::wstring& code)
{
    if (code.size() < 2 || code.size() > 10) return false;
    for (wchar_t c : code)
        if (c < L'A' || c > L'Z') return false;
    return true;
}

} // namespace fuzz
