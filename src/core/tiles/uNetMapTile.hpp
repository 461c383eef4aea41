#pragma once

#include "tiles/uRPTile.hpp"

namespace orvane::tiles {

/// Tile of the second layer of a source (kind 2). Downloaded bytes are read
/// as PNG first, then as JPEG.
class TNetworkMapTile final : public TRPTile {
    struct Key {};

public:
    TNetworkMapTile(Key, std::shared_ptr<const TileContext> context, mapview::TRPMap* map, std::int32_t x,
                    std::int32_t y, std::int32_t level, MapType mt);

    static std::shared_ptr<TNetworkMapTile> Create(std::shared_ptr<const TileContext> context, mapview::TRPMap* map,
                                                   std::int32_t x, std::int32_t y, std::int32_t level, MapType mt,
                                                   bool loadNow);

    bool LoadFromStream(std::span<const std::uint8_t> bytes) override;
};

} // namespace orvane::tiles
