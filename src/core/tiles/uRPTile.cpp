#include "tiles/uRPTile.hpp"

#include "geo/MercUtil.hpp"
#include "tiles/TileCache.hpp"
#include "tiles/TileThread.hpp"
#include "tiles/uNetMapTile.hpp"
#include "tiles/uSurfMapTile.hpp"

#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

namespace orvane::tiles {

namespace fs = std::filesystem;

namespace {

/// The whole file, or nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadTileFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::string UpperExtension(const fs::path& path)
{
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace

std::shared_ptr<const TileContext> MakeTileContext(fs::path cacheFolder, TileDownloads* downloads)
{
    return std::make_shared<const TileContext>(TileContext{MapCatalogue(), std::move(cacheFolder), downloads});
}

TRPTile::TRPTile(std::shared_ptr<const TileContext> context, mapview::TRPMap* map, std::int32_t x, std::int32_t y,
                 std::int32_t level, MapType mt, std::uint8_t kind)
    : Level(level), X(x), Y(y), Key(geo::TileKey(x, y, level)), Source(SourceOf(mt)), Kind(kind),
      MT(static_cast<MapType>(SourceOf(mt) + kind)), Map(map), m_context(std::move(context))
{
}

std::string TRPTile::ErrorText() const
{
    const auto text = m_errorText.load();
    return text ? *text : std::string();
}

void TRPTile::SetErrorText(std::string text)
{
    m_errorText.store(std::make_shared<const std::string>(std::move(text)));
}

void TRPTile::LoadFromCache()
{
    const fs::path path = TileCachePath(*this);
    std::error_code ec;
    TileDownloads* downloads = m_context->downloads;
    if (fs::is_regular_file(path, ec)) {
        // A region compile packs the file as it is and needs no image;
        // decoding every cached tile of a large region would hold all of
        // them in memory.
        if (downloads != nullptr && downloads->DropImagesAfterDownload()) return;
        // By the extension first, then as the other of JPEG and PNG (GIF as
        // a last resort). A file that decodes no way leaves the tile empty;
        // it stays on disk.
        if (const auto bytes = ReadTileFile(path)) {
            const bool png = UpperExtension(path) == ".PNG";
            auto image = png ? DecodeTileBytes(*bytes, {TileFormat::Png, TileFormat::Jpeg, TileFormat::Gif})
                             : DecodeTileBytes(*bytes, {TileFormat::Jpeg, TileFormat::Png, TileFormat::Gif});
            if (image) SetGraphic(std::move(image));
        }
        return;
    }
    if (Loading() || Source == SourceCustom || downloads == nullptr || !downloads->OnlineMode()) return;
    // Loading is set before the tile is handed over, as the download may
    // start and end at once on another thread.
    SetLoading(true);
    downloads->EnqueueTileDownload(shared_from_this());
}

std::shared_ptr<TRPTile> CreateTile(std::shared_ptr<const TileContext> context, mapview::TRPMap* map, std::int32_t x,
                                    std::int32_t y, std::int32_t level, MapType mt, bool loadNow)
{
    switch (KindOf(mt)) {
    case KindSurface:
        return TSurfaceMapTile::Create(std::move(context), map, x, y, level, mt, loadNow);
    case KindMap:
        return TNetworkMapTile::Create(std::move(context), map, x, y, level, mt, loadNow);
    default:
        return nullptr;
    }
}

// ---- TSurfaceMapTile --------------------------------------------------------

TSurfaceMapTile::TSurfaceMapTile(Key, std::shared_ptr<const TileContext> context, mapview::TRPMap* map,
                                 std::int32_t x, std::int32_t y, std::int32_t level, MapType mt)
    : TRPTile(std::move(context), map, x, y, level, mt, KindSurface)
{
}

std::shared_ptr<TSurfaceMapTile> TSurfaceMapTile::Create(std::shared_ptr<const TileContext> context,
                                                         mapview::TRPMap* map, std::int32_t x, std::int32_t y,
                                                         std::int32_t level, MapType mt, bool loadNow)
{
    auto tile = std::make_shared<TSurfaceMapTile>(Key{}, std::move(context), map, x, y, level, mt);
    if (loadNow) tile->LoadFromCache();
    return tile;
}

bool TSurfaceMapTile::LoadFromStream(std::span<const std::uint8_t> bytes)
{
    const bool pngFirst = Source == SourceOpenStreetMap || Source == SourceGurtam;
    auto image = pngFirst ? DecodeTileBytes(bytes, {TileFormat::Png, TileFormat::Jpeg, TileFormat::Gif})
                          : DecodeTileBytes(bytes, {TileFormat::Jpeg, TileFormat::Png, TileFormat::Gif});
    if (!image) return false;
    SetGraphic(std::move(image));
    return true;
}

// ---- TNetworkMapTile --------------------------------------------------------

TNetworkMapTile::TNetworkMapTile(Key, std::shared_ptr<const TileContext> context, mapview::TRPMap* map,
                                 std::int32_t x, std::int32_t y, std::int32_t level, MapType mt)
    : TRPTile(std::move(context), map, x, y, level, mt, KindMap)
{
}

std::shared_ptr<TNetworkMapTile> TNetworkMapTile::Create(std::shared_ptr<const TileContext> context,
                                                         mapview::TRPMap* map, std::int32_t x, std::int32_t y,
                                                         std::int32_t level, MapType mt, bool loadNow)
{
    auto tile = std::make_shared<TNetworkMapTile>(Key{}, std::move(context), map, x, y, level, mt);
    if (loadNow) tile->LoadFromCache();
    return tile;
}

bool TNetworkMapTile::LoadFromStream(std::span<const std::uint8_t> bytes)
{
    auto image = DecodeTileBytes(bytes, {TileFormat::Png, TileFormat::Jpeg, TileFormat::Gif});
    if (!image) return false;
    SetGraphic(std::move(image));
    return true;
}

} // namespace orvane::tiles
