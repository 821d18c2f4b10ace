// Whether another copy of a program runs: a claim on a name shared by every copy of the program in
// the user's session, held until the claim object is destroyed (for a program: until it ends).
#pragma once
#include <string_view>

namespace os {

class SingleCopyClaim {
public:
    // Claims the name of the program (its executable name without extension; case does not count).
    explicit SingleCopyClaim(std::wstring_view programName);
    ~SingleCopyClaim();
    SingleCopyClaim(const SingleCopyClaim&) = delete;
    SingleCopyClaim& operator=(const SingleCopyClaim&) = delete;

    // True when a copy that started earlier and still runs holds the claim.
    bool AnotherCopyRunning() const { return anotherCopy_; }

private:
    void* handle_ = nullptr;
    bool anotherCopy_ = false;
};

} // namespace os
