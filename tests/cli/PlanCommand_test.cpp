#include "cli/CliRunner.hpp"
#include "mapview/PlanFile.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

using test::RunOrvane;
using test::RunResult;

std::vector<std::string> AddArgs(const std::string& plan, const char* top, const char* left, const char* bottom,
                                 const char* right, const char* level, const char* mapType)
{
    return {"plan", "add", plan, "--top", top, "--left", left, "--bottom", bottom, "--right", right,
            "--level", level, "--map-type", mapType};
}

TEST(PlanCommand, AddsRegionsInOrderAndListsThem)
{
    test::TempDir dir;
    const std::string plan = (dir / "trip").string();  // saved as trip.mapp
    const std::string file = (dir / "trip.mapp").string();

    RunResult r = RunOrvane(dir, AddArgs(plan, "55.80", "37.50", "55.70", "37.70", "13", "Google Map"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, file + ": region 1 added: 13/9:Google Map\n");

    // Edges past 85 and 180 are clamped, the rest rounded to five decimals.
    r = RunOrvane(dir, AddArgs(file, "89", "-190", "-86", "190", "1", "9"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, file + ": region 2 added: 1/2:Custom Map 1\n");

    // Options may come before the plan and take the "--name=value" form.
    r = RunOrvane(dir, {"plan", "add", "--top=60.1234567", "--left=-0.5", file, "--bottom", "59.9", "--right=0.5",
                        "--level", "10", "--map-type", "12"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    r = RunOrvane(dir, {"plan", "list", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "1: top=55.80000 left=37.50000 bottom=55.70000 right=37.70000 level=13 map-type=2 size=768x768 "
              "tiles=9 caption=13/9:Google Map\n"
              "2: top=85.00000 left=-180.00000 bottom=-85.00000 right=180.00000 level=1 map-type=9 size=512x256 "
              "tiles=2 caption=1/2:Custom Map 1\n"
              "3: top=60.12346 left=-0.50000 bottom=59.90000 right=0.50000 level=10 map-type=12 size=512x256 "
              "tiles=2 caption=10/2:MT 12\n");
    EXPECT_EQ(r.err, "");
}

struct FailCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the plan's path
    int exitCode;
    const char* err;  // text standard error must contain
};

const FailCase kFailCases[] = {
    {"no_action", {"plan"}, 2, "expected add or list"},
    {"unknown_action", {"plan", "remove", "@"}, 2, "unknown action \"remove\""},
    {"missing_level",
     {"plan", "add", "@", "--top", "1", "--left", "1", "--bottom", "0", "--right", "2", "--map-type", "2"}, 2,
     "option --level is required"},
    {"level_19", {"plan", "add", "@", "--top", "1", "--left", "1", "--bottom", "0", "--right", "2", "--level", "19",
                  "--map-type", "2"}, 2, "option --level takes a whole number from 1 to 18"},
    {"coordinate_with_comma", {"plan", "add", "@", "--top", "1,5", "--left", "1", "--bottom", "0", "--right", "2",
                               "--level", "3", "--map-type", "2"}, 2,
     "option --top takes a decimal number of degrees, not \"1,5\""},
    {"unknown_layer", {"plan", "add", "@", "--top", "1", "--left", "1", "--bottom", "0", "--right", "2", "--level",
                       "3", "--map-type", "google"}, 2, "option --map-type takes a map type from 0 to 255"},
    {"two_plans", {"plan", "list", "@", "@"}, 2, "expected one PLAN"},
    // A click without a drag marks nothing: nothing is added.
    {"region_without_extent", {"plan", "add", "@", "--top", "1", "--left", "1", "--bottom", "1", "--right", "2",
                               "--level", "3", "--map-type", "2"}, 1,
     "The region has no extent: its top and bottom latitude, or its left and right longitude, are equal"},
    {"list_missing_plan", {"plan", "list", "@"}, 1, "Cannot open file \"@\": No such file or directory"},
};

class PlanCommandFailTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(PlanCommandFailTest, ReportsAndWritesNothing)
{
    const auto& c = GetParam();
    test::TempDir dir;
    const std::string plan = (dir / "p.mapp").string();
    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(a == "@" ? plan : a);
    std::string err = c.err;
    if (const auto at = err.find('@'); at != std::string::npos) err.replace(at, 1, plan);

    const RunResult r = RunOrvane(dir, args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(plan));
}

INSTANTIATE_TEST_SUITE_P(Rows, PlanCommandFailTest, ::testing::ValuesIn(kFailCases), test::CaseName{});

TEST(PlanCommand, DamagedPlanIsNeitherListedNorExtended)
{
    test::TempDir dir;
    const fs::path plan = dir / "p.mapp";
    const std::string damaged = std::string("\x02\x00\x00\x00\x28\x01\x00\x00", 8) + std::string(296, '\0');
    test::WriteFile(plan, damaged);
    const std::string cause =
        "Cannot load plan \"" + plan.string() + "\": the file ends before the record size of region 2 of 2\n";

    RunResult r = RunOrvane(dir, {"plan", "list", plan.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, cause);

    r = RunOrvane(dir, AddArgs(plan.string(), "1", "1", "0", "2", "3", "2"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, cause);
    EXPECT_EQ(test::ReadFile(plan), damaged);
}

} // namespace
} // namespace orvane::cli
