// The single-copy claim (os/single_copy.h): a second vemr or horasync ends at once.
#include "os/single_copy.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

TEST(SingleCopyContract, ASecondClaimSeesTheFirstUntilItIsGone)
{
    contract::Scratch fresh;
    {
        const os::SingleCopyClaim first(L"contract-copy");
        EXPECT_FALSE(first.AnotherCopyRunning());
        const os::SingleCopyClaim second(L"CONTRACT-COPY");
        EXPECT_TRUE(second.AnotherCopyRunning());
        EXPECT_FALSE(os::SingleCopyClaim(L"contract-other").AnotherCopyRunning());
    }
    EXPECT_FALSE(os::SingleCopyClaim(L"contract-copy").AnotherCopyRunning());
}
