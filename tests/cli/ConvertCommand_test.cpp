#include "cli/CliRunner.hpp"
#include "conversion/MapFixture.hpp"
#include "conversion/MapPackage.hpp"
#include "support/CaseName.hpp"

#include <gtest/gtest.h>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;
using test::RunOrvane;
using test::TempDir;

TEST(ConvertCommand, ConvertsAndReportsTheLevels)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "sheet", test::MapSheet{});
    const auto r = RunOrvane(dir, {"convert", "--levels", "2", "--no-ignore-border", "--threads", "2",
                                   map.string(), (dir / "out" / "sheet.qvm").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Used levels from 14 to 13; "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("When correcting map offset you must use M=14"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");  // no progress bar when standard error is not a terminal
    const conversion::MapPackageReader pkg(dir / "out" / "sheet.qvo", conversion::PackageLayout::External);
    EXPECT_GT(pkg.Header().tileCount, 0u);
    EXPECT_TRUE(fs::exists(dir / "out" / "sheet.qvm"));
}

TEST(ConvertCommand, CacheTargetsWriteTilesWhereAsked)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "sheet", test::MapSheet{});
    auto gm = RunOrvane(dir, {"export-gm", "--levels", "1", "--no-ignore-border", map.string(),
                              (dir / "GoogleMV").string()});
    ASSERT_EQ(gm.exitCode, 0) << gm.err;
    EXPECT_TRUE(fs::is_directory(dir / "GoogleMV" / "Cache" / "mt" / "14"));

    // The cache folder comes from --cache, else from ORVANE_CACHE.
    auto layer1 = RunOrvane(dir, {"import-map", "--layer", "1", "--cache", (dir / "c1").string(), "--levels", "1",
                                  "--no-ignore-border", map.string()});
    ASSERT_EQ(layer1.exitCode, 0) << layer1.err;
    EXPECT_TRUE(fs::is_directory(dir / "c1" / "MP" / "SUR" / "14"));
    auto layer2 = RunOrvane(dir, {"import-map", "--layer", "2", "--levels", "1", "--no-ignore-border", map.string()},
                            {"ORVANE_CACHE=" + (dir / "c2").string()});
    ASSERT_EQ(layer2.exitCode, 0) << layer2.err;
    EXPECT_TRUE(fs::is_directory(dir / "c2" / "MP" / "MAP" / "14"));
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the folder with sheet.map
    int exitCode;
    const char* err;  // text standard error must contain
};

const CliCase kCliCases[] = {
    {"missing_image", {"convert", "@/noimage.map", "@/o.qvm"}, 1,
     "Error on load: Can' find map image: gone.png or gone.png\n"},
    {"missing_map", {"convert", "@/nothing.map", "@/o.qvm"}, 1, "nothing.map"},
    {"levels_out_of_range", {"convert", "--levels", "9", "@/sheet.map", "@/o.qvm"}, 2,
     "option --levels takes a whole number from 1 to 6, not \"9\""},
    {"quality_not_a_number", {"convert", "--quality", "high", "@/sheet.map", "@/o.qvm"}, 2, "--quality"},
    {"missing_output", {"convert", "@/sheet.map"}, 2, "expected SOURCE and OUTPUT"},
    {"unknown_option", {"convert", "--fast", "@/sheet.map", "@/o.qvm"}, 2, "unknown option --fast"},
    {"import_without_layer", {"import-map", "@/sheet.map"}, 2, "--layer 1|2 is required"},
    {"unknown_command", {"transmogrify"}, 2, "unknown command"},
};

class ConvertCliTest : public ::testing::TestWithParam<CliCase> {};

TEST_P(ConvertCliTest, FailsWithCodeAndMessage)
{
    const auto& c = GetParam();
    TempDir dir;
    test::WriteMap(dir.Path(), "sheet", test::MapSheet{});
    test::MapSheet gone;
    gone.imageName = "gone.png";
    test::WriteFile(dir / "noimage.map", test::MapText(gone));
    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(a[0] == '@' ? dir.Path().string() + a.substr(1) : a);
    const auto r = RunOrvane(dir, args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "o.qvm"));
}

INSTANTIATE_TEST_SUITE_P(Rows, ConvertCliTest, ::testing::ValuesIn(kCliCases), test::CaseName{});

} // namespace
} // namespace orvane::cli
