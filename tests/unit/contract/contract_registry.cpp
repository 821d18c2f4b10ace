// The registry in its ANSI form (os/registry.h): setup's uninstall entry, the print page set-up of
// every user, the registration of components. Answers are Windows' result codes.
#include "os/registry.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kBase = "Software\\ContractRegistry";
constexpr uint32_t kAllAccess = 0xF003F;

} // namespace

TEST(RegistryContract, CreatedKeysOpenWhateverTheCaseAndMissingOnesAnswer2)
{
    contract::Scratch fresh;
    os::RegKey key = 0;
    ASSERT_EQ(os::CreateKeyEx(os::kHkeyCurrentUser, kBase + "\\Entry", 0, kAllAccess, key), 0);
    EXPECT_EQ(os::SetValue(key, "DisplayName", os::kRegSz, std::string("\xca\xd5\xd2\xf8\xcd\xa8", 7)), 0);
    EXPECT_EQ(os::CloseKey(key), 0);
    EXPECT_EQ(os::CloseKey(key), os::kRegInvalidHandle);
    EXPECT_EQ(os::OpenKey(os::kHkeyCurrentUser, kBase + "\\ENTRY", 0, kAllAccess, key), 0);
    EXPECT_EQ(os::CloseKey(key), 0);
    EXPECT_EQ(os::OpenKey(os::kHkeyCurrentUser, kBase + "\\missing", 0, kAllAccess, key), 2);
    EXPECT_EQ(os::DeleteKey(os::kHkeyCurrentUser, kBase + "\\Entry"), 0);
    EXPECT_EQ(os::DeleteKey(os::kHkeyCurrentUser, kBase), 0);
}

// Children come in name order and end with 259; a key with children is not deleted (5).
TEST(RegistryContract, ChildrenEnumerateInNameOrderAndKeepTheirParent)
{
    contract::Scratch fresh;
    os::RegKey key = 0;
    for (const char* child : {"\\b", "\\A"}) {
        ASSERT_EQ(os::CreateKey(os::kHkeyCurrentUser, kBase + child, key), 0);
        os::CloseKey(key);
    }
    ASSERT_EQ(os::OpenKey(os::kHkeyCurrentUser, kBase, 0, kAllAccess, key), 0);
    std::string first, second, third;
    EXPECT_EQ(os::EnumKey(key, 0, 260, first), 0);
    EXPECT_EQ(os::EnumKey(key, 1, 260, second), 0);
    EXPECT_EQ(os::EnumKey(key, 2, 260, third), 259);
    EXPECT_EQ(first + "," + second, "A,b");
    os::CloseKey(key);
    EXPECT_EQ(os::DeleteKey(os::kHkeyCurrentUser, kBase), 5);
    for (const char* child : {"\\b", "\\A"}) EXPECT_EQ(os::DeleteKey(os::kHkeyCurrentUser, kBase + child), 0);
    EXPECT_EQ(os::DeleteKey(os::kHkeyCurrentUser, kBase), 0);
}
