#include "util/HttpClient.hpp"

#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace orvane {
namespace {

using orvane::test::CannedResponse;
using orvane::test::HttpTestServer;
using orvane::test::RecordedRequest;

HttpRequest GetOf(std::string url, std::vector<HttpHeader> headers = {})
{
    HttpRequest request;
    request.url = std::move(url);
    request.headers = std::move(headers);
    return request;
}

TEST(HttpClient, SendsExactlyTheGivenHeaders)
{
    HttpTestServer server;
    server.Set("/t", CannedResponse{200, "body"});
    const auto client = MakeCurlHttpClient();

    const auto withHeaders = client->Get(GetOf(server.BaseUrl() + "/t", {{"User-Agent", "Agent/1.0"},
                                                                         {"Accept-Language", "en-us;q=0.5,en;q=0.3"},
                                                                         {"Accept", "text/html, image/png, */*"}}));
    const auto bare = client->Get(GetOf(server.BaseUrl() + "/t"));

    EXPECT_TRUE(withHeaders.Succeeded());
    EXPECT_EQ(withHeaders.body, "body");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("User-Agent"), "Agent/1.0");
    EXPECT_EQ(requests[0].Header("Accept-Language"), "en-us;q=0.5,en;q=0.3");
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, image/png, */*");
    // Nothing of curl's own: no default Accept, no User-Agent, no encodings.
    for (const RecordedRequest& r : requests) {
        for (const auto& [name, value] : r.headers) {
            const bool expected =
                name == "Host" || name == "User-Agent" || name == "Accept-Language" || name == "Accept";
            EXPECT_TRUE(expected) << name << ": " << value;
        }
    }
    EXPECT_FALSE(requests[1].HasHeader("Accept"));
    EXPECT_FALSE(requests[1].HasHeader("User-Agent"));
}

struct OutcomeCase {
    const char* name;
    int status;
    bool succeeded;
    std::string_view failureText;
};

const OutcomeCase kOutcomeCases[] = {
    {"Ok", 200, true, ""},
    {"NoContentIsSuccess", 204, true, ""},
    {"NotFoundGivesStatusLine", 404, false, "HTTP/1.1 404 Not Found"},
    {"ServerErrorGivesStatusLine", 503, false, "HTTP/1.1 503 Service Unavailable"},
};

class HttpOutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(HttpOutcomeTest, SuccessAndFailureText)
{
    const OutcomeCase& c = GetParam();
    HttpTestServer server;
    server.Set("/x", CannedResponse{c.status, c.status == 204 ? "" : "page"});
    const auto response = MakeCurlHttpClient()->Get(GetOf(server.BaseUrl() + "/x"));
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.Succeeded(), c.succeeded);
    EXPECT_EQ(response.FailureText(), c.failureText);
    EXPECT_TRUE(response.errorText.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, HttpOutcomeTest, ::testing::ValuesIn(kOutcomeCases), orvane::test::CaseName{});

TEST(HttpClient, RefusedConnectionGivesCurlsText)
{
    const orvane::test::RefusingPort nobody;
    const auto response = MakeCurlHttpClient()->Get(GetOf(nobody.BaseUrl() + "/x"));
    EXPECT_FALSE(response.Succeeded());
    EXPECT_EQ(response.status, 0);
    EXPECT_NE(response.errorText.find("127.0.0.1"), std::string::npos) << response.errorText;
    EXPECT_EQ(response.FailureText(), response.errorText);
}

TEST(HttpClient, FollowsRedirects)
{
    HttpTestServer server;
    server.Set("/old", CannedResponse{302, "", {{"Location", "/new"}}});
    server.Set("/new", CannedResponse{200, "moved here"});
    const auto response = MakeCurlHttpClient()->Get(GetOf(server.BaseUrl() + "/old"));
    EXPECT_TRUE(response.Succeeded());
    EXPECT_EQ(response.body, "moved here");
    EXPECT_EQ(response.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST(HttpClient, KeepsCookiesAcrossRequestsOfOneClient)
{
    HttpTestServer server;
    server.Set("/login", CannedResponse{200, "", {{"Set-Cookie", "session=42; Path=/"}}});
    server.Set("/poll", CannedResponse{200, ""});
    const auto client = MakeCurlHttpClient();
    client->Get(GetOf(server.BaseUrl() + "/login"));
    client->Get(GetOf(server.BaseUrl() + "/poll"));
    MakeCurlHttpClient()->Get(GetOf(server.BaseUrl() + "/poll"));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].Header("Cookie"), "session=42");
    EXPECT_FALSE(requests[2].HasHeader("Cookie")) << "a new client starts without cookies";
}

struct ProxyCase {
    const char* name;
    std::string user;
    std::string password;
    std::string_view authorization;
};

const ProxyCase kProxyCases[] = {
    {"WithUser", "u", "p", "Basic dTpw"},
    {"WithoutUser", "", "", ""},
};

class HttpProxyTest : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(HttpProxyTest, RequestGoesToTheProxy)
{
    const ProxyCase& c = GetParam();
    // The test server plays the proxy: it receives the absolute URL.
    HttpTestServer proxy;
    proxy.Set("http://tiles.invalid/1/2.png", CannedResponse{200, "tile"});
    HttpRequest request = GetOf("http://tiles.invalid/1/2.png", {{"Accept", "*/*"}});
    request.proxy = HttpProxy{"127.0.0.1", proxy.Port(), c.user, c.password};

    const auto response = MakeCurlHttpClient()->Get(request);

    EXPECT_TRUE(response.Succeeded()) << response.FailureText();
    EXPECT_EQ(response.body, "tile");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://tiles.invalid/1/2.png");
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), c.authorization);
}

INSTANTIATE_TEST_SUITE_P(Rows, HttpProxyTest, ::testing::ValuesIn(kProxyCases), orvane::test::CaseName{});

TEST(HttpClient, ProxyOfOneRequestDoesNotStickToTheNext)
{
    HttpTestServer proxy;
    proxy.Set("http://tiles.invalid/a.png", CannedResponse{200, "via proxy"});
    HttpTestServer direct;
    direct.Set("/b.png", CannedResponse{200, "direct"});
    const auto client = MakeCurlHttpClient();
    HttpRequest viaProxy = GetOf("http://tiles.invalid/a.png");
    viaProxy.proxy = HttpProxy{"127.0.0.1", proxy.Port(), "u", "p"};

    EXPECT_EQ(client->Get(viaProxy).body, "via proxy");
    EXPECT_EQ(client->Get(GetOf(direct.BaseUrl() + "/b.png")).body, "direct");

    EXPECT_EQ(proxy.RequestCount(), 1u);
    const auto requests = direct.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasHeader("Proxy-Authorization"));
}

TEST(HttpClient, TransferTimeOutEndsTheRequest)
{
    HttpTestServer server;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    server.Set("/slow", test::RequestHandler([released](const RecordedRequest&) {
                   // Bounded only as a guard against a hung test.
                   released.wait_for(std::chrono::seconds(30));
                   return CannedResponse{200, "late"};
               }));
    HttpRequest request = GetOf(server.BaseUrl() + "/slow");
    request.totalTimeout = std::chrono::milliseconds(200);

    const auto response = MakeCurlHttpClient()->Get(request);
    release.set_value();

    EXPECT_FALSE(response.Succeeded());
    EXPECT_FALSE(response.errorText.empty());
    EXPECT_TRUE(response.body.empty());
}

TEST(HttpClient, ClientsOnSeveralThreadsAtOnce)
{
    HttpTestServer server;
    for (int i = 0; i < 4; ++i) server.Set("/t" + std::to_string(i), CannedResponse{200, "body " + std::to_string(i)});
    std::vector<std::string> bodies(4);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] {
                const auto client = MakeCurlHttpClient();
                for (int k = 0; k < 5; ++k)
                    bodies[static_cast<std::size_t>(i)] += client->Get(GetOf(server.BaseUrl() + "/t" + std::to_string(i))).body;
            });
    }
    for (int i = 0; i < 4; ++i) {
        std::string expected;
        for (int k = 0; k < 5; ++k) expected += "body " + std::to_string(i);
        EXPECT_EQ(bodies[static_cast<std::size_t>(i)], expected);
    }
}

struct EncodeCase {
    const char* name;
    std::string_view text;
    std::string_view encoded;
};

const EncodeCase kEncodeCases[] = {
    {"UnreservedKept", "Az09-._~", "Az09-._~"},
    {"ReservedEncoded", "a b&c=d?e/f+g%", "a%20b%26c%3Dd%3Fe%2Ff%2Bg%25"},
    {"HighBytesUpperCaseHex", "\xC8\xE2", "%C8%E2"},
};

class PercentEncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(PercentEncodeTest, Encoded)
{
    EXPECT_EQ(PercentEncode(GetParam().text), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Rows, PercentEncodeTest, ::testing::ValuesIn(kEncodeCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane
