#pragma once

// Texts of the online tiles: the status panel, the tile placeholder and the
// refusals of the tile sources.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

/// Drawn on a tile whose download is queued or running.
inline constexpr std::string_view kMapLoading = "map loading";

/// Status panel while tiles wait in the download queue: "Downloading...12 left".
inline std::string DownloadingLeft(std::size_t waiting)
{
    return "Downloading..." + std::to_string(waiting) + " left";
}

/// Status panel when no tile waits: tiles in memory and cells of the last paint.
inline std::string ReadyCounts(std::size_t tilesInMemory, std::int64_t cellsPainted)
{
    return "Ready (" + std::to_string(tilesInMemory) + ":" + std::to_string(cellsPainted) + ")";
}

/// A map type for which no download address exists (custom layers, unknown sources).
inline std::string NoTileUrl(unsigned mapType)
{
    return "Map type " + std::to_string(mapType) + " has no download address";
}

/// A tile request answered with a status that is not a success and no status line.
inline std::string HttpStatusFailed(int status)
{
    return "HTTP status " + std::to_string(status);
}

/// A download that failed for a reason nobody worded.
inline constexpr std::string_view kDownloadFailed = "Download failed";

/// A region compile that would download from a source whose servers forbid
/// bulk downloading.
inline std::string BulkDownloadRefused(const std::string& sourceName)
{
    return "The tile servers of \"" + sourceName +
           "\" do not allow bulk downloading for offline use. Compile offline to pack the tiles already in the cache.";
}

} // namespace orvane::msg
