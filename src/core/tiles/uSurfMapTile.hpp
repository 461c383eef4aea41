#pragma once

#include "tiles/uRPTile.hpp"

namespace orvane::tiles {

/// Tile of the first layer of a source (kind 1). Downloaded bytes are read
/// as PNG first for OpenStreetMap and Gurtam, as JPEG first otherwise, then
/// as the other of the two.
class TSurfaceMapTile final : public TRPTile {
    struct Key {};

public:
    TSurfaceMapTile(Key, std::shared_ptr<const TileContext> context, mapview::TRPMap* map, std::int32_t x,
                    std::int32_t y, std::int32_t level, MapType mt);

    static std::shared_ptr<TSurfaceMapTile> Create(std::shared_ptr<const TileContext> context, mapview::TRPMap* map,
                                                   std::int32_t x, std::int32_t y, std::int32_t level, MapType mt,
                                                   bool loadNow);

    bool LoadFromStream(std::span<const std::uint8_t> bytes) override;
};

} // namespace orvane::tiles
