#include "shell/UpdateCheck.hpp"

#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"

#include <gtest/gtest.h>

namespace orvane::shell {
namespace {

using orvane::test::CannedResponse;
using orvane::test::HttpTestServer;

struct CheckCase {
    const char* name;
    int status;
    std::string body;
    std::optional<std::int32_t> runningBuild;
    UpdateAnswer answer;
    std::size_t bytes;
};

const CheckCase kCheckCases[] = {
    {"NewerBuildOffered", 200, "134\r\n", 133, UpdateAnswer::OfferDownload, 5},
    {"SameBuildSilent", 200, "133\r\n", 133, UpdateAnswer::Nothing, 5},
    {"OlderBuildSilent", 200, "120", 133, UpdateAnswer::Nothing, 3},
    {"BlanksAroundCount", 200, " 134 \n", 133, UpdateAnswer::OfferDownload, 6},
    {"ControlCharactersAroundCount", 200, "\t134\x01\n", 133, UpdateAnswer::OfferDownload, 6},
    {"OnlyTheFirstLineCounts", 200, "120\n134\n", 133, UpdateAnswer::Nothing, 8},
    {"FirstLineEndsAtCarriageReturn", 200, "134\r999", 133, UpdateAnswer::OfferDownload, 7},
    {"EmptyFileSilent", 200, "", 133, UpdateAnswer::Nothing, 0},
    {"LetterBeforeNumberSilent", 200, "v134", 133, UpdateAnswer::Nothing, 4},
    {"EmptyFirstLineSilent", 200, "\n134", 133, UpdateAnswer::Nothing, 4},
    {"UnreadableRunningBuildSilent", 200, "134", std::nullopt, UpdateAnswer::Nothing, 3},
    {"HttpErrorSilent", 404, "134", 133, UpdateAnswer::Nothing, 0},
};

class UpdateCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(UpdateCheckTest, Answer)
{
    const CheckCase& c = GetParam();
    HttpTestServer server;
    server.Set("/qve.txt", CannedResponse{c.status, c.body});
    const auto client = MakeCurlHttpClient();

    const UpdateCheckResult result = RunUpdateCheck(*client, server.BaseUrl(), HttpProxy{}, c.runningBuild);

    EXPECT_EQ(result.answer, c.answer);
    EXPECT_EQ(result.bytesReceived, c.bytes);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/qve.txt");
    EXPECT_EQ(requests[0].Header("User-Agent"),
              "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.8.1.2) Gecko/20070219 Firefox/2.0.0.2");
    EXPECT_EQ(requests[0].Header("Accept-Charset"), "windows-1251,utf-8;q=0.7,*;q=0.7");
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, image/png, */*");
}

INSTANTIATE_TEST_SUITE_P(Rows, UpdateCheckTest, ::testing::ValuesIn(kCheckCases), orvane::test::CaseName{});

TEST(UpdateCheck, NoConnectionIsSilent)
{
    const orvane::test::RefusingPort nobody;
    const auto client = MakeCurlHttpClient();
    const UpdateCheckResult result = RunUpdateCheck(*client, nobody.BaseUrl(), HttpProxy{}, 133);
    EXPECT_EQ(result.answer, UpdateAnswer::Nothing);
    EXPECT_EQ(result.bytesReceived, 0u);
}

TEST(UpdateCheck, GoesThroughTheProxy)
{
    HttpTestServer proxy;
    proxy.Set("http://maker.invalid/qve.txt", CannedResponse{200, "134"});
    const auto client = MakeCurlHttpClient();

    const UpdateCheckResult result =
        RunUpdateCheck(*client, "http://maker.invalid/", HttpProxy{"127.0.0.1", proxy.Port(), "u", "p"}, 133);

    EXPECT_EQ(result.answer, UpdateAnswer::OfferDownload);
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://maker.invalid/qve.txt");
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "Basic dTpw");
}

TEST(UpdateCheck, RequestedOnlyOnceAndOnlyAfterATileWasDownloaded)
{
    HttpTestServer server;
    server.Set("/qve.txt", CannedResponse{200, "134"});
    const auto client = MakeCurlHttpClient();
    UpdateCheckGate gate;
    // The GUI's timer: each tick runs the check when the gate opens.
    auto tick = [&](bool tileDownloaded) {
        if (gate.Tick(tileDownloaded)) RunUpdateCheck(*client, server.BaseUrl(), HttpProxy{}, 133);
    };

    tick(false);
    tick(false);
    EXPECT_EQ(server.RequestCount(), 0u) << "offline: the version file is never requested";
    EXPECT_FALSE(gate.Started());

    tick(true);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(gate.Started());

    tick(true);
    tick(false);
    tick(true);
    EXPECT_EQ(server.RequestCount(), 1u) << "at most once per run";
}

TEST(UpdateCheck, DownloadPageIsBelowTheSite)
{
    EXPECT_EQ(DownloadPageUrl("http://maker.invalid"), "http://maker.invalid/site/download.php?list.4");
    EXPECT_EQ(DownloadPageUrl("http://maker.invalid/"), "http://maker.invalid/site/download.php?list.4");
}

} // namespace
} // namespace orvane::shell
