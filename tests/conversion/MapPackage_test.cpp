#include "conversion/MapPackage.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace orvane::conversion {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- byte builders, written independently of the code under test ----

std::string Be32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string HeaderBytes(std::uint32_t count, std::string centreAndLevel = std::string("\x37\x1E\x25\x0F\x05", 5))
{
    return centreAndLevel + Be32(count);
}

std::string Record(std::int32_t x, std::int32_t y, std::int32_t level, std::uint32_t size)
{
    return Be32(static_cast<std::uint32_t>(x)) + Be32(static_cast<std::uint32_t>(y)) +
           Be32(static_cast<std::uint32_t>(level)) + std::string(1, '\x02') + Be32(size);
}

std::string Entry(std::int32_t x, std::int32_t y, std::int32_t level, std::uint32_t size, std::uint32_t offset)
{
    return Record(x, y, level, size) + Be32(offset);
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

/// Distinct data per tile: a byte pattern of the given size.
Bytes TileData(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

/// Replaces each "@" with the folder.
std::string InDir(std::string_view text, const fs::path& dir)
{
    std::string out;
    for (char c : text) {
        if (c == '@')
            out += dir.string();
        else
            out += c;
    }
    return out;
}

template <class F>
std::string ErrorText(F&& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- centre bytes ----

struct CentreCase {
    const char* name;
    double coordinate;
    std::uint8_t degrees;
    std::uint8_t minutes;
};

const CentreCase kCentreCases[] = {
    {"north_55_5", 55.5, 0x37, 0x1E},
    {"east_37_25", 37.25, 0x25, 0x0F},
    {"south_33_5_wraps_both_bytes", -33.5, 0xDF, 0xE2},
    {"minutes_truncate_not_round", 55.0 + 59.9 / 60.0, 55, 59},
    {"just_south_of_equator_keeps_degree_zero", -0.5, 0x00, 0xE2},
    {"west_180", -180.0, 76, 0},
    {"above_255_keeps_low_bits", 300.5, 44, 30},
    {"beyond_int64_uses_exact_low_bits", 4503599627370497.0, 1, 0},
    {"huge_is_a_multiple_of_256", 1e300, 0, 0},
    {"huge_negative", -1e19, 0, 0},
    {"nan", std::numeric_limits<double>::quiet_NaN(), 0, 0},
    {"infinity", -std::numeric_limits<double>::infinity(), 0, 0},
};

class CentreBytesTest : public ::testing::TestWithParam<CentreCase> {};

TEST_P(CentreBytesTest, TruncatesTowardZeroAndKeepsLowByte)
{
    const auto& c = GetParam();
    EXPECT_EQ(CentreDegreesByte(c.coordinate), c.degrees);
    EXPECT_EQ(CentreMinutesByte(c.coordinate), c.minutes);
}

INSTANTIATE_TEST_SUITE_P(Rows, CentreBytesTest, ::testing::ValuesIn(kCentreCases), test::CaseName{});

TEST(PackageHeader, EncodesBigEndianAndReadsCentreUnsigned)
{
    const PackageHeader h = MakePackageHeader({-33.5, 37.25, 1000}, 0x01020304u);
    const auto bytes = EncodeHeader(h);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("\xDF\xE2\x25\x0F\xE8\x01\x02\x03\x04", 9));
    const PackageHeader back = DecodeHeader(bytes);
    EXPECT_EQ(back, h);
    // South of the equator comes back as a different, positive latitude.
    EXPECT_DOUBLE_EQ(back.CentreLat(), 223.0 + 226.0 / 60.0);
    EXPECT_DOUBLE_EQ(back.CentreLon(), 37.25);
}

TEST(PackageRecords, EncodeSignedFieldsBigEndianWithoutPadding)
{
    PackageTile t;
    t.x = -1;
    t.y = 0x01020304;
    t.level = 18;
    t.size = 0xA0B0C0D0u;
    t.offset = 1000;
    const auto entry = EncodeExternalEntry(t);
    const std::string expected = std::string("\xFF\xFF\xFF\xFF\x01\x02\x03\x04\x00\x00\x00\x12\x02\xA0\xB0\xC0\xD0", 17) +
                                 std::string("\x00\x00\x03\xE8", 4);
    EXPECT_EQ(std::string(entry.begin(), entry.end()), expected);
    const auto record = EncodeInternalRecord(t);
    EXPECT_EQ(std::string(record.begin(), record.end()), expected.substr(0, 17));

    EXPECT_EQ(DecodeExternalEntry(entry), t);
    PackageTile noOffset = t;
    noOffset.offset = 0;
    EXPECT_EQ(DecodeInternalRecord(record), noOffset);
}

// ---- signatures and file names ----

struct SniffCase {
    const char* name;
    std::string data;
    TileFormat format;
};

const SniffCase kSniffCases[] = {
    {"jpeg", std::string("\xFF\xD8\xFF\xE0", 4), TileFormat::Jpeg},
    {"jpeg_two_bytes_suffice", std::string("\xFF\xD8", 2), TileFormat::Jpeg},
    {"png", std::string("\x89PNG\r\n\x1A\n\x00", 9), TileFormat::Png},
    {"png_cut_short", std::string("\x89PNG\r\n\x1A", 7), TileFormat::Unknown},
    {"png_with_damaged_line_ending", std::string("\x89PNG\n\n\x1A\n", 8), TileFormat::Unknown},
    {"lone_ff", std::string("\xFF", 1), TileFormat::Unknown},
    {"gif", "GIF89a", TileFormat::Unknown},
    {"empty", "", TileFormat::Unknown},
};

class SniffTest : public ::testing::TestWithParam<SniffCase> {};

TEST_P(SniffTest, TellsJpegFromPngBySignature)
{
    const auto& c = GetParam();
    const Bytes data(c.data.begin(), c.data.end());
    EXPECT_EQ(SniffTileFormat(data), c.format);
}

INSTANTIATE_TEST_SUITE_P(Rows, SniffTest, ::testing::ValuesIn(kSniffCases), test::CaseName{});

struct ChoiceCase {
    const char* name;
    const char* chosen;
    PackageLayout importLayout;
    const char* importFile;
    std::optional<PackageLayout> assemblyLayout;
};

const ChoiceCase kChoiceCases[] = {
    {"qvm", "maps/moscow.qvm", PackageLayout::Internal, "maps/moscow.qvm", PackageLayout::Internal},
    {"qvm_any_case", "maps/MOSCOW.QvM", PackageLayout::Internal, "maps/MOSCOW.QvM", PackageLayout::Internal},
    {"qvo_read_as_named", "moscow.QVO", PackageLayout::External, "moscow.QVO", PackageLayout::External},
    {"other_extension_means_its_qvo", "moscow.map", PackageLayout::External, "moscow.qvo", std::nullopt},
    {"no_extension", "moscow", PackageLayout::External, "moscow.qvo", std::nullopt},
    {"qvm_not_at_end", "moscow.qvm.bak", PackageLayout::External, "moscow.qvm.qvo", std::nullopt},
};

class PackageChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(PackageChoiceTest, PicksLayoutAndFile)
{
    const auto& c = GetParam();
    const PackageFileChoice choice = ChoosePackageFile(c.chosen);
    EXPECT_EQ(choice.layout, c.importLayout);
    EXPECT_EQ(choice.file, fs::path(c.importFile));
    EXPECT_EQ(LayoutByExtension(c.chosen), c.assemblyLayout);
}

INSTANTIATE_TEST_SUITE_P(Rows, PackageChoiceTest, ::testing::ValuesIn(kChoiceCases), test::CaseName{});

// ---- writing: exact layout of both files ----

struct TileSpec {
    std::int32_t x, y, level;
    std::size_t size;
};

struct LayoutCase {
    const char* name;
    std::vector<TileSpec> tiles;
    std::uint64_t dataBlockStart;
    std::vector<std::uint32_t> offsets;
};

const LayoutCase kLayoutCases[] = {
    {"no_tiles_header_only", {}, 9, {}},
    {"one_tile", {{100, 200, 10, 5}}, 30, {0}},
    {"two_tiles_1000_and_2000", {{1, 2, 3, 1000}, {-4, 5, 18, 2000}}, 51, {0, 1000}},
    {"empty_tile_data_between", {{0, 0, 1, 3}, {1, 1, 2, 0}, {2, 2, 3, 4}}, 72, {0, 3, 3}},
};

class PackageLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PackageLayoutTest, WritesBothLayoutsByteForByte)
{
    const auto& c = GetParam();
    test::TempDir dir;
    std::string qvm = HeaderBytes(static_cast<std::uint32_t>(c.tiles.size()));
    std::string qvo = qvm;
    std::string block;
    {
        MapPackageWriter writer(dir / "out.jpg", {55.5, 37.25, 5}, static_cast<std::uint32_t>(c.tiles.size()));
        for (std::size_t i = 0; i < c.tiles.size(); ++i) {
            const TileSpec& t = c.tiles[i];
            const Bytes data = TileData(t.size, static_cast<std::uint8_t>(i + 1));
            writer.AddTile(t.x, t.y, t.level, data);
            qvm += Record(t.x, t.y, t.level, static_cast<std::uint32_t>(t.size)) + AsString(data);
            qvo += Entry(t.x, t.y, t.level, static_cast<std::uint32_t>(t.size), c.offsets[i]);
            block += AsString(data);
        }
        writer.Finish();
    }
    qvo += block;
    EXPECT_EQ(qvo.size() - block.size(), c.dataBlockStart);
    EXPECT_EQ(test::ReadFile(dir / "out.qvm"), qvm);
    EXPECT_EQ(test::ReadFile(dir / "out.qvo"), qvo);
    EXPECT_FALSE(fs::exists(dir / "out.qvp"));
    EXPECT_EQ(fs::file_size(dir / "out.qvm"), InternalMapSize(c.tiles.size(), block.size()));
    EXPECT_EQ(fs::file_size(dir / "out.qvo"), ExternalMapSize(c.tiles.size(), block.size()));
}

INSTANTIATE_TEST_SUITE_P(Rows, PackageLayoutTest, ::testing::ValuesIn(kLayoutCases), test::CaseName{});

// ---- writing and reading back, both layouts ----

TEST(PackageRoundTrip, BothLayoutsReadBackTheSameTilesOneAtATime)
{
    test::TempDir dir;
    const std::vector<TileSpec> tiles = {{100, 200, 10, 300}, {-1, 0, 1, 0}, {131071, 87000, 18, 70000}};
    std::vector<Bytes> data;
    {
        MapPackageWriter writer(dir / "pkg", {-33.5, -70.75, 12}, static_cast<std::uint32_t>(tiles.size()));
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            data.push_back(TileData(tiles[i].size, static_cast<std::uint8_t>(40 * i)));
            if (i == 2) {
                test::WriteFile(dir / "tmptiles" / "000002", AsString(data.back()));
                writer.AddTileFromFile(tiles[i].x, tiles[i].y, tiles[i].level, dir / "tmptiles" / "000002");
            } else {
                writer.AddTile(tiles[i].x, tiles[i].y, tiles[i].level, data.back());
            }
        }
        EXPECT_TRUE(fs::exists(dir / "pkg.qvp"));
        writer.Finish();
    }
    for (const char* chosen : {"pkg.QVM", "pkg"}) {
        SCOPED_TRACE(chosen);
        if (std::string_view(chosen) == "pkg.QVM") fs::rename(dir / "pkg.qvm", dir / "pkg.QVM");
        const MapPackageReader reader = MapPackageReader::OpenChosen(dir / chosen);
        const bool external = reader.Layout() == PackageLayout::External;
        EXPECT_EQ(external, std::string_view(chosen) == "pkg");
        EXPECT_EQ(reader.Header(), MakePackageHeader({-33.5, -70.75, 12}, 3));
        ASSERT_EQ(reader.Tiles().size(), tiles.size());
        std::uint32_t offset = 0;
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            const PackageTile& t = reader.Tiles()[i];
            EXPECT_EQ(t.x, tiles[i].x);
            EXPECT_EQ(t.y, tiles[i].y);
            EXPECT_EQ(t.level, tiles[i].level);
            EXPECT_EQ(t.kind, kPackageTileKind);
            EXPECT_EQ(t.size, tiles[i].size);
            EXPECT_EQ(t.offset, external ? offset : 0u);
            EXPECT_EQ(reader.ReadTileData(i), data[i]);
            offset += t.size;
        }
        EXPECT_EQ(reader.DataBlockStart(), external ? 9u + 21u * 3u : 0u);
    }
}

// ---- writing failures: the scratch file goes, the message names the file ----

/// Passes bytes to the real file until `limit` have gone through, then
/// fails as a full disk would.
class FailAfterSink final : public ByteSink {
public:
    FailAfterSink(const fs::path& path, std::uint64_t limit) : m_file(path), m_path(path), m_left(limit) {}
    void Write(std::span<const std::uint8_t> bytes) override
    {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), m_left));
        m_file.Write(bytes.first(n));
        m_left -= n;
        if (n < bytes.size()) throw Error("Cannot write file \"" + m_path.string() + "\": No space left on device");
    }
    void Close() override { m_file.Close(); }

private:
    FileSink m_file;
    fs::path m_path;
    std::uint64_t m_left;
};

struct WriteFailureCase {
    const char* name;
    const char* failingExtension;  // whose sink fails, or "" for none
    std::uint64_t failAfter;
    std::uint32_t declared;
    std::size_t tilesGiven;  // each of 100 bytes
    const char* expected;    // "@" is the folder
    std::uint64_t qvmLength;  // what remains of the internal map
};

const WriteFailureCase kWriteFailureCases[] = {
    {"qvo_fails_in_the_index", ".qvo", 40, 3, 3, "Cannot write file \"@/pkg.qvo\": No space left on device",
     9 + 117 + 17},
    {"qvo_fails_while_copying_the_data_block", ".qvo", 9 + 63 + 150, 3, 3,
     "Cannot write file \"@/pkg.qvo\": No space left on device", 9 + 3 * 117},
    {"qvm_fails_in_tile_data", ".qvm", 9 + 117 + 50, 3, 3, "Cannot write file \"@/pkg.qvm\": No space left on device",
     9 + 117 + 50},
    {"qvp_fails", ".qvp", 150, 3, 3, "Cannot write file \"@/pkg.qvp\": No space left on device", 9 + 2 * 117},
    {"more_tiles_than_declared", "", 0, 2, 3,
     "Cannot write \"@/pkg.qvm\": the package was declared with 2 tiles, and one more was given.", 9 + 2 * 117},
    {"fewer_tiles_than_declared", "", 0, 3, 2,
     "Cannot finish \"@/pkg.qvm\": the package was declared with 3 tiles, but only 2 were given.", 9 + 2 * 117},
};

class WriteFailureTest : public ::testing::TestWithParam<WriteFailureCase> {};

TEST_P(WriteFailureTest, DeletesScratchAndKeepsWhatWasWritten)
{
    const auto& c = GetParam();
    test::TempDir dir;
    const std::string failing = c.failingExtension;
    SinkFactory open = [&](const fs::path& p) -> std::unique_ptr<ByteSink> {
        if (p.extension() == failing) return std::make_unique<FailAfterSink>(p, c.failAfter);
        return std::make_unique<FileSink>(p);
    };
    const std::string error = ErrorText([&] {
        MapPackageWriter writer(dir / "pkg.qvm", {55.5, 37.25, 5}, c.declared, open);
        for (std::size_t i = 0; i < c.tilesGiven; ++i) writer.AddTile(1, 2, 3, TileData(100, 0));
        writer.Finish();
    });
    EXPECT_EQ(error, InDir(c.expected, dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
    EXPECT_EQ(fs::file_size(dir / "pkg.qvm"), c.qvmLength);
    EXPECT_TRUE(fs::exists(dir / "pkg.qvo"));
}

INSTANTIATE_TEST_SUITE_P(Rows, WriteFailureTest, ::testing::ValuesIn(kWriteFailureCases), test::CaseName{});

TEST(WriteFailure, WriterThatFailedRefusesFurtherTiles)
{
    test::TempDir dir;
    MapPackageWriter writer(dir / "pkg", {}, 1);
    writer.AddTile(0, 0, 1, TileData(1, 0));
    EXPECT_THROW(writer.AddTile(0, 0, 1, TileData(1, 0)), Error);
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
    EXPECT_THROW(writer.Finish(), std::logic_error);
}

TEST(WriteFailure, RealDiskFullNamesTheFile)
{
    test::TempDir dir;
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", dir / "pkg.qvo");
    const std::string error = ErrorText([&] {
        MapPackageWriter writer(dir / "pkg", {}, 1);
        writer.AddTile(0, 0, 1, TileData(10, 0));
        writer.Finish();
    });
    EXPECT_EQ(error, InDir("Cannot write file \"@/pkg.qvo\": No space left on device", dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
}

TEST(WriteFailure, CallerFailureBetweenTilesStillDeletesScratch)
{
    test::TempDir dir;
    try {
        MapPackageWriter writer(dir / "pkg", {}, 2);
        writer.AddTile(0, 0, 1, TileData(10, 0));
        EXPECT_TRUE(fs::exists(dir / "pkg.qvp"));
        throw Cancelled();
    } catch (const Cancelled&) {
    }
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
    EXPECT_EQ(fs::file_size(dir / "pkg.qvm"), 9u + 17u + 10u);
}

TEST(WriteFailure, MissingOrOversizedTileFileFailsThePackage)
{
    test::TempDir dir;
    const std::string missing = ErrorText([&] {
        MapPackageWriter writer(dir / "pkg", {}, 1);
        writer.AddTileFromFile(0, 0, 1, dir / "tmptiles" / "000000");
    });
    EXPECT_EQ(missing,
              InDir("Cannot open file \"@/tmptiles/000000\": No such file or directory", dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));

    // A sparse file: refused by its length, never read into memory.
    test::WriteFile(dir / "big", "");
    fs::resize_file(dir / "big", std::uint64_t{kMaxTileDataSize} + 1);
    const std::string big = ErrorText([&] {
        MapPackageWriter writer(dir / "pkg", {}, 1);
        writer.AddTileFromFile(0, 0, 1, dir / "big");
    });
    EXPECT_EQ(big, InDir("Cannot write tile 1 to \"@/pkg.qvm\": its image data of 67108865 bytes exceed the "
                         "limit of 67108864 bytes (64 MiB) per tile.",
                         dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
}

TEST(WriteFailure, UncreatableOutputNamesTheFile)
{
    test::TempDir dir;
    const std::string error = ErrorText([&] { MapPackageWriter writer(dir / "missing" / "pkg", {}, 0); });
    EXPECT_EQ(error, InDir("Cannot create file \"@/missing/pkg.qvm\": No such file or directory", dir.Path()));
}

// ---- the 2 GiB limit ----

struct SizeCase {
    const char* name;
    std::uint64_t tiles;
    std::uint64_t dataBytes;
    bool fits;
};

// The external map (9 + 21 N + data) must stay below 2^31 bytes.
const SizeCase kSizeCases[] = {
    {"empty", 0, 0, true},
    {"one_byte_below_2GiB", 1, 2147483648u - 30 - 1, true},
    {"reaches_2GiB", 1, 2147483648u - 30, false},
    {"largest_index_alone", 102261125, 0, true},
    {"index_alone_too_large", 102261126, 0, false},
    {"data_beyond_32_bits", 1, std::uint64_t{1} << 32, false},
    {"saturates_not_wraps", std::numeric_limits<std::uint64_t>::max(), 1, false},
};

class PlannedSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PlannedSizeTest, RefusesPackagesReaching2GiB)
{
    const auto& c = GetParam();
    if (c.fits) {
        EXPECT_NO_THROW(CheckPlannedSize(c.tiles, c.dataBytes));
    } else {
        EXPECT_THROW(CheckPlannedSize(c.tiles, c.dataBytes), Error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PlannedSizeTest, ::testing::ValuesIn(kSizeCases), test::CaseName{});

TEST(PackageSizeLimit, WriterStopsAtTheTileThatWouldReach2GiB)
{
    test::TempDir dir;
    EXPECT_EQ(ErrorText([&] { MapPackageWriter writer(dir / "huge", {}, 102261126); }),
              "The map package is too large: 102261126 tiles need an external map of 2147483655 bytes or more, "
              "but a package must stay below 2 GiB (2147483648 bytes). Use fewer levels or a smaller map.");
    EXPECT_FALSE(fs::exists(dir / "huge.qvm"));

    // 102 000 000 declared tiles leave 5 483 639 bytes below the limit.
    const std::string error = ErrorText([&] {
        MapPackageWriter writer(dir / "pkg", {}, 102000000);
        writer.AddTile(0, 0, 1, Bytes(5483639));
    });
    EXPECT_EQ(error, "The map package is too large: 102000000 tiles need an external map of 2147483648 bytes or "
                     "more, but a package must stay below 2 GiB (2147483648 bytes). Use fewer levels or a smaller map.");
    EXPECT_FALSE(fs::exists(dir / "pkg.qvp"));
    EXPECT_EQ(fs::file_size(dir / "pkg.qvm"), 9u);
}

// ---- reading malformed packages ----

struct MalformedCase {
    const char* name;
    PackageLayout layout;
    std::optional<std::string> bytes;  // nullopt: no such file
    const char* expected;              // "@" is the file
};

const MalformedCase kMalformedCases[] = {
    {"missing_file", PackageLayout::External, std::nullopt, "Cannot open file \"@\": No such file or directory"},
    {"header_truncated", PackageLayout::Internal, std::string("\x37\x1E\x25\x0F\x05", 5),
     "Malformed map package \"@\": the 9-byte header is cut short (the file has 5 bytes)."},
    {"internal_record_truncated", PackageLayout::Internal, HeaderBytes(1) + Record(1, 2, 3, 0).substr(0, 10),
     "Malformed map package \"@\": tile record 1 of 1 runs past the end of the file (it would end at byte 26, "
     "the file has 19 bytes)."},
    {"internal_count_past_end", PackageLayout::Internal, HeaderBytes(2) + Record(1, 2, 3, 3) + "abc",
     "Malformed map package \"@\": tile record 2 of 2 runs past the end of the file (it would end at byte 46, "
     "the file has 29 bytes)."},
    {"internal_huge_count", PackageLayout::Internal, HeaderBytes(0xFFFFFFFFu),
     "Malformed map package \"@\": tile record 1 of 4294967295 runs past the end of the file (it would end at "
     "byte 26, the file has 9 bytes)."},
    {"internal_size_past_end", PackageLayout::Internal, HeaderBytes(1) + Record(1, 2, 3, 10) + "abcd",
     "Malformed map package \"@\": the 10 data bytes of tile record 1 run past the end of the file (they would "
     "end at byte 36, the file has 30 bytes)."},
    {"internal_size_over_64MiB", PackageLayout::Internal, HeaderBytes(1) + Record(1, 2, 3, 67108865) + "abcd",
     "Malformed map package \"@\": tile record 1 declares 67108865 data bytes, more than the 67108864 bytes "
     "(64 MiB) a tile may hold."},
    {"external_index_truncated", PackageLayout::External,
     HeaderBytes(3) + Entry(1, 2, 3, 0, 0) + Entry(1, 2, 3, 0, 0) + "abcdefghij",
     "Malformed map package \"@\": index entry 3 of 3 runs past the end of the file (it would end at byte 72, "
     "the file has 61 bytes)."},
    {"external_huge_count", PackageLayout::External, HeaderBytes(0xFFFFFFFFu) + "x",
     "Malformed map package \"@\": index entry 1 of 4294967295 runs past the end of the file (it would end at "
     "byte 30, the file has 10 bytes)."},
    {"external_offset_outside_block", PackageLayout::External, HeaderBytes(1) + Entry(1, 2, 3, 4, 5) + "abcdef",
     "Malformed map package \"@\": the data of index entry 1 (offset 5, 4 bytes) lie outside the data block of "
     "6 bytes."},
    {"external_size_past_end", PackageLayout::External,
     HeaderBytes(2) + Entry(1, 2, 3, 3, 0) + Entry(1, 2, 3, 10, 3) + "abcde",
     "Malformed map package \"@\": the data of index entry 2 (offset 3, 10 bytes) lie outside the data block of "
     "5 bytes."},
    {"external_offset_wraps_32_bits", PackageLayout::External, HeaderBytes(1) + Entry(1, 2, 3, 2, 0xFFFFFFFFu) + "ab",
     "Malformed map package \"@\": the data of index entry 1 (offset 4294967295, 2 bytes) lie outside the data "
     "block of 2 bytes."},
    {"external_size_over_64MiB", PackageLayout::External, HeaderBytes(1) + Entry(1, 2, 3, 0xFFFFFFFFu, 0),
     "Malformed map package \"@\": index entry 1 declares 4294967295 data bytes, more than the 67108864 bytes "
     "(64 MiB) a tile may hold."},
};

class MalformedPackageTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedPackageTest, StopsWithErrorNamingFileAndRecord)
{
    const auto& c = GetParam();
    test::TempDir dir;
    const fs::path file = dir / "bad.pkg";
    if (c.bytes) test::WriteFile(file, *c.bytes);
    EXPECT_EQ(ErrorText([&] { MapPackageReader reader(file, c.layout); }), InDir(c.expected, file));
}

INSTANTIATE_TEST_SUITE_P(Rows, MalformedPackageTest, ::testing::ValuesIn(kMalformedCases), test::CaseName{});

TEST(MalformedPackage, FileCutAfterOpeningFailsTheTileRead)
{
    test::TempDir dir;
    test::WriteFile(dir / "p.qvm", HeaderBytes(1) + Record(1, 2, 3, 4) + "abcd");
    const MapPackageReader reader(dir / "p.qvm", PackageLayout::Internal);
    fs::resize_file(dir / "p.qvm", 28);
    EXPECT_EQ(ErrorText([&] { reader.ReadTileData(0); }),
              InDir("Cannot read file \"@/p.qvm\": unexpected end of file", dir.Path()));
}

} // namespace
} // namespace orvane::conversion
