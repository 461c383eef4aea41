#include "vistrel/VistrelUsers.hpp"

#include "support/CaseName.hpp"
#include "vistrel/VistrelPrint.hpp"

#include <gtest/gtest.h>

namespace orvane::vistrel {
namespace {

// ---- SplitFields -----------------------------------------------------------

struct SplitCase {
    const char* name;
    std::string_view text;
    std::vector<std::string_view> fields;
};

const SplitCase kSplitCases[] = {
    {"Plain", "a,b,c", {"a", "b", "c"}},
    {"AdjacentDelimitersGiveEmptyField", "a,,b", {"a", "", "b"}},
    {"LeadingDelimitersSkipped", ",,a,b", {"a", "b"}},
    {"TrailingDelimiterAddsNoField", "a,b,", {"a", "b"}},
    {"TwoTrailingDelimitersAddOneEmptyField", "a,,", {"a", ""}},
    {"EmptyText", "", {}},
    {"OnlyDelimiters", ",,,", {}},
    {"NoDelimiter", "abc", {"abc"}},
    {"BlanksAreData", " a , b ", {" a ", " b "}},
};

class SplitFieldsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldsTest, Fields)
{
    EXPECT_EQ(SplitFields(GetParam().text, ','), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitFieldsTest, ::testing::ValuesIn(kSplitCases), orvane::test::CaseName{});

// ---- one response line -----------------------------------------------------

TVistrelUser Anna()
{
    TVistrelUser u;
    u.FirstId = 7;
    u.SecondId = 70;
    u.Name = "Anna";
    u.Lat = 55.75;
    u.Lon = 37.625;
    u.Value4 = 1.5;
    u.Speed = 12.6;
    u.Course = 270;
    u.Value7 = 9000000000;
    u.TimeText = "12.05 10:30";
    return u;
}

constexpr std::string_view kAnnaLine = "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70";

struct LineCase {
    const char* name;
    std::string_view line;
    std::optional<TVistrelUser> user;
};

TVistrelUser With(TVistrelUser u, void (*change)(TVistrelUser&))
{
    change(u);
    return u;
}

const LineCase kLineCases[] = {
    {"AllFields", kAnnaLine, Anna()},
    {"LeadingCommaIgnored", ",VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70", Anna()},
    {"FieldsBeyondElevenIgnored", "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70,extra", Anna()},
    {"NegativeAndExponent", "VL,Anna,-33.5,-7e1,0,0,0,-1,-7,t,70",
     With(Anna(), [](TVistrelUser& u) {
         u.Lat = -33.5;
         u.Lon = -70;
         u.Value4 = 0;
         u.Speed = 0;
         u.Course = 0;
         u.Value7 = -1;
         u.FirstId = -7;
         u.TimeText = "t";
     })},
    {"EmptyNameAndTime", "VL,,55.75,37.625,1.5,12.6,270,9000000000,7,,70",
     With(Anna(), [](TVistrelUser& u) {
         u.Name.clear();
         u.TimeText.clear();
     })},
    {"OtherMarker", "XL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70", std::nullopt},
    {"MarkerIsCaseSensitive", "vl,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70", std::nullopt},
    {"TenFields", "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30", std::nullopt},
    {"NonNumericLatitude", "VL,Anna,55.7x,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70", std::nullopt},
    {"CarriageReturnInLastField", "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70\r",
     std::nullopt},
    {"FractionalIdentifier", "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,7.5,12.05 10:30,70", std::nullopt},
    {"IdentifierBeyond32Bits", "VL,Anna,55.75,37.625,1.5,12.6,270,9000000000,2147483648,12.05 10:30,70",
     std::nullopt},
    {"Value7Beyond64Bits", "VL,Anna,55.75,37.625,1.5,12.6,270,9223372036854775808,7,12.05 10:30,70",
     std::nullopt},
    {"InfinityIsNoNumber", "VL,Anna,inf,37.625,1.5,12.6,270,9000000000,7,12.05 10:30,70", std::nullopt},
    {"NanIsNoNumber", "VL,Anna,55.75,37.625,1.5,nan,270,9000000000,7,12.05 10:30,70", std::nullopt},
    {"EmptySpeed", "VL,Anna,55.75,37.625,1.5,,270,9000000000,7,12.05 10:30,70", std::nullopt},
};

class ParseLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseLineTest, User)
{
    EXPECT_EQ(ParseVistrelLine(GetParam().line), GetParam().user);
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseLineTest, ::testing::ValuesIn(kLineCases), orvane::test::CaseName{});

TEST(ParseVistrelResponse, BadLinesAreSkippedAndTheOthersKept)
{
    const std::string text = std::string(kAnnaLine) + "\n" +
                              "VL,Boris,1,2\n"                                   // too short
                              "\n"                                               // empty line
                              "VL,Boris,60,30,0,5,0,0,8,t,80";                   // no final LF
    const auto users = ParseVistrelResponse(text);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0], Anna());
    EXPECT_EQ(users[1].Name, "Boris");
    EXPECT_EQ(users[1].SecondId, 80);
}

// ---- the user list ---------------------------------------------------------

TVistrelUser User(std::string name, std::int32_t firstId, std::int32_t secondId, double lat)
{
    TVistrelUser u;
    u.Name = std::move(name);
    u.FirstId = firstId;
    u.SecondId = secondId;
    u.Lat = lat;
    return u;
}

TEST(MergeVistrelUsers, SameIdentifiersOverwriteInPlaceOthersAppend)
{
    std::vector<TVistrelUser> list = {User("A", 1, 1, 10), User("B", 2, 2, 20)};
    const std::vector<TVistrelUser> reported = {
        User("C", 3, 3, 30),
        User("B renamed", 2, 2, 21),
        User("C", 3, 3, 31),        // the later report wins
        User("A", 1, 2, 40),        // same name, other pair: a new user
    };
    MergeVistrelUsers(list, reported);
    const std::vector<TVistrelUser> expected = {User("A", 1, 1, 10), User("B renamed", 2, 2, 21),
                                                User("C", 3, 3, 31), User("A", 1, 2, 40)};
    EXPECT_EQ(list, expected);
}

// ---- speed -----------------------------------------------------------------

struct SpeedCase {
    const char* name;
    double speed;
    std::string_view text;
};

const SpeedCase kSpeedCases[] = {
    {"RoundsUp", 12.6, "13 km/h"},
    {"HalfAwayFromZero", 12.5, "13 km/h"},
    {"RoundsDown", 12.4999, "12 km/h"},
    {"Zero", 0.0, "0 km/h"},
    {"Large", 1234.4, "1234 km/h"},
};

class SpeedTextTest : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedTextTest, Text)
{
    EXPECT_EQ(VistrelSpeedText(GetParam().speed), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, SpeedTextTest, ::testing::ValuesIn(kSpeedCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane::vistrel
