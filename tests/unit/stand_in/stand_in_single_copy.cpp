#include "tests/unit/stand_in/stand_in_single_copy.h"

#include "os/single_copy.h"
#include "tests/unit/stand_in/stand_in_platform.h"

#include <set>
#include <string>

namespace {

struct Claims {
    std::multiset<std::wstring> held;   // upper-cased names of the claims held
    bool anotherProcess = false;
};

Claims& C() { return fakeos::TheOne<Claims>(); }

} // namespace

namespace fakeos {

void ResetSingleCopy() { C() = Claims{}; }
void SetAnotherCopyRunning(bool running) { C().anotherProcess = running; }

} // namespace fakeos

namespace os {

SingleCopyClaim::SingleCopyClaim(std::wstring_view programName)
{
    fakeos::Journal().push_back(L"guard");
    auto* name = new std::wstring(fakeos::UpperCase(programName));   // the handle: the name claimed
    anotherCopy_ = C().anotherProcess || C().held.count(*name) != 0;
    C().held.insert(*name);
    handle_ = name;
}

SingleCopyClaim::~SingleCopyClaim()
{
    auto* name = static_cast<std::wstring*>(handle_);
    if (const auto it = C().held.find(*name); it != C().held.end()) C().held.erase(it);
    delete name;
}

} // namespace os
