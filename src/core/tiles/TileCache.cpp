#include "tiles/TileCache.hpp"

#include "conversion/CacheLayout.hpp"
#include "geo/MercUtil.hpp"
#include "image/ImageCodecs.hpp"
#include "tiles/uRPTile.hpp"

#include <new>

namespace orvane::tiles {

namespace fs = std::filesystem;

std::string TileFileExtension(MapType mt)
{
    const std::uint8_t source = SourceOf(mt);
    if (source == SourceGurtam || source == SourceCustom || source == SourceOpenStreetMap) return ".png";
    return KindOf(mt) == KindSurface ? ".jpg" : ".png";
}

fs::path JoinCachePath(const fs::path& cacheFolder, std::string_view relative)
{
    fs::path out = cacheFolder;
    std::size_t pos = 0;
    while (pos <= relative.size()) {
        std::size_t end = relative.find_first_of("\\/", pos);
        if (end == std::string_view::npos) end = relative.size();
        const std::string_view part = relative.substr(pos, end - pos);
        if (!part.empty() && part != "." && part != "..") out /= fs::path(std::string(part));
        pos = end + 1;
    }
    return out;
}

fs::path TileCachePath(const TMapPathNamesArray& catalogue, const fs::path& cacheFolder, MapType mt, std::int32_t x,
                       std::int32_t y, std::int32_t level)
{
    // The relative part is put together as one string first, as the folder
    // code need not end with a separator (the default "\D_F\MAP" does not).
    const std::string key = geo::TileKey(x, y, level);
    std::string relative;
    if (level == 1)
        relative = FindCacheFolder(catalogue, 1) + "01\\" + key + ".jpg" + TileFileExtension(mt);
    else
        relative = FindCacheFolder(catalogue, mt) + conversion::LevelFolderName(level) + "\\" + key +
                   TileFileExtension(mt);
    return JoinCachePath(cacheFolder, relative);
}

fs::path TileCachePath(const TRPTile& tile)
{
    const TileContext& context = tile.Context();
    return TileCachePath(*context.catalogue, context.cacheFolder, tile.MT, tile.X, tile.Y, tile.Level);
}

bool CacheFileExists(const TRPTile& tile)
{
    std::error_code ec;
    return fs::is_regular_file(TileCachePath(tile), ec);
}

std::string BuildTileUrl(const TRPTile& tile)
{
    return BuildTileUrl(*tile.Context().catalogue, tile.MT, tile.X, tile.Y, tile.Level);
}

std::shared_ptr<const image::RgbImage> DecodeTileBytes(std::span<const std::uint8_t> bytes,
                                                       std::initializer_list<TileFormat> order)
{
    for (const TileFormat format : order) {
        try {
            switch (format) {
            case TileFormat::Jpeg:
                return std::make_shared<const image::RgbImage>(image::DecodeJpeg(bytes, kMaxTilePixels));
            case TileFormat::Png:
                return std::make_shared<const image::RgbImage>(image::DecodePng(bytes, kMaxTilePixels));
            case TileFormat::Gif:
                return std::make_shared<const image::RgbImage>(image::DecodeGif(bytes, kMaxTilePixels));
            }
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            // Not this format: try the next one.
        }
    }
    return nullptr;
}

} // namespace orvane::tiles
