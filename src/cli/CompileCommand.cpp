// orvane compile [--offline] [--cache DIR] [--quiet] PLAN OUTPUT
//
// Compiles the regions of a plan file (.mapp) into the package OUTPUT.qvm +
// OUTPUT.qvo from the tile cache, downloading the missing tiles of the
// online layers first (unless --offline). Ctrl-C cancels: queued downloads
// are dropped and no package is written.

#include "Commands.hpp"
#include "TerminalProgress.hpp"

#include "conversion/CacheLayout.hpp"
#include "mapview/CompileRegions.hpp"
#include "mapview/PlanFile.hpp"
#include "mapview/TRPMap.hpp"
#include "tiles/MapCatalogue.hpp"
#include "tiles/TileThread.hpp"
#include "tiles/uRPTile.hpp"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

/// One line on standard error, rewritten in place: tiles created, then the
/// tiles still to download (the progress page's "Tiles to download:").
class CompileTerminalProgress final : public mapview::CompileProgress {
public:
    explicit CompileTerminalProgress(bool quiet) : m_show(!quiet && isatty(STDERR_FILENO) == 1) {}
    ~CompileTerminalProgress() override { Finish(); }
    CompileTerminalProgress(const CompileTerminalProgress&) = delete;
    CompileTerminalProgress& operator=(const CompileTerminalProgress&) = delete;

    void TilesCreated(std::int64_t done, std::int64_t total) override
    {
        if (!Due(done >= total)) return;
        Draw("Creating tiles: " + std::to_string(done) + " of " + std::to_string(total));
    }

    void TilesToDownload(std::size_t queued, int running) override
    {
        if (!Due(queued == 0 && running == 0)) return;
        Draw("Tiles to download: " + std::to_string(queued + static_cast<std::size_t>(running)));
    }

    bool CancelRequested() override { return m_interrupt.Interrupted(); }

    void Finish()
    {
        if (m_open) std::fputc('\n', stderr);
        m_open = false;
    }

private:
    bool Due(bool last)
    {
        if (!m_show) return false;
        const auto now = std::chrono::steady_clock::now();
        if (!last && now - m_lastDraw < std::chrono::milliseconds(200)) return false;
        m_lastDraw = now;
        return true;
    }

    void Draw(const std::string& text)
    {
        std::fprintf(stderr, "\r%-40s", text.c_str());
        std::fflush(stderr);
        m_open = true;
    }

    bool m_show;
    bool m_open = false;
    std::chrono::steady_clock::time_point m_lastDraw;
    InterruptWatch m_interrupt;
};

} // namespace

int RunCompile(Args& args)
{
    bool offline = false;
    bool quiet = false;
    std::string cache;
    while (!args.Empty()) {
        std::string value;
        if (args.Flag("--offline")) offline = true;
        else if (args.Flag("--quiet")) quiet = true;
        else if (args.Option("--cache", value)) cache = value;
        else break;
    }
    const std::vector<std::string> files = args.Positionals();
    if (files.size() != 2) throw UsageError{"expected PLAN and OUTPUT"};

    std::vector<mapview::TCompileRegion> regions;
    mapview::LoadPlan(files[0], regions);

    tiles::LoadMapCatalogue();
    tiles::TileDownloads& downloads = tiles::Downloads();
    downloads.SetOnlineMode(!offline);
    const fs::path cacheFolder = conversion::DefaultCacheFolder(ProgramDir(), cache);
    mapview::TRPMap view(tiles::MakeTileContext(cacheFolder, &downloads));

    CompileTerminalProgress progress(quiet);
    const mapview::CompileResult result = mapview::CompileRegions(view, regions, files[1], progress);
    progress.Finish();
    if (result.cancelled) {
        std::cerr << "Cancelled; no package was written.\n";
        return kExitCancelled;
    }
    if (result.missingTiles > 0) {
        std::cerr << result.missingTiles << " tiles are not in the cache " << cacheFolder.string()
                  << (offline ? " (compiled offline)" : "") << " and were left out";
        if (!result.firstFailure.empty()) std::cerr << "; first download failure: " << result.firstFailure;
        std::cerr << "\n";
    }
    std::cout << result.message << "\n"
              << "Wrote " << result.qvmFile.string() << " and " << result.qvoFile.string() << "\n";
    return kExitOk;
}

} // namespace orvane::cli
