#include "cli/CliRunner.hpp"
#include "conversion/MapPackage.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

using test::RunOrvane;
using test::RunResult;

/// A package of three tiles (JPEG, PNG and unrecognised data) south of the
/// equator, written by the package writer in both layouts.
void WriteSamplePackage(const fs::path& outFile)
{
    using conversion::MapPackageWriter;
    const std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
    MapPackageWriter writer(outFile, {-33.5, 37.25, 7}, 3);
    writer.AddTile(100, 200, 10, jpeg);
    writer.AddTile(-1, 0, 1, png);
    writer.AddTile(5, 6, 18, {});
    writer.Finish();
}

std::string InDir(std::string_view text, const fs::path& dir)
{
    std::string out;
    for (char c : text) out += c == '@' ? dir.string() : std::string(1, c);
    return out;
}

struct InfoCase {
    const char* name;
    std::vector<std::string> args;  // "@" is the folder holding pkg.qvm / pkg.qvo
    int exitCode;
    const char* out;  // exact standard output
    const char* err;  // text standard error must contain ("" = must be empty)
};

const InfoCase kInfoCases[] = {
    {"internal_text",
     {"info", "@/pkg.qvm"},
     0,
     "file: @/pkg.qvm\n"
     "layout: internal\n"
     "centre latitude: 226.766667 (bytes DF E2: 223 + 226/60)\n"
     "centre longitude: 37.250000 (bytes 25 0F: 37 + 15/60)\n"
     "start level: 7\n"
     "tile count: 3\n"
     "tile 1: x=100 y=200 level=10 kind=2 size=4 JPEG\n"
     "tile 2: x=-1 y=0 level=1 kind=2 size=10 PNG\n"
     "tile 3: x=5 y=6 level=18 kind=2 size=0 unknown\n",
     ""},
    {"any_other_name_reads_the_external_map",
     {"info", "@/pkg.map"},
     0,
     "file: @/pkg.qvo\n"
     "layout: external\n"
     "centre latitude: 226.766667 (bytes DF E2: 223 + 226/60)\n"
     "centre longitude: 37.250000 (bytes 25 0F: 37 + 15/60)\n"
     "start level: 7\n"
     "tile count: 3\n"
     "data block start: 72\n"
     "tile 1: x=100 y=200 level=10 kind=2 size=4 offset=0 JPEG\n"
     "tile 2: x=-1 y=0 level=1 kind=2 size=10 offset=4 PNG\n"
     "tile 3: x=5 y=6 level=18 kind=2 size=0 offset=14 unknown\n",
     ""},
    {"external_json",
     {"info", "--json", "@/pkg.qvo"},
     0,
     "{\n"
     "  \"file\": \"@/pkg.qvo\",\n"
     "  \"layout\": \"external\",\n"
     "  \"centre\": {\"latitude\": 226.76666666666668, \"longitude\": 37.25, \"bytes\": [223, 226, 37, 15]},\n"
     "  \"startLevel\": 7,\n"
     "  \"tileCount\": 3,\n"
     "  \"dataBlockStart\": 72,\n"
     "  \"tiles\": [\n"
     "    {\"x\": 100, \"y\": 200, \"level\": 10, \"kind\": 2, \"size\": 4, \"offset\": 0, \"format\": \"JPEG\"},\n"
     "    {\"x\": -1, \"y\": 0, \"level\": 1, \"kind\": 2, \"size\": 10, \"offset\": 4, \"format\": \"PNG\"},\n"
     "    {\"x\": 5, \"y\": 6, \"level\": 18, \"kind\": 2, \"size\": 0, \"offset\": 14, \"format\": \"unknown\"}\n"
     "  ]\n"
     "}\n",
     ""},
    {"truncated_package",
     {"info", "@/cut.qvm"},
     1,
     "",
     "Malformed map package \"@/cut.qvm\": the 10 data bytes of tile record 2 run past the end of the file "
     "(they would end at byte 57, the file has 50 bytes).\n"},
    {"missing_package", {"info", "@/none.qvm"}, 1, "", "Cannot open file \"@/none.qvm\": No such file or directory\n"},
    {"unknown_option", {"info", "--bogus", "@/pkg.qvm"}, 2, "", "unknown option --bogus"},
    {"no_package", {"info"}, 2, "", "expected one PACKAGE"},
};

class InfoCommandTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoCommandTest, PrintsPackageOrFails)
{
    const auto& c = GetParam();
    test::TempDir dir;
    WriteSamplePackage(dir / "pkg");
    fs::copy_file(dir / "pkg.qvm", dir / "cut.qvm");
    fs::resize_file(dir / "cut.qvm", 50);  // inside the second tile's data

    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(InDir(a, dir.Path()));
    const RunResult r = RunOrvane(dir, args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, InDir(c.out, dir.Path()));
    if (*c.err == '\0') {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(InDir(c.err, dir.Path())), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, InfoCommandTest, ::testing::ValuesIn(kInfoCases), test::CaseName{});

} // namespace
} // namespace orvane::cli
