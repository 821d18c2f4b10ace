// Time per MyMd call: on the longest text it accepts, on the longest text that thinning leaves
// (the most spreading work) and on a text of the length the programs pass.
#include "common/digest.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

volatile size_t codeLetters;  // the calls' results go somewhere, so no call is left out

// A version-like mix of ASCII and Chinese characters, repeated to `length` characters.
std::wstring SampleText(size_t length)
{
    const std::wstring pattern = L"版本1.0中文abc";
    std::wstring text;
    for (size_t i = 0; i < length; ++i) text.push_back(pattern[i % pattern.size()]);
    return text;
}

// Seconds per call, from a batch of calls that takes at least half a second.
double SecondsPerCall(const std::wstring& text)
{
    MyMd(text);  // the code page table is built on the first call
    for (size_t calls = 1;; calls *= 2) {
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < calls; ++i) codeLetters = MyMd(text).size();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        if (elapsed.count() >= 0.5) return elapsed.count() / static_cast<double>(calls);
    }
}

} // namespace

int main()
{
    std::printf("MyMd, 65,534 characters: %.3f ms per call\n", SecondsPerCall(SampleText(65534)) * 1e3);
    std::printf("MyMd, 1,996 characters: %.3f ms per call\n", SecondsPerCall(SampleText(1996)) * 1e3);
    std::printf("MyMd, 40 characters: %.3f µs per call\n", SecondsPerCall(SampleText(40)) * 1e6);
}
