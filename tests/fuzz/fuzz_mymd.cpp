// MyMd on any UTF-16 text (unpaired surrogates and characters outside the code page included), of
// any length up to the limit and just past it.
#include "common/digest.h"
#include "common/errors.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr size_t kLimit = 65534;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    // Most inputs are the text itself; long texts (a pattern repeated) cost time, so 3 in 16.
    size_t length = 0;
    bool repeated = true;
    switch (shape % 16) {
    case 1: length = in.ConsumeIntegralInRange<size_t>(0, kLimit + 100); break;           // any length
    case 2: length = kLimit - 2 + in.ConsumeIntegralInRange<size_t>(0, 4); break;         // at the limit
    case 3: length = 997 + in.ConsumeIntegralInRange<size_t>(0, 1000); break;             // thinning starts
    default: repeated = false; break;   // the input itself
    }
    const std::wstring pattern = fuzz::UnitsOf(in.ConsumeRemainingBytesAsString());
    const std::wstring text = repeated ? fuzz::Repeated(pattern, length) : pattern;

    try {
        const std::wstring code = MyMd(text);
        FUZZ_CHECK(text.size() <= kLimit);
        FUZZ_CHECK(fuzz::IsCapitalCode(code));
    } catch (const OverflowError&) {
        FUZZ_CHECK(text.size() > kLimit);
    }
    return 0;
}
