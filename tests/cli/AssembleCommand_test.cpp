#include "cli/CliRunner.hpp"
#include "conversion/MapPackage.hpp"
#include "support/CaseName.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;
using test::RunOrvane;

void WritePackage(const fs::path& outFile, const conversion::PackageHeaderInfo& header,
                  const std::vector<std::array<std::int32_t, 3>>& tiles)
{
    const std::vector<std::uint8_t> data = {0xFF, 0xD8, 0xFF, 0xE0};
    conversion::MapPackageWriter writer(outFile, header, static_cast<std::uint32_t>(tiles.size()));
    for (const auto& t : tiles) writer.AddTile(t[0], t[1], t[2], data);
    writer.Finish();
}

/// a and b share tile (100, 200, 10); a lies south of the equator.
void WriteInputs(const fs::path& dir)
{
    WritePackage(dir / "a.qvm", {-33.5, 37.25, 7}, {{100, 200, 10}, {1, 2, 3}});
    WritePackage(dir / "b.qvm", {55.5, 37.25, 5}, {{100, 200, 10}, {5, 5, 5}});
    test::WriteFile(dir / "notes.txt", "not a package");
    test::WriteFile(dir / "bad.qvm", "short");
}

std::string InDir(std::string_view text, const fs::path& dir)
{
    std::string out;
    for (char c : text) out += c == '@' ? dir.string() : std::string(1, c);
    return out;
}

struct CommandCase {
    const char* name;
    std::vector<std::string> args;  // "@" is the folder holding the inputs
    int exitCode;
    const char* out;  // exact standard output
    const char* err;  // text standard error must contain ("" = must be empty)
};

const CommandCase kCases[] = {
    {"assemble_prints_the_closing_text",
     {"assemble", "@/out/m.qvm", "@/a.qvm", "@/b.qvo", "@/notes.txt"},
     0,
     "Assembled map contains 3 of total 4 map tiles.\n"
     "Wrote @/out/m.qvm and @/out/m.qvo\n",
     ""},
    {"assemble_needs_an_input", {"assemble", "@/out.qvm"}, 2, "", "expected OUTPUT and at least one INPUT"},
    {"assemble_stops_on_a_malformed_input",
     {"assemble", "@/out.qvm", "@/a.qvm", "@/bad.qvm"},
     1,
     "",
     "Malformed map package \"@/bad.qvm\": the 9-byte header is cut short (the file has 5 bytes).\n"
     "The assembly stopped before writing its output; no output file was changed.\n"},
    {"import_prints_count_centre_and_start_level",
     {"import", "--layer", "2", "--cache", "@/cache", "@/a.qvm"},
     0,
     "Tile cache: @/cache\n"
     "Imported 2 tiles from @/a.qvm (internal map) into custom layer 2 (@/cache/MP/MAP)\n"
     "Centre: latitude 226.766667, longitude 37.250000\n"
     "Start level: 7\n",
     ""},
    {"import_any_other_name_reads_the_external_map",
     {"import", "--layer=1", "--cache=@/cache", "@/b"},
     0,
     "Tile cache: @/cache\n"
     "Imported 2 tiles from @/b.qvo (external map) into custom layer 1 (@/cache/MP/SUR)\n"
     "Centre: latitude 55.500000, longitude 37.250000\n"
     "Start level: 5\n",
     ""},
    {"import_needs_a_layer", {"import", "--cache", "@/cache", "@/a.qvm"}, 2, "", "--layer 1|2 is required"},
    {"import_layer_is_1_or_2",
     {"import", "--layer", "3", "--cache", "@/cache", "@/a.qvm"},
     2,
     "",
     "option --layer takes a whole number from 1 to 2, not \"3\""},
    {"import_stops_on_a_malformed_package",
     {"import", "--layer", "1", "--cache", "@/cache", "@/bad.qvm"},
     1,
     "Tile cache: @/cache\n",
     "The import stopped before any tile was copied into the tile cache.\n"},
};

class AssembleCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(AssembleCommandTest, PrintsAndExits)
{
    const CommandCase& c = GetParam();
    test::TempDir dir;
    WriteInputs(dir.Path());
    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(InDir(a, dir.Path()));

    const test::RunResult r = RunOrvane(dir, args);

    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, InDir(c.out, dir.Path()));
    if (*c.err == '\0') {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(InDir(c.err, dir.Path())), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, AssembleCommandTest, ::testing::ValuesIn(kCases), test::CaseName{});

} // namespace
} // namespace orvane::cli
