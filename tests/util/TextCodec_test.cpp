#include "util/TextCodec.hpp"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(TextCodec, Cp1251RoundTripsCyrillic)
{
    // "Карта" in windows-1251.
    const std::string cp1251 = "\xCA\xE0\xF0\xF2\xE0";
    EXPECT_FALSE(IsValidUtf8(cp1251));
    const auto utf8 = Cp1251ToUtf8(cp1251);
    ASSERT_TRUE(utf8);
    EXPECT_EQ(*utf8, "Карта");
    EXPECT_TRUE(IsValidUtf8(*utf8));
    EXPECT_EQ(Utf8ToCp1251(*utf8), cp1251);
}

TEST(TextCodec, Utf8Validation)
{
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));     // truncated
    EXPECT_FALSE(Utf8ToCp1251("\xF0\x9F\x98\x80")); // no place in the code page
}

} // namespace
} // namespace orvane
