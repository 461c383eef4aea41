#pragma once

// The tile object: one 256 x 256 cell of one layer at one level, its image
// (once loaded from the disk cache or downloaded) and the state of its
// download. Drawing is the widget's; this is the part without a toolkit.
//
// Life of a tile:
//   created -> cached        (cache file found and decoded)
//           -> waiting       (file missing, online, not custom: queued)
//           -> absent        (offline, custom, or a cache file that decodes
//                             neither way; such a file is left on disk)
//   waiting -> downloaded    (image set, Loading false)
//           -> failed        (ErrorText set, Loading true; never retried)
//
// Tiles are always held by std::shared_ptr: the view's list, the download
// queue and a running download each hold one, so a tile outlives every
// download that refers to it whatever the view does with its list.
//
// Threads: the fields set at creation never change. Graphic, Loading and
// ErrorText are written by at most one download thread and read by the
// view's thread; each is published as one atomic store.

#include "image/RgbImage.hpp"
#include "tiles/MapCatalogue.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace orvane::mapview {
class TRPMap;
}

namespace orvane::tiles {

class TileDownloads;

/// What a tile needs besides its own fields: the catalogue that names its
/// cache folder and address, the cache root, and the queue that downloads
/// it (none: tiles are never queued). Shared by all tiles of a view.
struct TileContext {
    std::shared_ptr<const TMapPathNamesArray> catalogue;
    std::filesystem::path cacheFolder;
    TileDownloads* downloads = nullptr;
};

/// A context with the program-wide catalogue.
std::shared_ptr<const TileContext> MakeTileContext(std::filesystem::path cacheFolder, TileDownloads* downloads);

/// Largest image a tile accepts from its cache file or a server.
inline constexpr std::uint64_t kMaxTilePixels = 4096 * 4096;

class TRPTile : public std::enable_shared_from_this<TRPTile> {
public:
    virtual ~TRPTile() = default;
    TRPTile(const TRPTile&) = delete;
    TRPTile& operator=(const TRPTile&) = delete;

    const std::int32_t Level;
    const std::int32_t X;
    const std::int32_t Y;
    /// TileKey(X, Y, Level).
    const std::string Key;
    const std::uint8_t Source;
    const std::uint8_t Kind;
    const MapType MT;
    /// The view that created the tile (its tile-border switch); may be null.
    mapview::TRPMap* const Map;

    /// Decoded image; null when none.
    std::shared_ptr<const image::RgbImage> Graphic() const { return m_graphic.load(); }
    void SetGraphic(std::shared_ptr<const image::RgbImage> graphic) { m_graphic.store(std::move(graphic)); }

    /// A download was queued and has not finished successfully.
    bool Loading() const { return m_loading.load(); }
    void SetLoading(bool loading) { m_loading.store(loading); }

    /// Text of the last failed download; empty when none.
    std::string ErrorText() const;
    void SetErrorText(std::string text);

    const TileContext& Context() const { return *m_context; }

    /// Looks for the cache file: decodes it when present (by its extension,
    /// then as JPEG); otherwise queues the download when not Loading, not a
    /// custom layer, and the context's queue is online.
    void LoadFromCache();

    /// Decodes downloaded bytes into Graphic, in the subclass's decoder
    /// order. On failure Graphic stays as it was and nothing is raised.
    /// Returns whether an image was decoded.
    virtual bool LoadFromStream(std::span<const std::uint8_t> bytes) = 0;

protected:
    TRPTile(std::shared_ptr<const TileContext> context, mapview::TRPMap* map, std::int32_t x, std::int32_t y,
            std::int32_t level, MapType mt, std::uint8_t kind);

private:
    std::shared_ptr<const TileContext> m_context;
    std::atomic<std::shared_ptr<const image::RgbImage>> m_graphic;
    std::atomic<bool> m_loading{false};
    std::atomic<std::shared_ptr<const std::string>> m_errorText;
};

/// Creates the tile object for map type `mt`: TSurfaceMapTile for kind 1,
/// TNetworkMapTile for kind 2, none for any other kind. With loadNow it
/// runs LoadFromCache at once.
std::shared_ptr<TRPTile> CreateTile(std::shared_ptr<const TileContext> context, mapview::TRPMap* map,
                                    std::int32_t x, std::int32_t y, std::int32_t level, MapType mt, bool loadNow);

} // namespace orvane::tiles
