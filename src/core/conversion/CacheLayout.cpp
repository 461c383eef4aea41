#include "conversion/CacheLayout.hpp"

#include "geo/MercUtil.hpp"

#include <cstdio>

namespace orvane::conversion {

namespace fs = std::filesystem;

std::string LevelFolderName(std::int32_t level)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(level));
    return buf;
}

fs::path GoogleMvTilePath(const fs::path& folder, std::int32_t level, std::int32_t x, std::int32_t y)
{
    // A trailing separator of the folder and the one before "Cache" are one.
    return folder / "Cache" / "mt" / LevelFolderName(level) / (geo::TileKey(x, y, level) + ".png");
}

fs::path CustomLayerFolder(const fs::path& cacheFolder, std::int32_t layer)
{
    return cacheFolder / "MP" / (layer == 1 ? "SUR" : "MAP");
}

fs::path CustomLayerTilePath(const fs::path& cacheFolder, std::int32_t layer, std::int32_t level, std::int32_t x,
                             std::int32_t y)
{
    return CustomLayerFolder(cacheFolder, layer) / LevelFolderName(level) / (geo::TileKey(x, y, level) + ".png");
}

} // namespace orvane::conversion

#include <cstdlib>
#include <unistd.h>

namespace orvane::conversion {

fs::path ResolveCacheFolder(const CacheFolderInputs& in)
{
    if (!in.explicitFolder.empty()) return in.explicitFolder;
    if (!in.envCache.empty()) return in.envCache;
    if (in.programCacheWritable && !in.programDir.empty()) return in.programDir / "Cache";
    if (!in.xdgDataHome.empty() && fs::path(in.xdgDataHome).is_absolute())
        return fs::path(in.xdgDataHome) / "orvane" / "Cache";
    const fs::path home = in.home.empty() ? fs::path(".") : fs::path(in.home);
    return home / ".local" / "share" / "orvane" / "Cache";
}

fs::path DefaultCacheFolder(const fs::path& programDir, const std::string& explicitFolder)
{
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string();
    };
    CacheFolderInputs in;
    in.programDir = programDir;
    in.explicitFolder = explicitFolder;
    in.envCache = env("ORVANE_CACHE");
    in.xdgDataHome = env("XDG_DATA_HOME");
    in.home = env("HOME");
    if (in.explicitFolder.empty() && in.envCache.empty() && !programDir.empty()) {
        std::error_code ec;
        const fs::path cache = programDir / "Cache";
        in.programCacheWritable = fs::is_directory(cache, ec) ? access(cache.c_str(), W_OK) == 0
                                                              : access(programDir.c_str(), W_OK) == 0;
    }
    return ResolveCacheFolder(in);
}

} // namespace orvane::conversion
