#pragma once

// The disk tile cache: one folder per source and kind (named by the
// catalogue), one sub-folder per level ("02" ... "18"), one file per tile
// named by its letter key. A file holds exactly the bytes the server sent or
// the import wrote. The level-1 tile is always the Google Surface tile and
// lives in the Google Surface folder as "01/t.jpg.jpg".
//
// Catalogue folders are written with "\" (as in maps.ini); on this system
// each "\" or "/" separates folders, and empty, "." and ".." parts are
// dropped so that a path never leaves the cache root.

#include "image/RgbImage.hpp"
#include "tiles/MapCatalogue.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace orvane::tiles {

class TRPTile;

/// ".png" for the sources Gurtam, Custom and OpenStreetMap; otherwise
/// ".jpg" for KindSurface and ".png" for every other kind.
std::string TileFileExtension(MapType mt);

/// Cache file of tile (x, y) at `level` of map type `mt` below `cacheFolder`.
std::filesystem::path TileCachePath(const TMapPathNamesArray& catalogue, const std::filesystem::path& cacheFolder,
                                    MapType mt, std::int32_t x, std::int32_t y, std::int32_t level);

/// `cacheFolder` joined with a "\"-separated relative path.
std::filesystem::path JoinCachePath(const std::filesystem::path& cacheFolder, std::string_view relative);

/// The tile's cache file, from its context.
std::filesystem::path TileCachePath(const TRPTile& tile);
/// The file at TileCachePath exists.
bool CacheFileExists(const TRPTile& tile);
/// The tile's download URL, from its context's catalogue (empty: none).
std::string BuildTileUrl(const TRPTile& tile);

/// Image formats a tile may hold.
enum class TileFormat { Jpeg, Png, Gif };

/// Decodes tile bytes trying the formats in the given order; null when none
/// accepts them. Never throws for bad data.
std::shared_ptr<const image::RgbImage> DecodeTileBytes(std::span<const std::uint8_t> bytes,
                                                       std::initializer_list<TileFormat> order);

} // namespace orvane::tiles
