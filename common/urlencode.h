// The two query-value encoders. Each request carries exactly the form of its own encoder.
#pragma once
#include <string>
#include <string_view>

// Client's encoder: 26 reserved ASCII characters escaped by their ANSI code, other characters whose
// ANSI code lies in 0..127 unchanged, everything else as escaped UTF-8 of its UTF-16 unit.
std::wstring GetUtfEnCode(std::wstring_view GbString);

// Time synchroniser's encoder: the text's GBK bytes, ASCII letters and digits kept, space as "+",
// every other byte escaped. Throws OverflowError when the text has more than 32,767 GBK bytes.
std::wstring GetUrlEnCode(std::wstring_view chinesestr);
