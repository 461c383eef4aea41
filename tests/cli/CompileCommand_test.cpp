#include "cli/CliRunner.hpp"
#include "conversion/MapPackage.hpp"
#include "geo/MercUtil.hpp"
#include "image/ImageCodecs.hpp"
#include "util/Messages.hpp"

#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

using test::CannedResponse;
using test::HttpTestServer;
using test::ReadFile;
using test::RecordedRequest;
using test::RunOrvane;
using test::RunResult;
using test::WriteFile;

std::string SmallPng()
{
    image::RgbImage img(4, 4);
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 12; ++x) img.Row(y)[x] = static_cast<std::uint8_t>(x * 20 + y);
    const auto bytes = image::EncodePng(img);
    return std::string(bytes.begin(), bytes.end());
}

/// A tile server for every OpenStreetMap path, a maps.ini pointing at it
/// (Mapnik may be compiled, the second layer not) and a plan.
struct CompileSetup {
    test::TempDir dir;
    HttpTestServer server;
    std::string png = SmallPng();
    std::vector<std::string> env;

    CompileSetup()
    {
        server.SetFallback([this](const RecordedRequest&) { return CannedResponse{200, png, {}, "image/png"}; });
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        WriteFile(dir / "maps.ini", "[Local Mapnik]\nMT=21\nCachePath=OS\\SUR\\\nURL=" + host +
                                        "/osm/\n[Local Strict]\nName=Local Strict\nMT=22\nCachePath=OS\\MAP\\\nURL=" +
                                        host + "/tah/\nBulk=0\n");
        env = {"ORVANE_MAPS_INI=" + (dir / "maps.ini").string()};
    }

    /// Adds the region from the centre of tile (c0, r0) to that of (c1, r1).
    void AddRegion(const std::string& plan, std::int32_t c0, std::int32_t r0, std::int32_t c1, std::int32_t r1,
                   std::int32_t level, const std::string& mapType)
    {
        auto lat = [&](std::int32_t row) { return std::to_string(geo::PixelYToLat(row * 256 + 128, level)); };
        auto lon = [&](std::int32_t col) { return std::to_string(geo::PixelXToLon(col * 256 + 128, level)); };
        const RunResult r = RunOrvane(dir, {"plan", "add", plan, "--top", lat(r0), "--left", lon(c0), "--bottom",
                                            lat(r1), "--right", lon(c1), "--level", std::to_string(level),
                                            "--map-type", mapType});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    RunResult Compile(std::vector<std::string> options, const std::string& plan, const std::string& output)
    {
        std::vector<std::string> args{"compile", "--cache", (dir / "Cache").string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(plan);
        args.push_back(output);
        return RunOrvane(dir, args, env);
    }
};

std::size_t FilesBelow(const fs::path& folder)
{
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder)) n += e.is_regular_file();
    return n;
}

TEST(CompileCommand, DownloadsCachesAndPacksARegionOfOver1000Tiles)
{
    CompileSetup s;
    const std::string plan = (s.dir / "city.mapp").string();
    s.AddRegion(plan, 2474, 1279, 2505, 1310, 13, "21");   // 32 x 32 tiles

    RunResult r = s.Compile({}, plan, (s.dir / "out/city").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Map of 1024 tiles ready.\nWrote " + (s.dir / "out/city.qvm").string() + " and " +
                         (s.dir / "out/city.qvo").string() + "\n");
    EXPECT_EQ(r.err, "");   // no terminal: no progress line
    EXPECT_EQ(s.server.RequestCount(), 1024u);
    EXPECT_EQ(FilesBelow(s.dir / "Cache"), 1024u);

    const conversion::MapPackageReader package(s.dir / "out/city.qvm", conversion::PackageLayout::Internal);
    ASSERT_EQ(package.Tiles().size(), 1024u);
    EXPECT_EQ(package.Header().startLevel, 13);
    EXPECT_EQ(package.Tiles().front().x, 2474);
    EXPECT_EQ(package.Tiles().back().y, 1310);
    const auto data = package.ReadTileData(517);
    EXPECT_EQ(std::string(data.begin(), data.end()), s.png);

    // Offline, the same package comes from the cache alone.
    r = s.Compile({"--offline", "--quiet"}, plan, (s.dir / "again.qvm").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(s.server.RequestCount(), 1024u);
    EXPECT_EQ(ReadFile(s.dir / "again.qvm"), ReadFile(s.dir / "out/city.qvm"));
    EXPECT_EQ(ReadFile(s.dir / "again.qvo"), ReadFile(s.dir / "out/city.qvo"));
}

TEST(CompileCommand, OfflineLeavesOutWhatTheCacheLacksAndSaysSo)
{
    CompileSetup s;
    const std::string plan = (s.dir / "small.mapp").string();
    s.AddRegion(plan, 10, 20, 11, 21, 6, "21");
    RunResult r = s.Compile({"--offline"}, plan, (s.dir / "small.qvm").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Map of 0 tiles ready.");
    EXPECT_EQ(r.err, "4 tiles are not in the cache " + (s.dir / "Cache").string() +
                         " (compiled offline) and were left out\n");
    EXPECT_EQ(s.server.RequestCount(), 0u);
}

struct FailCase {
    const char* name;
    std::vector<std::string> args;   // after "compile"; PLAN is the test's plan
    int exitCode;
    std::string errStart;
};

class CompileCommandFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(CompileCommandFailure, RefusesWithAClearMessage)
{
    const FailCase& c = GetParam();
    CompileSetup s;
    const std::string plan = (s.dir / "strict.mapp").string();
    s.AddRegion(plan, 10, 20, 11, 21, 6, "22");
    std::vector<std::string> args{"compile", "--cache", (s.dir / "Cache").string()};
    for (const auto& a : c.args) {
        if (a == "PLAN") args.push_back(plan);
        else if (a == "OUT") args.push_back((s.dir / "out.qvm").string());
        else if (a == "MISSING") args.push_back((s.dir / "none.mapp").string());
        else args.push_back(a);
    }
    const RunResult r = RunOrvane(s.dir, args, s.env);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.substr(0, std::string(c.errStart).size()), c.errStart) << r.err;
    EXPECT_FALSE(fs::exists(s.dir / "out.qvm"));
    EXPECT_EQ(s.server.RequestCount(), 0u);
}

const FailCase kFailCases[] = {
    {"SourceForbidsBulk", {"PLAN", "OUT"}, 1, msg::BulkDownloadRefused("Local Strict") + "\n"},
    {"MissingPlan", {"MISSING", "OUT"}, 1, "Cannot open file "},
    {"NoOutput", {"PLAN"}, 2, "orvane compile: expected PLAN and OUTPUT"},
    {"UnknownOption", {"--fast", "PLAN", "OUT"}, 2, "orvane compile: unknown option --fast"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CompileCommandFailure, ::testing::ValuesIn(kFailCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane::cli
