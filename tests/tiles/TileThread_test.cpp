#include "tiles/TileThread.hpp"

#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"
#include "support/TempDir.hpp"
#include "tiles/TileCache.hpp"
#include "TileFixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>

namespace orvane::tiles {
namespace {

namespace fs = std::filesystem;
using orvane::test::CannedResponse;
using orvane::test::HttpTestServer;
using orvane::test::ReadFile;
using orvane::test::RecordedRequest;
using orvane::test::TempDir;
using orvane::test::WriteFile;
using test::Context;
using test::TileBytes;

/// A client that answers every request through a function.
class FakeClient final : public HttpClient {
public:
    explicit FakeClient(std::function<HttpResponse(const HttpRequest&)> answer) : m_answer(std::move(answer)) {}
    HttpResponse Get(const HttpRequest& request) override { return m_answer(request); }

private:
    std::function<HttpResponse(const HttpRequest&)> m_answer;
};

HttpResponse Ok(std::string body) { return HttpResponse{200, "HTTP/1.1 200 OK", std::move(body), ""}; }

// ---- status texts -----------------------------------------------------------------

TEST(DownloadStatusText, DownloadingOrReady)
{
    EXPECT_EQ(DownloadStatusText(12, 40, 35), "Downloading...12 left");
    EXPECT_EQ(DownloadStatusText(1, 0, 0), "Downloading...1 left");
    EXPECT_EQ(DownloadStatusText(0, 12, 9), "Ready (12:9)");
}

// ---- the stir ------------------------------------------------------------------------

TEST(StirQueue, OnlyMultiplesOfFourAndNeverTheLastEntry)
{
    for (std::size_t n = 0; n <= 12; ++n) {
        SCOPED_TRACE(n);
        std::deque<int> queue(n);
        std::iota(queue.begin(), queue.end(), 0);
        std::vector<std::size_t> maxima;
        std::mt19937 random(7);
        StirQueue(queue, [&](std::size_t maxIndex) {
            maxima.push_back(maxIndex);
            return std::uniform_int_distribution<std::size_t>(0, maxIndex)(random);
        });
        const bool stirred = n > 0 && n % 4 == 0;
        EXPECT_EQ(maxima.size(), stirred ? 2 * n : 0u);
        for (const std::size_t m : maxima) EXPECT_EQ(m, n - 2);
        if (n > 0) {
            EXPECT_EQ(queue.back(), static_cast<int>(n - 1));
        }
        std::vector<int> sorted(queue.begin(), queue.end());
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(sorted[i], static_cast<int>(i));
    }
}

// ---- the queue, run by hand -----------------------------------------------------------

/// Downloads whose threads are recorded and run by the test, one at a time.
struct HandRun {
    std::deque<std::function<void()>> bodies;
    std::vector<std::size_t> randomMaxima;
    std::vector<std::string> urls;
    std::unique_ptr<TileDownloads> downloads;

    HandRun()
    {
        downloads = std::make_unique<TileDownloads>(TileDownloads::Hooks{
            [this](std::function<void()> body) { bodies.push_back(std::move(body)); },
            [this](std::size_t maxIndex) {
                randomMaxima.push_back(maxIndex);
                return std::size_t{0};   // swaps of the head with itself: order kept
            },
            [this] {
                return std::make_unique<FakeClient>([this](const HttpRequest& r) {
                    urls.push_back(r.url);
                    return Ok(TileBytes(true));
                });
            }});
    }
    void RunNext()
    {
        auto body = std::move(bodies.front());
        bodies.pop_front();
        body();
    }
};

TEST(TileDownloadsByHand, TwelveTilesStartFiveAndDrainInOrder)
{
    TempDir dir;
    HandRun run;
    const auto context = Context(dir.Path(), run.downloads.get());
    std::vector<std::shared_ptr<TRPTile>> tiles;
    for (std::int32_t i = 0; i < 12; ++i) tiles.push_back(CreateTile(context, nullptr, i, 0, 5, 21, true));

    EXPECT_EQ(run.bodies.size(), 5u);
    EXPECT_EQ(run.downloads->RunningDownloads(), 5);
    EXPECT_EQ(run.downloads->QueueLength(), 7u);
    EXPECT_EQ(run.downloads->StatusText(12, 35), "Downloading...7 left");
    for (const auto& tile : tiles) EXPECT_TRUE(tile->Loading());

    for (std::size_t left = 6; left != std::size_t(-1); --left) {
        run.RunNext();
        EXPECT_EQ(run.downloads->RunningDownloads(), 5);
        EXPECT_EQ(run.downloads->StatusText(12, 35),
                  left > 0 ? "Downloading..." + std::to_string(left) + " left" : std::string("Ready (12:35)"));
    }
    while (!run.bodies.empty()) run.RunNext();
    EXPECT_EQ(run.downloads->RunningDownloads(), 0);

    ASSERT_EQ(run.urls.size(), 12u);
    for (std::int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(run.urls[static_cast<std::size_t>(i)],
                  "http://tile.openstreetmap.org/4/" + std::to_string(i) + "/0.png");
    for (const auto& tile : tiles) {
        EXPECT_FALSE(tile->Loading());
        EXPECT_NE(tile->Graphic(), nullptr);
        EXPECT_TRUE(CacheFileExists(*tile));
    }
    EXPECT_TRUE(run.downloads->TileDownloaded());
    EXPECT_EQ(run.downloads->DownloadedBytes(), static_cast<std::int64_t>(12 * TileBytes(true).size()));
    // Remaining lengths after a start were 6, 5, 4, 3, 2, 1, 0: one stir of
    // four entries, drawing positions 0 ... 2.
    EXPECT_EQ(run.randomMaxima, std::vector<std::size_t>(8, 2));
}

TEST(TileDownloadsByHand, ClearedQueueStartsNothingMore)
{
    TempDir dir;
    HandRun run;
    const auto context = Context(dir.Path(), run.downloads.get());
    std::vector<std::shared_ptr<TRPTile>> tiles;
    for (std::int32_t i = 0; i < 8; ++i) tiles.push_back(CreateTile(context, nullptr, i, 1, 5, 21, true));
    run.downloads->ClearDownloadQueue();
    EXPECT_EQ(run.downloads->QueueLength(), 0u);
    while (!run.bodies.empty()) run.RunNext();
    EXPECT_EQ(run.urls.size(), 5u);
    EXPECT_EQ(run.downloads->RunningDownloads(), 0);
    // The three never started keep waiting as tiles with Loading set.
    for (std::size_t i = 5; i < 8; ++i) {
        EXPECT_TRUE(tiles[i]->Loading());
        EXPECT_EQ(tiles[i]->Graphic(), nullptr);
    }
}

// ---- one download, synchronously --------------------------------------------------------

struct RunCase {
    const char* name;
    HttpResponse response;
    bool drop;
    bool graphic;
    bool loading;
    const char* errorText;
    bool fileWritten;
};

const RunCase kRunCases[] = {
    {"Success", Ok("png"), false, true, false, "", true},
    {"NotFound", {404, "HTTP/1.1 404 Not Found", "gone", ""}, false, false, true, "HTTP/1.1 404 Not Found", false},
    {"ConnectionError", {0, "", "", "Failed to connect to 127.0.0.1 port 9: Connection refused"}, false, false, true,
     "Failed to connect to 127.0.0.1 port 9: Connection refused", false},
    {"StatusWithoutLine", {503, "", "", ""}, false, false, true, "HTTP status 503", false},
    {"UndecodableStillWritten", Ok("not an image"), false, false, false, "", true},
    {"ImageDroppedWhileCompiling", Ok("png"), true, false, false, "", true},
};

class RunTileDownloadTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTileDownloadTest, Steps)
{
    const RunCase& c = GetParam();
    TempDir dir;
    TileDownloads downloads;
    downloads.SetDropImagesAfterDownload(c.drop);
    HttpResponse response = c.response;
    if (response.body == "png") response.body = TileBytes(true);
    const auto tile = CreateTile(Context(dir / "cache", nullptr), nullptr, 5, 9, 5, 2, false);
    FakeClient client([&](const HttpRequest& r) {
        EXPECT_EQ(r.url, "http://mt.google.com/mt?n=404&v=w2.76&x=5&y=9&zoom=13");
        return response;
    });

    downloads.RunTileDownload(*tile, client);

    EXPECT_EQ(tile->Graphic() != nullptr, c.graphic);
    EXPECT_EQ(tile->Loading(), c.loading);
    EXPECT_EQ(tile->ErrorText(), c.errorText);
    const fs::path file = dir / "cache/GL/MAP/05/ttrqs.png";
    EXPECT_EQ(fs::exists(file), c.fileWritten);
    if (c.fileWritten) {
        EXPECT_EQ(ReadFile(file), response.body);
    }
    EXPECT_EQ(downloads.TileDownloaded(), c.fileWritten);
    EXPECT_EQ(downloads.DownloadedBytes(), c.fileWritten ? static_cast<std::int64_t>(response.body.size()) : 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, RunTileDownloadTest, ::testing::ValuesIn(kRunCases), orvane::test::CaseName{});

TEST(RunTileDownload, FailuresBeforeTheRequestAndAtTheFile)
{
    TempDir dir;
    TileDownloads downloads;
    int calls = 0;
    FakeClient client([&](const HttpRequest&) {
        ++calls;
        return Ok(TileBytes(true));
    });
    const auto custom = CreateTile(Context(dir.Path(), nullptr), nullptr, 0, 0, 3, 9, false);
    downloads.RunTileDownload(*custom, client);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(custom->ErrorText(), "Map type 9 has no download address");

    // The cache root is a file: no folder can be made below it.
    WriteFile(dir / "cache", "x");
    const auto tile = CreateTile(Context(dir / "cache", nullptr), nullptr, 0, 0, 3, 21, false);
    downloads.RunTileDownload(*tile, client);
    EXPECT_TRUE(tile->ErrorText().starts_with("Cannot write file \"" + (dir / "cache/OS/SUR/03/tqq.png").string()))
        << tile->ErrorText();
    EXPECT_TRUE(tile->Loading());
    EXPECT_FALSE(downloads.TileDownloaded());
}

// ---- against a tile server on the loopback -----------------------------------------------

/// A maps.ini whose OpenStreetMap entries point at `host`.
std::string LocalMapsIni(const std::string& host)
{
    return "[Local Mapnik]\r\nMT=21\r\nName=Local\r\nCachePath=OS\\SUR\\\r\nURL=" + host +
           "/osm/\r\n[Local Osmrender]\r\nMT=22\r\nCachePath=OS\\MAP\\\r\nURL=" + host +
           "/tah/\r\nUserAgent=OrvaneTest/2.0 (loopback)\r\n";
}

TMapPathNamesArray LocalCatalogue(const TempDir& dir, const std::string& host)
{
    WriteFile(dir / "maps.ini", LocalMapsIni(host));
    return ReadMapCatalogue(dir / "maps.ini");
}

std::vector<std::string> SortedHeaderNames(const RecordedRequest& r)
{
    std::vector<std::string> names;
    for (const auto& h : r.headers) names.push_back(h.first);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TileDownloadsLoopback, HeadersCacheBytesAndA404)
{
    TempDir dir;
    HttpTestServer server;
    const std::string png = TileBytes(true);
    server.Set("/osm/4/5/9.png", CannedResponse{200, png, {}, "image/png"});
    server.Set("/tah/4/5/9.png", CannedResponse{200, png, {}, "image/png"});
    TileDownloads downloads;
    const auto context = Context(dir / "Cache", &downloads, LocalCatalogue(dir, "127.0.0.1:" + std::to_string(server.Port())));

    const auto good = CreateTile(context, nullptr, 5, 9, 5, 21, true);
    const auto missing = CreateTile(context, nullptr, 6, 9, 5, 21, true);
    const auto agent = CreateTile(context, nullptr, 5, 9, 5, 22, true);
    downloads.WaitForIdle();

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const RecordedRequest& r : requests) {
        SCOPED_TRACE(r.target);
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(SortedHeaderNames(r),
                  (std::vector<std::string>{"Accept", "Accept-Charset", "Accept-Language", "Host", "User-Agent"}));
        EXPECT_EQ(r.Header("User-Agent"), r.path.starts_with("/tah/")
                                              ? "OrvaneTest/2.0 (loopback)"
                                              : "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.8.1.2) "
                                                "Gecko/20070219 Firefox/2.0.0.2");
        EXPECT_EQ(r.Header("Accept-Language"), "en-us;q=0.5,en;q=0.3");
        EXPECT_EQ(r.Header("Accept-Charset"), "windows-1251,utf-8;q=0.7,*;q=0.7");
        EXPECT_EQ(r.Header("Accept"), "text/html, image/png, */*");
    }

    EXPECT_NE(good->Graphic(), nullptr);
    EXPECT_FALSE(good->Loading());
    EXPECT_EQ(ReadFile(dir / "Cache/OS/SUR/05/ttrqs.png"), png);
    EXPECT_EQ(ReadFile(dir / "Cache/OS/MAP/05/ttrqs.png"), png);
    EXPECT_NE(agent->Graphic(), nullptr);

    EXPECT_EQ(missing->ErrorText(), "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(missing->Loading());
    EXPECT_EQ(missing->Graphic(), nullptr);
    EXPECT_FALSE(CacheFileExists(*missing));
    // Not asked for again while the tile lives.
    missing->LoadFromCache();
    downloads.WaitForIdle();
    EXPECT_EQ(server.RequestCount(), 3u);
    EXPECT_EQ(missing->ErrorText(), "HTTP/1.1 404 Not Found");
}

TEST(TileDownloadsLoopback, ProxyWithUserAndPassword)
{
    TempDir dir;
    HttpTestServer proxy;
    orvane::test::RefusingPort origin;
    const std::string host = "127.0.0.1:" + std::to_string(origin.Port());
    const std::string png = TileBytes(true);
    proxy.Set("http://" + host + "/osm/4/5/9.png", CannedResponse{200, png, {}, "image/png"});
    TileDownloads downloads;
    downloads.SetProxySettings(HttpProxy{"127.0.0.1", proxy.Port(), "user", "secret"});
    const auto context = Context(dir / "Cache", &downloads, LocalCatalogue(dir, host));

    const auto tile = CreateTile(context, nullptr, 5, 9, 5, 21, true);
    downloads.WaitForIdle();

    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://" + host + "/osm/4/5/9.png");
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(tile->ErrorText(), "");
    EXPECT_EQ(ReadFile(dir / "Cache/OS/SUR/05/ttrqs.png"), png);
}

/// Holds every request in the server's handler until opened.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0;
    int maxInside = 0;
    int entered = 0;
    bool open = false;

    CannedResponse Pass(const std::string& body)
    {
        std::unique_lock lock(mutex);
        ++inside;
        ++entered;
        maxInside = std::max(maxInside, inside);
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        --inside;
        return CannedResponse{200, body, {}, "image/png"};
    }
    void WaitInside(int n)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inside == n; });
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

struct GatedServer {
    HttpTestServer server;
    Gate gate;
    std::string png = TileBytes(true);

    GatedServer()
    {
        for (int x = 0; x < 12; ++x)
            server.Set("/osm/4/" + std::to_string(x) + "/3.png",
                       orvane::test::RequestHandler([this](const RecordedRequest&) { return gate.Pass(png); }));
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }
};

TEST(TileDownloadsLoopback, TwelveTilesFiveAtATime)
{
    TempDir dir;
    GatedServer tiles;
    TileDownloads downloads;
    const auto context = Context(dir / "Cache", &downloads, LocalCatalogue(dir, tiles.Host()));
    std::vector<std::shared_ptr<TRPTile>> list;
    for (std::int32_t x = 0; x < 12; ++x) list.push_back(CreateTile(context, nullptr, x, 3, 5, 21, true));

    tiles.gate.WaitInside(5);
    EXPECT_EQ(downloads.RunningDownloads(), 5);
    EXPECT_EQ(downloads.QueueLength(), 7u);
    EXPECT_EQ(downloads.StatusText(list.size(), 9), "Downloading...7 left");
    tiles.gate.Open();
    downloads.WaitForIdle();

    EXPECT_EQ(downloads.StatusText(list.size(), 9), "Ready (12:9)");
    EXPECT_EQ(tiles.gate.entered, 12);
    EXPECT_LE(tiles.gate.maxInside, 5);
    for (const auto& tile : list) {
        EXPECT_FALSE(tile->Loading());
        EXPECT_NE(tile->Graphic(), nullptr);
        EXPECT_EQ(ReadFile(TileCachePath(*tile)), tiles.png);
    }
}

TEST(TileDownloadsLoopback, ClearingTheTileListDuringDownloadsIsSafe)
{
    TempDir dir;
    GatedServer tiles;
    std::vector<std::weak_ptr<TRPTile>> watch;
    {
        TileDownloads downloads;
        const auto context = Context(dir / "Cache", &downloads, LocalCatalogue(dir, tiles.Host()));
        std::vector<std::shared_ptr<TRPTile>> list;
        for (std::int32_t x = 0; x < 12; ++x) list.push_back(CreateTile(context, nullptr, x, 3, 5, 21, true));
        for (const auto& tile : list) watch.emplace_back(tile);

        tiles.gate.WaitInside(5);
        list.clear();   // the view drops its tiles while five downloads run and seven wait
        for (const auto& w : watch) EXPECT_FALSE(w.expired());
        tiles.gate.Open();
        downloads.WaitForIdle();
        EXPECT_EQ(tiles.gate.entered, 12);
    }
    // Every download wrote its file, and no tile outlived the last download.
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(ReadFile(TileCachePath(BuiltInCatalogue(), dir / "Cache", 21, x, 3, 5)), tiles.png);
    for (const auto& w : watch) EXPECT_TRUE(w.expired());
}

} // namespace
} // namespace orvane::tiles
