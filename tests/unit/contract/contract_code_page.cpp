// The code-page conversion (os/ansi.h): config.txt, the trace file and the registry hold GBK
// bytes (code page 936).
#include "os/ansi.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

TEST(CodePageContract, ChineseTextAndItsGbkBytesConvertBothWays)
{
    EXPECT_EQ(ToAnsi(L"收银通 v1"), "\xca\xd5\xd2\xf8\xcd\xa8 v1");
    EXPECT_EQ(FromAnsi("\xca\xd5\xd2\xf8\xcd\xa8 v1"), L"收银通 v1");
}

TEST(CodePageContract, CharactersTheCodePageLacksBecomeQuestionMarks)
{
    EXPECT_EQ(ToAnsi(L"a\u0E01b"), "a?b");   // a Thai letter
}
