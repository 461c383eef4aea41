#pragma once

// Background tile downloads: at most five at once, each on a short-lived
// thread with its own HTTP client; further requests wait in a first-in
// first-out queue that is stirred each time its length after a start is a
// multiple of four.
//
// Life of one request:
//   EnqueueTileDownload(tile)
//     -> started at once when fewer than five run, else waiting in DownloadQueue
//   waiting -> started by DownloadFinished of another download (queue head)
//           -> dropped by ClearDownloadQueue (the tile keeps Loading set)
//   started -> thread body (RunTileDownload) -> DownloadFinished(tile)
//
// QueueLock guards the queue and the running count and is held for the whole
// of EnqueueTileDownload, DownloadFinished and ClearDownloadQueue, starting
// of threads included; no other lock is taken inside it. Everything else is
// atomic: counters and flags, and the queue length and running count that
// the status timer reads without the lock. Threads touch only their tile,
// its cache file and these atomics, and never call into a user interface:
// the view learns of results by polling.

#include "tiles/uRPTile.hpp"
#include "util/HttpClient.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace orvane::tiles {

/// At most this many downloads run at once.
inline constexpr int kMaxRunningDownloads = 5;

/// Connect and whole-transfer time-outs of one tile request.
inline constexpr std::chrono::milliseconds kTileConnectTimeout{15000};
inline constexpr std::chrono::milliseconds kTileTransferTimeout{60000};

/// Uniform random index in 0 ... maxIndex (inclusive).
using RandomIndex = std::function<std::size_t(std::size_t maxIndex)>;

/// Stirs the queue when its length n is a multiple of 4: n times, swaps two
/// entries whose positions are each drawn from 0 ... n-2. n = 0 does nothing.
template <class T>
void StirQueue(std::deque<T>& queue, const RandomIndex& randomIndex)
{
    const std::size_t n = queue.size();
    if (n == 0 || n % 4 != 0) return;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = randomIndex(n - 2);
        const std::size_t b = randomIndex(n - 2);
        std::swap(queue[a], queue[b]);
    }
}

/// The four request headers of a tile request, in this order; `userAgent`
/// replaces the fixed browser User-Agent when not empty.
std::vector<HttpHeader> TileRequestHeaders(const std::string& userAgent = {});

/// The status panel's text: "Downloading...N left" while tiles wait, else
/// "Ready (tiles in memory:cells of the last paint)".
std::string DownloadStatusText(std::size_t queueLength, std::size_t tilesInMemory, std::int64_t cellsPainted);

class TileDownloads {
public:
    /// Runs a download body on a new thread. The default starts a thread
    /// owned by this object and joined at the latest by its destructor.
    using ThreadStarter = std::function<void(std::function<void()> body)>;

    struct Hooks {
        ThreadStarter startThread;       // empty: own std::jthreads
        RandomIndex randomIndex;         // empty: a seeded std::mt19937
        HttpClientFactory makeClient;    // empty: MakeCurlHttpClient
    };

    TileDownloads();
    explicit TileDownloads(Hooks hooks);
    /// Empties the queue and waits for the running downloads to end.
    ~TileDownloads();
    TileDownloads(const TileDownloads&) = delete;
    TileDownloads& operator=(const TileDownloads&) = delete;

    /// Starts a download of the tile, or queues it when five are running.
    void EnqueueTileDownload(std::shared_ptr<TRPTile> tile);
    /// Called by every download as its last act: removes the tile from the
    /// queue if it is there, counts the download as ended and starts the
    /// queue's first tile when a slot is free (then stirs the rest).
    void DownloadFinished(const std::shared_ptr<TRPTile>& tile);
    /// Empties the queue; running downloads continue.
    void ClearDownloadQueue();

    /// Blocks until no download runs and none waits. The timed form gives up
    /// after `timeout` and tells whether the queue became idle (a caller
    /// with a cancel flag checks it between waits).
    void WaitForIdle();
    bool WaitForIdle(std::chrono::milliseconds timeout);

    /// Steps 1 to 11 of a download thread, on the calling thread: request,
    /// count, decode, write the cache file; a failure is stored on the tile.
    /// Does not call DownloadFinished.
    void RunTileDownload(TRPTile& tile, HttpClient& client);

    int RunningDownloads() const { return m_running.load(); }
    std::size_t QueueLength() const { return m_queueLength.load(); }
    std::int64_t DownloadedBytes() const { return m_downloadedBytes.load(); }
    /// Set once a downloaded tile has been stored in the cache.
    bool TileDownloaded() const { return m_tileDownloaded.load(); }

    /// Set by the region compile while it runs: images are freed right after
    /// decoding and cache files found are not decoded at all, so memory does
    /// not grow with the region.
    bool DropImagesAfterDownload() const { return m_dropImages.load(); }
    void SetDropImagesAfterDownload(bool drop) { m_dropImages.store(drop); }

    /// Whether new tiles ask for their download at all (default on).
    bool OnlineMode() const { return m_online.load(); }
    void SetOnlineMode(bool online) { m_online.store(online); }

    /// Proxy values; each download reads one complete snapshot at its start.
    HttpProxy ProxySettings() const { return *m_proxy.load(); }
    void SetProxySettings(HttpProxy proxy);

    /// The status panel's text for this queue.
    std::string StatusText(std::size_t tilesInMemory, std::int64_t cellsPainted) const
    {
        return DownloadStatusText(QueueLength(), tilesInMemory, cellsPainted);
    }

private:
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    /// Under QueueLock: starts the download thread of a tile.
    void StartLocked(std::shared_ptr<TRPTile> tile);
    void ThreadBody(const std::shared_ptr<TRPTile>& tile);
    void StartOwnThread(std::function<void()> body);

    Hooks m_hooks;
    std::mutex QueueLock;
    std::condition_variable m_idle;   // waits on QueueLock
    std::deque<std::shared_ptr<TRPTile>> DownloadQueue;
    std::atomic<int> m_running{0};
    std::atomic<std::size_t> m_queueLength{0};
    std::atomic<std::int64_t> m_downloadedBytes{0};
    std::atomic<bool> m_tileDownloaded{false};
    std::atomic<bool> m_dropImages{false};
    std::atomic<bool> m_online{true};
    std::atomic<std::shared_ptr<const HttpProxy>> m_proxy;
    std::mt19937 m_random;
    bool m_shuttingDown = false;
    std::list<Worker> m_workers;   // own threads; guarded by QueueLock
};

/// The program's single queue.
TileDownloads& Downloads();

/// Forward to the program's queue.
void EnqueueTileDownload(std::shared_ptr<TRPTile> tile);
void DownloadFinished(const std::shared_ptr<TRPTile>& tile);
void ClearDownloadQueue();

} // namespace orvane::tiles
