#include "mapview/PlanFile.hpp"
#include "mapview/RegionSize.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::mapview {
namespace {

namespace fs = std::filesystem;

std::string Le32(std::int32_t v)
{
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return out;
}

std::string RecordBytes(const TCompileRegion& r)
{
    const auto bytes = EncodeCompileRegion(r);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

const TCompileRegion kMoscow{55.8, 37.5, 55.7, 37.7, 13, 2, "13/9:Google Map"};

// ---- the record --------------------------------------------------------------

TEST(CompileRegionRecord, LaysOutFieldsLittleEndianWithZeroPadding)
{
    // Doubles chosen for short bit patterns: 1.0, -2.0, 0.5, 256.0.
    const TCompileRegion r{1.0, -2.0, 0.5, 256.0, -2, 0xAB, "ab"};
    std::string expected(kCompileRegionSize, '\0');
    const char head[] = "\x00\x00\x00\x00\x00\x00\xF0\x3F"  // top 1.0
                        "\x00\x00\x00\x00\x00\x00\x00\xC0"  // left -2.0
                        "\x00\x00\x00\x00\x00\x00\xE0\x3F"  // bottom 0.5
                        "\x00\x00\x00\x00\x00\x00\x70\x40"  // right 256.0
                        "\xFE\xFF\xFF\xFF"                  // level -2
                        "\xAB\x00\x00\x00"                  // map type, padding
                        "\x02"                              // caption length
                        "ab";
    std::memcpy(expected.data(), head, sizeof head - 1);
    EXPECT_EQ(RecordBytes(r), expected);
    EXPECT_EQ(DecodeCompileRegion(EncodeCompileRegion(r)), r);
}

TEST(CompileRegionRecord, CaptionIsStoredInCodePage1251)
{
    const TCompileRegion r{1, 2, 0, 3, 4, 5, "4/1:Регион"};
    const std::string bytes = RecordBytes(r);
    EXPECT_EQ(bytes[40], '\x0A');
    EXPECT_EQ(bytes.substr(41, 10), "4/1:\xD0\xE5\xE3\xE8\xEE\xED");
    EXPECT_EQ(DecodeCompileRegion(EncodeCompileRegion(r)).caption, r.caption);
}

struct CaptionCase {
    const char* name;
    std::size_t recordSize;  // bytes the decoder receives
    std::uint8_t lengthByte;
    std::size_t captionSize; // caption bytes read back
};

const CaptionCase kCaptionCases[] = {
    {"full_record", 296, 10, 10},
    // The characters area holds 250: a longer length stops there.
    {"length_255_reads_250", 296, 255, 250},
    // A short record has no bytes past its end to give.
    {"short_record_stops_its_caption", 45, 10, 4},
    {"record_without_caption_bytes", 40, 10, 0},
    {"empty_record", 0, 0, 0},
};

class CaptionLengthTest : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(CaptionLengthTest, NeverReadsPastTheCharacters)
{
    const auto& c = GetParam();
    auto bytes = EncodeCompileRegion({1, 2, 3, 4, 5, 6, ""});
    bytes[40] = c.lengthByte;
    for (std::size_t i = 41; i < bytes.size(); ++i) bytes[i] = 'x';
    const TCompileRegion r = DecodeCompileRegion(std::span(bytes).first(c.recordSize));
    EXPECT_EQ(r.caption, std::string(c.captionSize, 'x'));
    if (c.recordSize >= 40) EXPECT_EQ(r.level, 5);
    else EXPECT_EQ(r, TCompileRegion{});
}

INSTANTIATE_TEST_SUITE_P(Rows, CaptionLengthTest, ::testing::ValuesIn(kCaptionCases), test::CaseName{});

TEST(CompileRegionRecord, EncoderCutsCaptionTo250)
{
    const TCompileRegion r{0, 0, 0, 0, 1, 1, std::string(300, 'c')};
    EXPECT_EQ(DecodeCompileRegion(EncodeCompileRegion(r)).caption, std::string(250, 'c'));
}

// ---- plan files --------------------------------------------------------------

TEST(PlanFile, SavedPlanLoadsWithTheSameCaptionsAndSizes)
{
    test::TempDir dir;
    const std::vector<TCompileRegion> regions = {
        MakeCompileRegion({55.8, 37.5, 55.7, 37.7}, 13, 2, LayerName(2)),
        MakeCompileRegion({60, 30, 59.5, 31}, 9, 5, LayerName(5)),
        MakeCompileRegion({1, -1, -1, 1}, 18, 9, LayerName(9)),
    };
    const fs::path written = SavePlan(dir / "trip.qvm", regions);
    EXPECT_EQ(written, dir / "trip.mapp");

    const std::string bytes = test::ReadFile(written);
    EXPECT_EQ(bytes, Le32(3) + Le32(296) + RecordBytes(regions[0]) + Le32(296) + RecordBytes(regions[1]) +
                         Le32(296) + RecordBytes(regions[2]));

    std::vector<TCompileRegion> loaded;
    LoadPlan(written, loaded);
    ASSERT_EQ(loaded, regions);
    for (const auto& r : loaded) {
        const auto size = UpdateRegionSize({r.topLat, r.leftLon, r.bottomLat, r.rightLon}, r.level);
        EXPECT_EQ(RegionCaption(r.level, size.tileCountText, LayerName(r.mapType)), r.caption);
    }
    EXPECT_EQ(loaded[0].caption, "13/9:Google Map");
}

TEST(PlanFile, SaveReplacesAnExistingPlanAndLeavesNoScratchFile)
{
    test::TempDir dir;
    test::WriteFile(dir / "p.mapp", "old contents");
    SavePlan(dir / "p.mapp", std::vector{kMoscow});
    EXPECT_EQ(test::ReadFile(dir / "p.mapp"), Le32(1) + Le32(296) + RecordBytes(kMoscow));
    EXPECT_FALSE(fs::exists(dir / "p.mapp.tmp"));
}

TEST(PlanFile, SaveIntoAMissingFolderFailsNamingThePlan)
{
    test::TempDir dir;
    const fs::path target = dir / "no" / "p.mapp";
    try {
        SavePlan(target, std::vector{kMoscow});
        FAIL() << "saved";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + target.string() + "\": No such file or directory");
    }
}

struct MalformedCase {
    const char* name;
    std::string bytes;
    const char* cause;
};

const MalformedCase kMalformedCases[] = {
    {"zero_length", "", "the file is 0 bytes long, too short to hold the region count"},
    {"count_cut_short", std::string("\x01\x00\x00", 3), "the file is 3 bytes long, too short to hold the region count"},
    {"negative_count", Le32(-1), "the region count -1 is negative"},
    {"count_past_end", Le32(2) + Le32(296) + RecordBytes(kMoscow), "the file ends before the record size of region 2 of 2"},
    {"huge_count", Le32(0x7FFFFFFF), "the file ends before the record size of region 1 of 2147483647"},
    {"size_cut_short", Le32(1) + std::string("\x28\x01", 2), "the file ends before the record size of region 1 of 1"},
    {"truncated_record", Le32(1) + Le32(296) + RecordBytes(kMoscow).substr(0, 100),
     "the record of region 1 announces 296 bytes, but only 100 are left in the file"},
    {"record_size_297", Le32(1) + Le32(297) + RecordBytes(kMoscow) + "x",
     "region 1 announces a record of 297 bytes; a record holds 0 to 296 bytes"},
    {"negative_record_size", Le32(1) + Le32(-4) + RecordBytes(kMoscow),
     "region 1 announces a record of -4 bytes; a record holds 0 to 296 bytes"},
    {"second_record_too_big", Le32(2) + Le32(296) + RecordBytes(kMoscow) + Le32(1000) + std::string(1000, 'z'),
     "region 2 announces a record of 1000 bytes; a record holds 0 to 296 bytes"},
};

class MalformedPlanTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedPlanTest, IsRefusedAndTheListStays)
{
    const auto& c = GetParam();
    test::TempDir dir;
    const fs::path path = dir / "bad.mapp";
    test::WriteFile(path, c.bytes);
    const TCompileRegion kept{1, 2, 3, 4, 5, 6, "kept"};
    std::vector<TCompileRegion> regions = {kept};
    try {
        LoadPlan(path, regions);
        FAIL() << "loaded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot load plan \"" + path.string() + "\": " + c.cause);
    }
    EXPECT_EQ(regions, std::vector{kept});
}

INSTANTIATE_TEST_SUITE_P(Rows, MalformedPlanTest, ::testing::ValuesIn(kMalformedCases), test::CaseName{});

TEST(PlanFile, MissingFileReportsTheFileErrorAndTheListStays)
{
    test::TempDir dir;
    std::vector<TCompileRegion> regions = {kMoscow};
    try {
        LoadPlan(dir / "none.mapp", regions);
        FAIL() << "loaded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "none.mapp").string() + "\": No such file or directory");
    }
    EXPECT_EQ(regions, std::vector{kMoscow});
}

struct AcceptedCase {
    const char* name;
    std::string bytes;
    std::vector<TCompileRegion> regions;
};

const AcceptedCase kAcceptedCases[] = {
    // An empty plan empties the list.
    {"count_zero", Le32(0), {}},
    {"bytes_after_the_last_record_ignored", Le32(1) + Le32(296) + RecordBytes(kMoscow) + "tail", {kMoscow}},
    // Shorter records fill what they hold; the rest reads as zeros.
    {"empty_record", Le32(1) + Le32(0), {TCompileRegion{}}},
    {"record_of_edges_only", Le32(2) + Le32(32) + RecordBytes(kMoscow).substr(0, 32) + Le32(296) + RecordBytes(kMoscow),
     {TCompileRegion{55.8, 37.5, 55.7, 37.7, 0, 0, ""}, kMoscow}},
};

class AcceptedPlanTest : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedPlanTest, ReplacesTheList)
{
    const auto& c = GetParam();
    test::TempDir dir;
    test::WriteFile(dir / "p.mapp", c.bytes);
    std::vector<TCompileRegion> regions = {TCompileRegion{1, 2, 3, 4, 5, 6, "old"}};
    LoadPlan(dir / "p.mapp", regions);
    EXPECT_EQ(regions, c.regions);
}

INSTANTIATE_TEST_SUITE_P(Rows, AcceptedPlanTest, ::testing::ValuesIn(kAcceptedCases), test::CaseName{});

} // namespace
} // namespace orvane::mapview
