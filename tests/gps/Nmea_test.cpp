#include "gps/Nmea.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::gps {
namespace {

constexpr double kMin = 0.01666666666667; // degrees per minute, as the receiver rounds it

// The fix before each sentence: every value set, so that kept ones show.
constexpr TGpsFix kBefore{1.0, 2.0, 30.0, 123.4, 123};

void ExpectSameFix(const TGpsFix& actual, const TGpsFix& expected)
{
    EXPECT_DOUBLE_EQ(actual.Latitude, expected.Latitude);
    EXPECT_DOUBLE_EQ(actual.Longitude, expected.Longitude);
    EXPECT_DOUBLE_EQ(actual.Speed, expected.Speed);
    EXPECT_DOUBLE_EQ(actual.Course, expected.Course);
    EXPECT_EQ(actual.WholeCourse, expected.WholeCourse);
}

struct SentenceCase {
    const char* name;
    const char* sentence;
    std::optional<TGpsFix> expected; // nullopt: the sentence is dropped
};
void PrintTo(const SentenceCase& c, std::ostream* os) { *os << c.name; }

constexpr TGpsFix Position(double latitude, double longitude)
{
    return {latitude, longitude, kBefore.Speed, kBefore.Course, kBefore.WholeCourse};
}
constexpr TGpsFix Motion(double speed, double course, std::int32_t wholeCourse)
{
    return {kBefore.Latitude, kBefore.Longitude, speed, course, wholeCourse};
}

const SentenceCase kSentenceCases[] = {
    // GGA: the fourth decimal of the minutes is missing and counts as zero.
    {"gga_north_east", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
     Position(48 + 7.038 * kMin, 11 + 31 * kMin)},
    {"gga_south_west", "$GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*48",
     Position(-(48 + 7.038 * kMin), -(11 + 31 * kMin))},
    {"gga_gn_talker", "$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59",
     Position(48 + 7.038 * kMin, 11 + 31 * kMin)},
    {"gga_first_byte_not_checked", "#GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
     Position(48 + 7.038 * kMin, 11 + 31 * kMin)},
    {"gga_zero_satellites", "$GPGGA,123519,4807.038,N,01131.000,E,1,00,0.9,545.4,M,46.9,M,,*4F", std::nullopt},
    {"gga_empty_satellites_accepted", "$GPGGA,123519,4807.038,N,01131.000,E,1,,0.9,545.4,M,46.9,M,,*4F",
     Position(48 + 7.038 * kMin, 11 + 31 * kMin)},
    {"gga_empty_position_is_zero", "$GPGGA,123519,,,,,1,05,0.9,545.4,M,46.9,M,,*73", Position(0, 0)},
    {"gga_fifth_minute_decimal_ignored", "$GPGGA,123519,4807.03849,N,01131.00051,E,1,08,0.9,545.4,M,46.9,M,,*4E",
     Position(48 + 7.0384 * kMin, 11 + 31.0005 * kMin)},
    {"gga_whole_minutes_only", "$GPGGA,123519,4807,N,01131,E,1,08,0.9,545.4,M,46.9,M,,*4C",
     Position(48 + 7 * kMin, 11 + 31 * kMin)},
    {"gga_malformed_latitude", "$GPGGA,123519,48o7.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*18", std::nullopt},

    // Checksum.
    {"checksum_lower_case_digits", "$GPGGA,123519,4807.03849,N,01131.00051,E,1,08,0.9,545.4,M,46.9,M,,*4e",
     Position(48 + 7.0384 * kMin, 11 + 31.0005 * kMin)},
    {"checksum_wrong", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48", std::nullopt},
    {"checksum_missing", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", std::nullopt},
    {"checksum_one_digit", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4", std::nullopt},
    {"checksum_followed_by_cr", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r",
     Position(48 + 7.038 * kMin, 11 + 31 * kMin)},
    {"other_type_ignored", "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39", std::nullopt},
    {"empty_line", "", std::nullopt},

    // RMC: speed in tenths of a knot, course only above 3.0 km/h.
    {"rmc_moving", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", Motion(41.4848, 84.4, 84)},
    {"rmc_status_void", "$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*7D", std::nullopt},
    {"rmc_slow_keeps_course", "$GPRMC,123519,A,4807.038,N,01131.000,E,001.5,084.4,230394,003.1,W*6A",
     Motion(2.778, kBefore.Course, kBefore.WholeCourse)},
    {"rmc_speed_truncated_to_tenths", "$GPRMC,123519,A,4807.038,N,01131.000,E,012.37,084.4,230394,003.1,W*59",
     Motion(12.3 * 1.852, 84.4, 84)},
    {"rmc_just_below_course_speed", "$GPRMC,123519,A,4807.038,N,01131.000,E,001.6,084.4,230394,003.1,W*69",
     Motion(1.6 * 1.852, kBefore.Course, kBefore.WholeCourse)},
    {"rmc_just_above_course_speed", "$GPRMC,123519,A,4807.038,N,01131.000,E,001.7,084.4,230394,003.1,W*68",
     Motion(1.7 * 1.852, 84.4, 84)},
    {"rmc_negative_course_wraps", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,-10.0,230394,003.1,W*7E",
     Motion(41.4848, 350.0, 350)},
    {"rmc_course_truncated", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,359.97,230394,003.1,W*53",
     Motion(41.4848, 359.9, 359)},
    {"rmc_empty_speed_is_zero", "$GPRMC,123519,A,4807.038,N,01131.000,E,,084.4,230394,003.1,W*40",
     Motion(0.0, kBefore.Course, kBefore.WholeCourse)},
    {"rmc_empty_course_kept", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,,230394,003.1,W*4C",
     Motion(41.4848, kBefore.Course, kBefore.WholeCourse)},
    {"rmc_malformed_speed", "$GPRMC,123519,A,4807.038,N,01131.000,E,22.x,084.4,230394,003.1,W*16", std::nullopt},
};

class HandleSentenceTest : public ::testing::TestWithParam<SentenceCase> {};

TEST_P(HandleSentenceTest, GivesTheFixOrDropsTheSentence)
{
    const auto& c = GetParam();
    const auto fix = HandleSentence(c.sentence, kBefore);
    ASSERT_EQ(fix.has_value(), c.expected.has_value());
    if (fix) ExpectSameFix(*fix, *c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sentences, HandleSentenceTest, ::testing::ValuesIn(kSentenceCases),
                         orvane::test::CaseName{});

struct BufferCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines; // handed out, over all chunks
    std::string pending;            // left in the buffer at the end
};
void PrintTo(const BufferCase& c, std::ostream* os) { *os << c.name; }

const std::string kXs(1023, 'x');

const std::vector<BufferCase> kBufferCases = {
    {"two_lines_in_one_chunk", {"$A*00\r\n$B*00\r\n"}, {"$A*00\r", "$B*00\r"}, ""},
    {"line_split_across_chunks", {"$GPG", "GA*00\r\nnext"}, {"$GPGGA*00\r"}, "next"},
    {"empty_lines", {"\n\n"}, {"", ""}, ""},
    {"exactly_full_buffer", {std::string(1000, 'a'), std::string(24, 'a') + "\n"}, {std::string(1024, 'a')}, ""},
    {"overflow_drops_oldest", {kXs, std::string(1023, 'y')}, {}, std::string(2, 'x') + std::string(1023, 'y')},
    {"overlong_line_then_sentence", {kXs, std::string(977, 'x') + "\n$S\n"}, {std::string(1021, 'x'), "$S"}, ""},
    {"chunk_larger_than_buffer", {std::string(1500, 'z') + "\nok\n"}, {std::string(1021, 'z'), "ok"}, ""},
};

class LineBufferTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(LineBufferTest, CutsLines)
{
    const auto& c = GetParam();
    LineBuffer buffer;
    std::vector<std::string> lines;
    for (const auto& chunk : c.chunks) {
        buffer.Append(chunk);
        buffer.TakeLines([&](std::string_view line) { lines.emplace_back(line); });
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(buffer.Pending(), c.pending);
}

INSTANTIATE_TEST_SUITE_P(Chunks, LineBufferTest, ::testing::ValuesIn(kBufferCases), orvane::test::CaseName{});

std::string Repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

struct StreamCase {
    const char* name;
    std::string stream; // lines that each fit the buffer with their line feed
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

const std::vector<StreamCase> kStreamCases = {
    {"many_sentences", Repeat("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n", 300)},
    {"lines_as_long_as_the_buffer", Repeat(std::string(1024, 'a') + "\n" + "$B*00\r\n" + std::string(1000, 'c') + "\n", 4)},
};

class LineBufferReadTest : public ::testing::TestWithParam<StreamCase> {};

// Reads of the size the buffer asks for never cut a line that fits it, at
// whatever point of a line a read ends.
TEST_P(LineBufferReadTest, KeepsEveryLineThatFits)
{
    const auto& c = GetParam();
    std::vector<std::string> expected;
    for (std::size_t start = 0; start < c.stream.size();) {
        const auto lf = c.stream.find('\n', start);
        expected.push_back(c.stream.substr(start, lf - start));
        start = lf + 1;
    }

    LineBuffer buffer;
    std::vector<std::string> lines;
    std::string_view rest = c.stream;
    while (!rest.empty()) {
        const std::size_t size = buffer.NextReadSize();
        ASSERT_GE(size, 1u);
        ASSERT_LE(size, kReadChunkSize);
        const auto chunk = rest.substr(0, size);
        rest.remove_prefix(chunk.size());
        buffer.Append(chunk);
        buffer.TakeLines([&](std::string_view line) { lines.emplace_back(line); });
    }
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(buffer.Pending(), "");
}

INSTANTIATE_TEST_SUITE_P(Reads, LineBufferReadTest, ::testing::ValuesIn(kStreamCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane::gps
