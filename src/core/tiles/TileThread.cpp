#include "tiles/TileThread.hpp"

#include "tiles/TileCache.hpp"
#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace orvane::tiles {

namespace fs = std::filesystem;

namespace {

std::span<const std::uint8_t> AsBytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

/// Writes `bytes` to `path`, replacing the file as a whole: the bytes go to
/// a file of their own beside it first, which is then renamed, so a reader
/// never sees half a tile. Throws Error naming the file.
void ReplaceFile(const fs::path& path, const std::string& bytes, std::uint64_t uniqueNumber)
{
    const fs::path part = path.string() + ".part" + std::to_string(uniqueNumber);
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(errno)));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        fs::remove(part, ec);
        throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(written ? errno : writeErrno)));
    }
    fs::rename(part, path, ec);
    if (ec) {
        fs::remove(part, ec);
        throw Error(msg::CannotWriteFile(path.string(), ec.message()));
    }
}

std::atomic<std::uint64_t> g_partNumber{0};

} // namespace

std::vector<HttpHeader> TileRequestHeaders(const std::string& userAgent)
{
    return {
        {"User-Agent", userAgent.empty() ? std::string(kTileUserAgent) : userAgent},
        {"Accept-Language", "en-us;q=0.5,en;q=0.3"},
        {"Accept-Charset", "windows-1251,utf-8;q=0.7,*;q=0.7"},
        {"Accept", "text/html, image/png, */*"},
    };
}

std::string DownloadStatusText(std::size_t queueLength, std::size_t tilesInMemory, std::int64_t cellsPainted)
{
    if (queueLength == 0) return msg::ReadyCounts(tilesInMemory, cellsPainted);
    return msg::DownloadingLeft(queueLength);
}

TileDownloads::TileDownloads()
    : TileDownloads(Hooks{})
{
}

TileDownloads::TileDownloads(Hooks hooks)
    : m_hooks(std::move(hooks)), m_proxy(std::make_shared<const HttpProxy>()), m_random(std::random_device{}())
{
    if (!m_hooks.randomIndex)
        m_hooks.randomIndex = [this](std::size_t maxIndex) {
            // Called only under QueueLock, which guards the generator.
            return std::uniform_int_distribution<std::size_t>(0, maxIndex)(m_random);
        };
    if (!m_hooks.makeClient) m_hooks.makeClient = [] { return MakeCurlHttpClient(); };
    if (!m_hooks.startThread)
        m_hooks.startThread = [this](std::function<void()> body) { StartOwnThread(std::move(body)); };
}

TileDownloads::~TileDownloads()
{
    std::list<Worker> workers;
    {
        std::lock_guard lock(QueueLock);
        m_shuttingDown = true;
        DownloadQueue.clear();
        m_queueLength.store(0);
        workers.swap(m_workers);
    }
    // The jthreads join as the list goes; their last DownloadFinished finds
    // an empty queue and starts nothing.
    workers.clear();
}

void TileDownloads::SetProxySettings(HttpProxy proxy)
{
    m_proxy.store(std::make_shared<const HttpProxy>(std::move(proxy)));
}

void TileDownloads::EnqueueTileDownload(std::shared_ptr<TRPTile> tile)
{
    std::lock_guard lock(QueueLock);
    if (m_shuttingDown) return;
    if (m_running.load() >= kMaxRunningDownloads) {
        DownloadQueue.push_back(std::move(tile));
        m_queueLength.store(DownloadQueue.size());
    } else {
        StartLocked(std::move(tile));
    }
}

void TileDownloads::DownloadFinished(const std::shared_ptr<TRPTile>& tile)
{
    std::lock_guard lock(QueueLock);
    if (const auto it = std::find(DownloadQueue.begin(), DownloadQueue.end(), tile); it != DownloadQueue.end())
        DownloadQueue.erase(it);
    m_running.fetch_sub(1);
    if (m_running.load() < kMaxRunningDownloads && !DownloadQueue.empty() && !m_shuttingDown) {
        std::shared_ptr<TRPTile> next = DownloadQueue.front();
        DownloadQueue.pop_front();
        StartLocked(std::move(next));
        StirQueue(DownloadQueue, m_hooks.randomIndex);
    }
    m_queueLength.store(DownloadQueue.size());
    if (m_running.load() == 0 && DownloadQueue.empty()) m_idle.notify_all();
}

void TileDownloads::WaitForIdle()
{
    std::unique_lock lock(QueueLock);
    m_idle.wait(lock, [this] { return m_running.load() == 0 && DownloadQueue.empty(); });
}

bool TileDownloads::WaitForIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(QueueLock);
    return m_idle.wait_for(lock, timeout, [this] { return m_running.load() == 0 && DownloadQueue.empty(); });
}

void TileDownloads::ClearDownloadQueue()
{
    std::lock_guard lock(QueueLock);
    DownloadQueue.clear();
    m_queueLength.store(0);
    if (m_running.load() == 0) m_idle.notify_all();
}

void TileDownloads::StartLocked(std::shared_ptr<TRPTile> tile)
{
    m_running.fetch_add(1);
    try {
        m_hooks.startThread([this, tile] { ThreadBody(tile); });
    } catch (const std::exception& e) {
        // No thread: the download ends here, failed.
        m_running.fetch_sub(1);
        tile->SetErrorText(e.what());
        if (m_running.load() == 0 && DownloadQueue.empty()) m_idle.notify_all();
    }
}

void TileDownloads::StartOwnThread(std::function<void()> body)
{
    // Threads that have ended are joined here, so the list stays short.
    m_workers.remove_if([](const Worker& w) { return w.done->load(); });
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_workers.push_back(Worker{std::jthread([body = std::move(body), done] {
                                   body();
                                   done->store(true);
                               }),
                               done});
}

void TileDownloads::ThreadBody(const std::shared_ptr<TRPTile>& tile)
{
    tile->SetLoading(true);
    try {
        const std::unique_ptr<HttpClient> client = m_hooks.makeClient();
        RunTileDownload(*tile, *client);
    } catch (const std::exception& e) {
        tile->SetErrorText(e.what());
    } catch (...) {
        tile->SetErrorText(std::string(msg::kDownloadFailed));
    }
    DownloadFinished(tile);
}

void TileDownloads::RunTileDownload(TRPTile& tile, HttpClient& client)
{
    tile.SetLoading(true);
    try {
        const TMapPathNamesArray& catalogue = *tile.Context().catalogue;
        HttpRequest request;
        request.url = BuildTileUrl(tile);
        if (request.url.empty()) throw Error(msg::NoTileUrl(tile.MT));
        request.headers = TileRequestHeaders(UserAgentFor(catalogue, tile.MT));
        request.proxy = *m_proxy.load();
        request.connectTimeout = kTileConnectTimeout;
        request.totalTimeout = kTileTransferTimeout;

        const HttpResponse response = client.Get(request);
        if (!response.Succeeded()) {
            const std::string text = response.FailureText();
            throw Error(text.empty() ? msg::HttpStatusFailed(response.status) : text);
        }
        m_downloadedBytes.fetch_add(static_cast<std::int64_t>(response.body.size()));

        const fs::path path = TileCachePath(tile);
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (ec) throw Error(msg::CannotWriteFile(path.string(), ec.message()));

        tile.LoadFromStream(AsBytes(response.body));
        if (m_dropImages.load()) tile.SetGraphic(nullptr);
        tile.SetLoading(false);

        ReplaceFile(path, response.body, g_partNumber.fetch_add(1));
        m_tileDownloaded.store(true);
    } catch (const std::exception& e) {
        tile.SetErrorText(e.what());
    }
}

TileDownloads& Downloads()
{
    static TileDownloads downloads;
    return downloads;
}

void EnqueueTileDownload(std::shared_ptr<TRPTile> tile) { Downloads().EnqueueTileDownload(std::move(tile)); }
void DownloadFinished(const std::shared_ptr<TRPTile>& tile) { Downloads().DownloadFinished(tile); }
void ClearDownloadQueue() { Downloads().ClearDownloadQueue(); }

} // namespace orvane::tiles
