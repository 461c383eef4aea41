#include "shell/FileVersion.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

namespace orvane::shell {
namespace {

struct BuildCase {
    const char* name;
    std::string_view version;
    std::optional<std::int32_t> build;
};

const BuildCase kBuildCases[] = {
    {"FourComponents", "1.2.3.45", 45},
    {"ReleaseBuild", "2.0.0.133", 133},
    {"NoDots", "5", 5},
    {"FinalDotEndsLastComponent", "1.2.", 2},
    {"EmptyMiddleComponentIgnored", "1..3", 3},
    {"Empty", "", std::nullopt},
    {"OnlyDot", ".", std::nullopt},
    {"EmptyLastComponent", "1.2..", std::nullopt},
    {"NonNumeric", "1.2.3.b45", std::nullopt},
    {"TooLarge", "1.0.0.2147483648", std::nullopt},
};

class BuildNumberTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildNumberTest, Build)
{
    EXPECT_EQ(BuildNumberOf(GetParam().version), GetParam().build);
}

INSTANTIATE_TEST_SUITE_P(Rows, BuildNumberTest, ::testing::ValuesIn(kBuildCases), orvane::test::CaseName{});

TEST(FileVersion, TheBuildCarriesAReadableVersion)
{
    // The version comes from the build (ORVANE_FILE_VERSION); the update
    // check needs its build number.
    EXPECT_FALSE(GetFileVersionString().empty());
    EXPECT_TRUE(GetBuildNumber().has_value()) << GetFileVersionString();
}

} // namespace
} // namespace orvane::shell
