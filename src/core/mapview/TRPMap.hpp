#pragma once

// The map view without a toolkit: the layer, level and centre it shows, its
// tile list, the cells a paint visits, pointer panning and region marking,
// and the state it keeps between runs. The widget owns one, draws what
// PaintCells hands back and forwards its pointer events; everything that
// decides which tiles exist, are loaded or are downloaded happens here.
//
// Coordinates are the view variant of the global grid: world pixels at the
// current level, 256 x 2^(level-1) per side, y growing southwards.
//
// All of it belongs to one thread (the user interface's). Tiles are shared
// with the download queue, so dropping them from the list never frees a tile
// a download still writes to.

#include "gps/TGpsFix.hpp"
#include "mapview/RegionSize.hpp"
#include "tiles/uRPTile.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvane::mapview {

inline constexpr std::int32_t kMinViewLevel = 1;
inline constexpr std::int32_t kMaxViewLevel = 18;
inline constexpr std::int32_t kTileSide = 256;

/// One cell of a paint: its tile column and row, where the tile's top-left
/// corner goes in the view, and the tile (null for cells outside the world
/// and for layers without a tile class).
struct PaintCell {
    std::int32_t column = 0;
    std::int32_t row = 0;
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::shared_ptr<tiles::TRPTile> tile;
};

/// What the view keeps between runs; an absent value keeps the default.
struct ViewState {
    std::optional<std::int32_t> level;
    std::optional<std::int32_t> centreX;
    std::optional<std::int32_t> centreY;
    std::optional<std::int32_t> mapIndex;
};

class TRPMap {
public:
    /// A view of 400 x 200 pixels at level 1, centre (127, 127), showing
    /// VirtualEarth Surface; tiles get `context`.
    explicit TRPMap(std::shared_ptr<const tiles::TileContext> context);
    /// Empties the download queue of the context (running downloads end on
    /// their own; the tiles they write to stay alive until then).
    ~TRPMap();
    TRPMap(const TRPMap&) = delete;
    TRPMap& operator=(const TRPMap&) = delete;

    const tiles::TileContext& Context() const { return *m_context; }

    // ---- level, centre and layer ---------------------------------------------
    std::int32_t Level() const { return m_level; }
    std::int32_t CentreX() const { return m_centreX; }
    std::int32_t CentreY() const { return m_centreY; }
    void SetCentre(std::int32_t x, std::int32_t y);
    /// Centre in degrees as of the last paint (0, 0 before the first).
    double CentreLatitude() const { return m_centreLat; }
    double CentreLongitude() const { return m_centreLon; }

    /// Changes the level keeping the centre of the last paint; levels
    /// outside 1 to 18 are taken as the nearest of the two.
    void SetLevel(std::int32_t level);
    /// SetLevel, then centres on (lon, lat).
    void SetLevelAndCentre(std::int32_t level, double lon, double lat);
    void SetMapType(tiles::MapType mt);
    tiles::MapType GetMapType() const { return static_cast<tiles::MapType>(m_source + m_kind); }
    std::uint8_t Source() const { return m_source; }
    std::uint8_t Kind() const { return m_kind; }

    // ---- the tile list -----------------------------------------------------------
    /// The tile of cell (x, y) at the current level for `kind` and the view's
    /// source: the first such tile of the list, else a new one appended to
    /// the list and loaded at once (cache file or queued download). At
    /// level 1 the only tile is the Google Surface tile of cell (0, 0),
    /// whatever the layer. Null outside the world and for a kind other than
    /// 1 and 2.
    std::shared_ptr<tiles::TRPTile> GetTile(std::int32_t x, std::int32_t y, std::uint8_t kind);
    std::shared_ptr<tiles::TRPTile> GetViewTile(std::int32_t x, std::int32_t y) { return GetTile(x, y, m_kind); }

    std::size_t TileCount() const { return m_tiles.size(); }
    const std::shared_ptr<tiles::TRPTile>& TileAt(std::size_t i) const { return m_tiles.at(i); }
    void ClearTiles();
    /// Removes every tile whose cache file does not exist.
    void DropUncachedTiles();
    /// Removes every tile for which an earlier tile of the list has the same
    /// X, Y and level (source and kind are not compared).
    void DropDuplicateTiles();

    // ---- painting ------------------------------------------------------------------
    /// What a paint of a width x height view does before drawing: sets the
    /// view rectangle, follows a valid GPS fix, recomputes the centre in
    /// degrees, and visits the cells from one ring beyond the visible area,
    /// column by column from the top left, asking GetViewTile for each.
    std::vector<PaintCell> PaintCells(std::int32_t width, std::int32_t height);
    std::int64_t CellsPainted() const { return m_cellsPainted; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }

    /// Latitude of view row y and longitude of view column x, for the view
    /// rectangle of the last paint.
    double PointToLatitude(std::int32_t y) const;
    double PointToLongitude(std::int32_t x) const;

    // ---- switches the window sets --------------------------------------------------
    bool TileBordersShown() const { return m_tileBordersShown; }
    void SetTileBordersShown(bool shown) { m_tileBordersShown = shown; }

    // ---- GPS ---------------------------------------------------------------------------
    /// Stores the fix; from now on every paint centres on it.
    void UpdateGpsFix(const gps::TGpsFix& fix);
    void ClearGpsFix() { m_gpsFixValid = false; }
    bool GpsFixValid() const { return m_gpsFixValid; }
    const gps::TGpsFix& GpsFix() const { return m_gpsFix; }

    // ---- pointer ---------------------------------------------------------------------
    /// A press at view point (x, y): starts a region when selecting,
    /// otherwise a drag.
    void PointerDown(std::int32_t x, std::int32_t y);
    /// Moves the centre by the pointer's travel while dragging and extends
    /// the region to the south-east while selecting. Returns whether the
    /// view must be repainted.
    bool PointerMove(std::int32_t x, std::int32_t y);
    /// Ends a drag or a region. For a region, returns its edges (the page's
    /// selection notification); the region is empty when its left equals its
    /// right or its top its bottom.
    std::optional<RegionEdges> PointerUp(std::int32_t x, std::int32_t y);
    bool Dragging() const { return m_dragging; }

    /// Arms region marking: the next press-drag-release defines the region.
    void SetSelecting(bool on);
    bool Selecting() const { return m_selecting; }
    bool SelectionShown() const { return m_selectionShown; }
    void SetSelectionShown(bool shown) { m_selectionShown = shown; }
    const RegionEdges& Selection() const { return m_selection; }
    /// The region edits write the edges back.
    void SetSelection(const RegionEdges& edges) { m_selection = edges; }

    // ---- reload and persistence ------------------------------------------------------
    /// Reloads the tiles around a width x height view: refused (false) while
    /// downloads run; otherwise creates the tiles of the view's cells again,
    /// deletes the cache files of those not of a custom layer and empties the
    /// list, so the next paint downloads them again.
    bool ReloadTiles(std::int32_t width, std::int32_t height);

    /// Applies stored state: the level (through SetLevel), the centre and the
    /// map index, then the layer of the catalogue entry of that index (an
    /// index no entry has keeps the index and layer as they were).
    void ApplyState(const ViewState& state);
    ViewState State() const;
    std::int32_t MapIndex() const { return m_mapIndex; }
    /// Sets the map index and shows that selector item's layer; false (and
    /// nothing changed) when the catalogue has no entry of that index.
    bool SelectMapIndex(std::int32_t index);

private:
    struct TileId {
        std::int32_t x;
        std::int32_t y;
        std::int32_t level;
        std::int32_t sourceKind; // source + kind, or -1: any (the level-1 lookup)
        bool operator==(const TileId&) const = default;
    };
    struct TileIdHash {
        std::size_t operator()(const TileId& id) const noexcept;
    };

    void AppendTile(std::shared_ptr<tiles::TRPTile> tile);
    void RebuildIndex();

    std::shared_ptr<const tiles::TileContext> m_context;
    std::vector<std::shared_ptr<tiles::TRPTile>> m_tiles;
    /// Position of the first tile with each identity.
    std::unordered_map<TileId, std::size_t, TileIdHash> m_firstTile;

    std::int32_t m_centreX = 127;
    std::int32_t m_centreY = 127;
    std::int32_t m_level = 1;
    std::uint8_t m_source = tiles::SourceVirtualEarth;
    std::uint8_t m_kind = tiles::KindSurface;
    double m_centreLat = 0;
    double m_centreLon = 0;
    std::int32_t m_width = 400;
    std::int32_t m_height = 200;
    std::int64_t m_cellsPainted = 0;
    std::int32_t m_mapIndex = 0;
    bool m_tileBordersShown = false;

    gps::TGpsFix m_gpsFix;
    bool m_gpsFixValid = false;

    bool m_dragging = false;
    std::int32_t m_lastX = 0;
    std::int32_t m_lastY = 0;
    bool m_selecting = false;
    bool m_selectionShown = false;
    RegionEdges m_selection;
};

} // namespace orvane::mapview
