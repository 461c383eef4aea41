#pragma once

// Where tiles of the GoogleMV cache and of the custom layers of the tile
// cache are stored: <root>/<LL>/<TileKey>.png, whatever the data is.

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvane::conversion {

/// Level folder name: the level with at least two digits ("05", "12").
std::string LevelFolderName(std::int32_t level);

/// <folder>/Cache/mt/<LL>/<TileKey>.png
std::filesystem::path GoogleMvTilePath(const std::filesystem::path& folder, std::int32_t level, std::int32_t x,
                                       std::int32_t y);

/// Folder of a custom layer: <cache>/MP/SUR (layer 1) or <cache>/MP/MAP (layer 2).
std::filesystem::path CustomLayerFolder(const std::filesystem::path& cacheFolder, std::int32_t layer);

/// <cache>/MP/SUR|MAP/<LL>/<TileKey>.png
std::filesystem::path CustomLayerTilePath(const std::filesystem::path& cacheFolder, std::int32_t layer,
                                          std::int32_t level, std::int32_t x, std::int32_t y);

} // namespace orvane::conversion

namespace orvane::conversion {

/// Inputs of the tile cache's location, gathered by the caller.
struct CacheFolderInputs {
    std::filesystem::path programDir;   // folder of the running program
    std::string explicitFolder;         // --cache DIR, or empty
    std::string envCache;               // $ORVANE_CACHE, or empty
    std::string xdgDataHome;            // $XDG_DATA_HOME, or empty
    std::string home;                   // $HOME, or empty
    bool programCacheWritable = false;  // <programDir>/Cache exists or can be made, and is writable
};

/// The tile cache root: an explicit folder, else $ORVANE_CACHE, else the
/// program's folder + "Cache" when writable (a portable install), else
/// $XDG_DATA_HOME/orvane/Cache (~/.local/share/orvane/Cache when unset):
/// the custom layers in it are the user's own data, not a disposable cache.
std::filesystem::path ResolveCacheFolder(const CacheFolderInputs& inputs);

/// Gathers the inputs from the environment and the file system.
std::filesystem::path DefaultCacheFolder(const std::filesystem::path& programDir, const std::string& explicitFolder);

} // namespace orvane::conversion
