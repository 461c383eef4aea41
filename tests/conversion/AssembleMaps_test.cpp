#include "conversion/AssembleMaps.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::conversion {
namespace {

namespace fs = std::filesystem;

struct Tile {
    std::int32_t x;
    std::int32_t y;
    std::int32_t level;
    std::string data;  // tells the copies of a tile apart

    bool operator==(const Tile&) const = default;
};

void PrintTo(const Tile& t, std::ostream* os) { *os << "(" << t.x << "," << t.y << "," << t.level << ") " << t.data; }

struct Package {
    const char* stem;
    PackageHeaderInfo header;
    std::vector<Tile> tiles;
};

// Tile (100, 200, 10) is in both a and b; c holds one tile twice.
const Package kPackages[] = {
    {"a", {55.5, 37.25, 7}, {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}}},
    {"b", {10.0, 20.0, 5}, {{100, 200, 10, "B-100-200"}, {5, 5, 5, "B-5-5"}}},
    {"c", {1.0, 2.0, 9}, {{7, 7, 7, "C-first"}, {8, 8, 8, "C-8"}, {7, 7, 7, "C-second"}}},
    // 55.02 is stored as 55 deg 1 min.
    {"d", {55.02, 37.25, 4}, {{0, 0, 1, "D"}}},
    {"empty", {12.5, 30.0, 3}, {}},
};

std::string Be32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

/// An internal-map record written byte by byte, for what the writer never writes.
std::string Record(std::int32_t x, std::int32_t y, std::int32_t level, std::uint8_t kind, std::uint32_t size)
{
    return Be32(static_cast<std::uint32_t>(x)) + Be32(static_cast<std::uint32_t>(y)) +
           Be32(static_cast<std::uint32_t>(level)) + std::string(1, static_cast<char>(kind)) + Be32(size);
}

std::string Header(std::uint32_t count) { return std::string("\x01\x00\x02\x00\x06", 5) + Be32(count); }

/// Replaces each "@" with the folder.
std::string InDir(std::string_view text, const fs::path& dir)
{
    std::string out;
    for (char c : text) out += c == '@' ? dir.string() : std::string(1, c);
    return out;
}

void WritePackage(const fs::path& dir, const Package& p)
{
    MapPackageWriter writer(dir / (std::string(p.stem) + ".qvm"), p.header, static_cast<std::uint32_t>(p.tiles.size()));
    for (const Tile& t : p.tiles)
        writer.AddTile(t.x, t.y, t.level,
                       std::span(reinterpret_cast<const std::uint8_t*>(t.data.data()), t.data.size()));
    writer.Finish();
}

/// The source packages in both layouts, the same files under other names
/// and letter cases, and one package with tile kinds the writer never writes.
void WriteInputs(const fs::path& dir)
{
    for (const Package& p : kPackages) WritePackage(dir, p);
    fs::copy_file(dir / "b.qvm", dir / "B.QVM");
    fs::copy_file(dir / "a.qvo", dir / "A.QvO");
    fs::copy_file(dir / "a.qvm", dir / "a.map");
    fs::copy_file(dir / "a.qvm", dir / "a");
    test::WriteFile(dir / "notes.txt", "not a package");
    test::WriteFile(dir / "kinds.qvm", Header(3) + Record(3, 3, 3, 2, 2) + "K2" + Record(3, 3, 3, 7, 2) + "K7" +
                                           Record(3, 3, 3, 7, 3) + "K7b");
}

struct Contents {
    PackageHeader header;
    std::vector<Tile> tiles;
};

Contents ReadPackage(const fs::path& file, PackageLayout layout)
{
    MapPackageReader reader(file, layout);
    Contents c{reader.Header(), {}};
    for (std::size_t i = 0; i < reader.Tiles().size(); ++i) {
        const PackageTile& t = reader.Tiles()[i];
        EXPECT_EQ(t.kind, kPackageTileKind);
        const auto data = reader.ReadTileData(i);
        c.tiles.push_back({t.x, t.y, t.level, std::string(data.begin(), data.end())});
    }
    return c;
}

std::vector<std::string> FilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

using HeaderBytes = std::array<int, 5>;  // latitude deg, min, longitude deg, min, start level

HeaderBytes BytesOf(const PackageHeader& h)
{
    return {h.latDegrees, h.latMinutes, h.lonDegrees, h.lonMinutes, h.startLevel};
}

// ---- assembling --------------------------------------------------------------

struct AssembleCase {
    const char* name;
    std::vector<const char*> inputs;
    std::vector<Tile> tiles;  // the output, in order
    std::uint64_t total;      // entries read
    HeaderBytes header;
};

const AssembleCase kAssembleCases[] = {
    {"earlier_input_wins",
     {"a.qvm", "b.qvm"},
     {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}, {5, 5, 5, "B-5-5"}},
     4,
     {10, 0, 20, 0, 5}},
    {"list_order_decides",
     {"b.qvm", "a.qvm"},
     {{100, 200, 10, "B-100-200"}, {5, 5, 5, "B-5-5"}, {1, 2, 3, "A-1-2"}},
     4,
     {55, 30, 37, 15, 5}},
    {"earlier_record_in_one_file_wins",
     {"c.qvm"},
     {{7, 7, 7, "C-first"}, {8, 8, 8, "C-8"}},
     3,
     {1, 0, 2, 0, 9}},
    {"same_file_twice", {"a.qvm", "a.qvm"}, {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}}, 4, {55, 30, 37, 15, 7}},
    {"internal_and_external_of_one_package",
     {"a.qvm", "a.qvo"},
     {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}},
     4,
     {55, 30, 37, 15, 7}},
    {"external_map", {"b.qvo"}, {{100, 200, 10, "B-100-200"}, {5, 5, 5, "B-5-5"}}, 2, {10, 0, 20, 0, 5}},
    {"other_extensions_ignored",
     {"notes.txt", "a.map", "a", "b.qvm", "missing.qvp"},
     {{100, 200, 10, "B-100-200"}, {5, 5, 5, "B-5-5"}},
     2,
     {10, 0, 20, 0, 5}},
    {"extension_in_any_letter_case",
     {"B.QVM", "A.QvO"},
     {{100, 200, 10, "B-100-200"}, {5, 5, 5, "B-5-5"}, {1, 2, 3, "A-1-2"}},
     4,
     {55, 30, 37, 15, 5}},
    {"centre_encoded_again_by_truncation", {"d.qvm"}, {{0, 0, 1, "D"}}, 1, {55, 0, 37, 15, 4}},
    {"package_of_no_tiles", {"empty.qvm"}, {}, 0, {12, 30, 30, 0, 3}},
    {"last_input_read_gives_the_centre_even_without_tiles",
     {"a.qvm", "empty.qvo"},
     {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}},
     2,
     {12, 30, 30, 0, 3}},
    {"no_input_read", {"notes.txt"}, {}, 0, {0, 0, 0, 0, 1}},
    {"empty_list", {}, {}, 0, {0, 0, 0, 0, 1}},
    {"kind_is_part_of_a_tiles_identity", {"kinds.qvm"}, {{3, 3, 3, "K2"}, {3, 3, 3, "K7"}}, 3, {1, 0, 2, 0, 6}},
};

class AssembleTest : public ::testing::TestWithParam<AssembleCase> {};

TEST_P(AssembleTest, WritesTheKeptTilesInBothLayouts)
{
    const AssembleCase& row = GetParam();
    test::TempDir dir;
    WriteInputs(dir.Path());
    ASSERT_EQ(ReadPackage(dir / "d.qvm", PackageLayout::Internal).header.latMinutes, 1);
    std::vector<fs::path> inputs;
    for (const char* name : row.inputs) inputs.push_back(dir / name);
    const fs::path out = dir / "out" / "merged.qvm";

    const AssembleResult r = AssembleMaps(inputs, out);

    EXPECT_EQ(r.keptTiles, row.tiles.size());
    EXPECT_EQ(r.totalTiles, row.total);
    for (const auto layout : {PackageLayout::Internal, PackageLayout::External}) {
        const fs::path file = layout == PackageLayout::Internal ? dir / "out" / "merged.qvm" : dir / "out" / "merged.qvo";
        SCOPED_TRACE(file.string());
        const Contents c = ReadPackage(file, layout);
        EXPECT_EQ(BytesOf(c.header), row.header);
        EXPECT_EQ(c.header.tileCount, row.tiles.size());
        EXPECT_EQ(c.tiles, row.tiles);
    }
    EXPECT_FALSE(fs::exists(dir / "out" / "merged.qvp"));
    // Every temporary file is gone; the folder stays once it was needed.
    EXPECT_EQ(FilesIn(dir / "out" / "tmptiles"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Rows, AssembleTest, ::testing::ValuesIn(kAssembleCases), test::CaseName{});

TEST(AssembleMaps, KeepsNoStateBetweenRuns)
{
    test::TempDir dir;
    WriteInputs(dir.Path());
    AssembleMaps({dir / "a.qvm"}, dir / "first.qvm");
    const AssembleResult r = AssembleMaps({dir / "notes.txt"}, dir / "second.qvm");
    EXPECT_EQ(r.totalTiles, 0u);
    EXPECT_EQ(BytesOf(ReadPackage(dir / "second.qvo", PackageLayout::External).header), (HeaderBytes{0, 0, 0, 0, 1}));
}

TEST(AssembleMaps, MayOverwriteOneOfItsInputs)
{
    test::TempDir dir;
    WriteInputs(dir.Path());
    AssembleMaps({dir / "a.qvm", dir / "b.qvo"}, dir / "b.qvm");
    const std::vector<Tile> merged = {{100, 200, 10, "A-100-200"}, {1, 2, 3, "A-1-2"}, {5, 5, 5, "B-5-5"}};
    EXPECT_EQ(ReadPackage(dir / "b.qvo", PackageLayout::External).tiles, merged);
    EXPECT_EQ(ReadPackage(dir / "b.qvm", PackageLayout::Internal).tiles, merged);
}

// ---- failures ----------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::vector<const char*> inputs;
    const char* badFile;      // written with badBytes; nullptr for none
    std::string badBytes;
    const char* blockedTemp;  // a folder in the way of this temporary file; nullptr for none
    const char* error;        // exact text; "@" is the folder
    std::vector<const char*> tmpLeft;  // what "tmptiles" holds afterwards
};

const char* const kStopped = "\nThe assembly stopped before writing its output; no output file was changed.";

const FailureCase kFailureCases[] = {
    {"missing_input", {"b.qvm", "missing.qvm"}, nullptr, "", nullptr,
     "Cannot open file \"@/missing.qvm\": No such file or directory", {}},
    {"header_cut_short", {"b.qvm", "bad.qvm"}, "bad.qvm", "\x01\x02\x03\x04\x05", nullptr,
     "Malformed map package \"@/bad.qvm\": the 9-byte header is cut short (the file has 5 bytes).", {}},
    {"count_runs_past_the_end", {"b.qvm", "bad.qvm"}, "bad.qvm", Header(2) + Record(1, 1, 1, 2, 3) + "abc", nullptr,
     "Malformed map package \"@/bad.qvm\": tile record 2 of 2 runs past the end of the file "
     "(it would end at byte 46, the file has 29 bytes).",
     {}},
    {"size_runs_past_the_end", {"b.qvm", "bad.qvm"}, "bad.qvm", Header(1) + Record(1, 1, 1, 2, 100) + "abc", nullptr,
     "Malformed map package \"@/bad.qvm\": the 100 data bytes of tile record 1 run past the end of the file "
     "(they would end at byte 126, the file has 29 bytes).",
     {}},
    {"size_over_64_mib", {"b.qvm", "bad.qvm"}, "bad.qvm", Header(1) + Record(1, 1, 1, 2, 0x04000001) + "abc", nullptr,
     "Malformed map package \"@/bad.qvm\": tile record 1 declares 67108865 data bytes, "
     "more than the 67108864 bytes (64 MiB) a tile may hold.",
     {}},
    {"truncated_index", {"b.qvm", "bad.qvo"}, "bad.qvo", Header(3) + Record(1, 1, 1, 2, 0) + Be32(0), nullptr,
     "Malformed map package \"@/bad.qvo\": index entry 2 of 3 runs past the end of the file "
     "(it would end at byte 51, the file has 30 bytes).",
     {}},
    // Tile 000000 is written, 000001 cannot be: the run removes its own file.
    {"temporary_file_cannot_be_written", {"b.qvm", "a.qvm"}, nullptr, "", "000001",
     "Cannot write file \"@/tmptiles/000001\": Is a directory", {"000001"}},
};

class AssembleFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AssembleFailureTest, StopsBeforeTheOutputAndCleansUp)
{
    const FailureCase& row = GetParam();
    test::TempDir dir;
    WriteInputs(dir.Path());
    const fs::path out = dir / "out.qvm";
    AssembleMaps({dir / "a.qvm"}, out);  // an earlier run's output
    const std::string qvmBefore = test::ReadFile(dir / "out.qvm");
    const std::string qvoBefore = test::ReadFile(dir / "out.qvo");
    if (row.badFile != nullptr) test::WriteFile(dir / row.badFile, row.badBytes);
    if (row.blockedTemp != nullptr) fs::create_directories(dir / "tmptiles" / row.blockedTemp);
    std::vector<fs::path> inputs;
    for (const char* name : row.inputs) inputs.push_back(dir / name);

    std::string error = "(no error)";
    try {
        AssembleMaps(inputs, out);
    } catch (const Error& e) {
        error = e.what();
    }

    EXPECT_EQ(error, InDir(row.error, dir.Path()) + kStopped);
    EXPECT_EQ(test::ReadFile(dir / "out.qvm"), qvmBefore);
    EXPECT_EQ(test::ReadFile(dir / "out.qvo"), qvoBefore);
    EXPECT_FALSE(fs::exists(dir / "out.qvp"));
    EXPECT_EQ(FilesIn(dir / "tmptiles"), std::vector<std::string>(row.tmpLeft.begin(), row.tmpLeft.end()));
}

INSTANTIATE_TEST_SUITE_P(Rows, AssembleFailureTest, ::testing::ValuesIn(kFailureCases), test::CaseName{});

} // namespace
} // namespace orvane::conversion
