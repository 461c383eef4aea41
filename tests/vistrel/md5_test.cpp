#include "vistrel/md5.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

namespace orvane::vistrel {
namespace {

struct Md5Case {
    const char* name;
    std::string_view input;
    std::string_view digest;
};

// The test suite of RFC 1321, appendix A.5.
const Md5Case kRfc1321[] = {
    {"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"A", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"MessageDigest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"Alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"AlphaNumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"EightyDigits", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

class Md5Test : public ::testing::TestWithParam<Md5Case> {};

TEST_P(Md5Test, MatchesRfc1321)
{
    EXPECT_EQ(Md5Hex(GetParam().input), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(Rfc1321, Md5Test, ::testing::ValuesIn(kRfc1321), orvane::test::CaseName{});

TEST(Md5, HashesBytesNotCharacters)
{
    // Bytes above 127 and NUL are data like any other ("\xC8\0" in the
    // windows-1251 code page is "И" followed by NUL).
    EXPECT_EQ(Md5Hex(std::string_view("\xC8\0", 2)), "9c1204aad2b2e8b6f1e9fa9ffc10f83e");
}

} // namespace
} // namespace orvane::vistrel
