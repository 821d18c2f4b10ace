// MyMd on any UTF-16 text (unpaired surrogates and characters outside the code page included), of
// any length up to the limit and just past it.
#include "common/digest.h"
#include "os/errors.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr size_t kLimit = 65534;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Any length, at the limit, or where the thinning starts.
    const std::wstring text = fuzz::TextOfShape(in, 16, kLimit + 100, kLimit, 997, 1997).text;

    try {
        const std::wstring code = MyMd(text);
        FUZZ_CHECK(text.size() <= kLimit);
        FUZZ_CHECK(fuzz::IsCapitalCode(code));
    } catch (const OverflowError&) {
        FUZZ_CHECK(text.size() > kLimit);
    }
    return 0;
}
