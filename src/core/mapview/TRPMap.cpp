#include "mapview/TRPMap.hpp"

#include "geo/MercUtil.hpp"
#include "tiles/TileCache.hpp"
#include "tiles/TileThread.hpp"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>
#include <unordered_set>

namespace orvane::mapview {

namespace fs = std::filesystem;
using tiles::TRPTile;

namespace {

/// The level-1 tile is always this layer's.
constexpr tiles::MapType kLevelOneMapType = tiles::SourceGoogle + tiles::KindSurface;

std::int32_t ClampLevel(std::int32_t level) { return std::clamp(level, kMinViewLevel, kMaxViewLevel); }

std::int32_t Saturate(std::int64_t v)
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::size_t TRPMap::TileIdHash::operator()(const TileId& id) const noexcept
{
    std::uint64_t h = static_cast<std::uint32_t>(id.x);
    h = h * 0x9E3779B97F4A7C15ull + static_cast<std::uint32_t>(id.y);
    h = h * 0x9E3779B97F4A7C15ull + static_cast<std::uint32_t>(id.level);
    h = h * 0x9E3779B97F4A7C15ull + static_cast<std::uint32_t>(id.sourceKind);
    return static_cast<std::size_t>(h ^ (h >> 29));
}

TRPMap::TRPMap(std::shared_ptr<const tiles::TileContext> context)
    : m_context(std::move(context))
{
}

TRPMap::~TRPMap()
{
    if (m_context->downloads != nullptr) m_context->downloads->ClearDownloadQueue();
}

void TRPMap::SetCentre(std::int32_t x, std::int32_t y)
{
    m_centreX = x;
    m_centreY = y;
}

void TRPMap::SetLevel(std::int32_t level)
{
    m_level = ClampLevel(level);
    m_centreX = geo::ViewLonToPixelX(m_level, m_centreLon);
    m_centreY = geo::ViewLatToPixelY(m_level, m_centreLat);
}

void TRPMap::SetLevelAndCentre(std::int32_t level, double lon, double lat)
{
    SetLevel(level);
    m_centreX = geo::ViewLonToPixelX(m_level, lon);
    m_centreY = geo::ViewLatToPixelY(m_level, lat);
}

void TRPMap::SetMapType(tiles::MapType mt)
{
    m_source = tiles::SourceOf(mt);
    m_kind = tiles::KindOf(mt);
}

// ---- the tile list -------------------------------------------------------------------

std::shared_ptr<TRPTile> TRPMap::GetTile(std::int32_t x, std::int32_t y, std::uint8_t kind)
{
    const std::int32_t side = geo::ViewTilesPerSide(m_level);
    if (x < 0 || y < 0 || x >= side || y >= side) return nullptr;

    const TileId id{x, y, m_level, m_level == 1 ? -1 : m_source + kind};
    if (const auto it = m_firstTile.find(id); it != m_firstTile.end()) return m_tiles[it->second];

    const tiles::MapType mt = m_level == 1 ? kLevelOneMapType : static_cast<tiles::MapType>(m_source + kind);
    auto tile = tiles::CreateTile(m_context, this, x, y, m_level, mt, true);
    if (!tile) return nullptr; // a kind without a tile class
    AppendTile(tile);
    return tile;
}

void TRPMap::AppendTile(std::shared_ptr<TRPTile> tile)
{
    const std::size_t index = m_tiles.size();
    // Each tile answers its exact identity and, at level 1, the lookup that
    // ignores source and kind; the first one of the list keeps each.
    m_firstTile.try_emplace(TileId{tile->X, tile->Y, tile->Level, tile->Source + tile->Kind}, index);
    if (tile->Level == 1) m_firstTile.try_emplace(TileId{tile->X, tile->Y, 1, -1}, index);
    m_tiles.push_back(std::move(tile));
}

void TRPMap::RebuildIndex()
{
    auto tiles = std::move(m_tiles);
    m_tiles.clear();
    m_firstTile.clear();
    m_tiles.reserve(tiles.size());
    for (auto& tile : tiles) AppendTile(std::move(tile));
}

void TRPMap::ClearTiles()
{
    m_tiles.clear();
    m_firstTile.clear();
}

void TRPMap::DropUncachedTiles()
{
    std::erase_if(m_tiles, [](const std::shared_ptr<TRPTile>& tile) { return !tiles::CacheFileExists(*tile); });
    RebuildIndex();
}

void TRPMap::DropDuplicateTiles()
{
    // Removing, from the last to the first, each tile that an earlier one
    // repeats leaves exactly the first tile of each cell and level, in order.
    struct Cell {
        std::int32_t x, y, level;
        bool operator==(const Cell&) const = default;
    };
    struct CellHash {
        std::size_t operator()(const Cell& c) const noexcept
        {
            return TileIdHash{}(TileId{c.x, c.y, c.level, 0});
        }
    };
    std::unordered_set<Cell, CellHash> seen;
    seen.reserve(m_tiles.size());
    std::erase_if(m_tiles, [&seen](const std::shared_ptr<TRPTile>& tile) {
        return !seen.insert(Cell{tile->X, tile->Y, tile->Level}).second;
    });
    RebuildIndex();
}

// ---- painting ---------------------------------------------------------------------------

std::vector<PaintCell> TRPMap::PaintCells(std::int32_t width, std::int32_t height)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    if (m_gpsFixValid) {
        m_centreX = geo::ViewLonToPixelX(m_level, m_gpsFix.Longitude);
        m_centreY = geo::ViewLatToPixelY(m_level, m_gpsFix.Latitude);
    }
    m_centreLat = geo::ViewPixelYToLat(m_centreY, m_level);
    m_centreLon = geo::ViewPixelXToLon(m_centreX, m_level);

    const std::int64_t cx = m_width / 2;
    const std::int64_t cy = m_height / 2;
    // Division and remainder truncate toward zero, as the paint's tile loop
    // does for centres west or north of the world.
    const std::int64_t tx = m_centreX / kTileSide;
    const std::int64_t ty = m_centreY / kTileSide;
    const std::int64_t nx = m_width / kTileSide;
    const std::int64_t ny = m_height / kTileSide;
    const std::int64_t originX = cx - m_centreX % kTileSide;
    const std::int64_t originY = cy - m_centreY % kTileSide;

    std::vector<PaintCell> cells;
    cells.reserve(static_cast<std::size_t>((2 * (nx / 2) + 3) * (2 * (ny / 2) + 3)));
    m_cellsPainted = 0;
    for (std::int64_t i = tx - nx / 2 - 1; i <= tx + nx / 2 + 1; ++i) {
        for (std::int64_t j = ty - ny / 2 - 1; j <= ty + ny / 2 + 1; ++j) {
            ++m_cellsPainted;
            PaintCell cell;
            cell.column = Saturate(i);
            cell.row = Saturate(j);
            cell.left = originX + (i - tx) * kTileSide;
            cell.top = originY + (j - ty) * kTileSide;
            cell.tile = GetViewTile(cell.column, cell.row);
            cells.push_back(std::move(cell));
        }
    }
    return cells;
}

double TRPMap::PointToLatitude(std::int32_t y) const
{
    return geo::ViewPixelYToLat(Saturate(std::int64_t{y} + m_centreY - m_height / 2), m_level);
}

double TRPMap::PointToLongitude(std::int32_t x) const
{
    return geo::ViewPixelXToLon(Saturate(std::int64_t{x} + m_centreX - m_width / 2), m_level);
}

// ---- GPS --------------------------------------------------------------------------------

void TRPMap::UpdateGpsFix(const gps::TGpsFix& fix)
{
    m_gpsFix = fix;
    m_gpsFixValid = true;
}

// ---- pointer ----------------------------------------------------------------------------

void TRPMap::PointerDown(std::int32_t x, std::int32_t y)
{
    if (m_selecting) {
        m_selection.topLat = m_selection.bottomLat = PointToLatitude(y);
        m_selection.leftLon = m_selection.rightLon = PointToLongitude(x);
        m_selectionShown = true;
        return;
    }
    m_dragging = true;
    m_lastX = x;
    m_lastY = y;
}

bool TRPMap::PointerMove(std::int32_t x, std::int32_t y)
{
    bool repaint = false;
    if (m_dragging) {
        m_centreX = Saturate(std::int64_t{m_centreX} + m_lastX - x);
        m_centreY = Saturate(std::int64_t{m_centreY} + m_lastY - y);
        m_lastX = x;
        m_lastY = y;
        repaint = true;
    }
    if (m_selecting) {
        // The region only grows to the south-east of the pressed point.
        const double lat = PointToLatitude(y);
        const double lon = PointToLongitude(x);
        if (lat < m_selection.topLat) m_selection.bottomLat = lat;
        if (lon > m_selection.leftLon) m_selection.rightLon = lon;
        repaint = true;
    }
    return repaint;
}

std::optional<RegionEdges> TRPMap::PointerUp(std::int32_t x, std::int32_t y)
{
    m_dragging = false;
    if (!m_selecting) return std::nullopt;
    PointerMove(x, y);
    m_selecting = false;
    return m_selection;
}

void TRPMap::SetSelecting(bool on)
{
    m_selecting = on;
    m_selectionShown = false;
}

// ---- reload and persistence -------------------------------------------------------------

bool TRPMap::ReloadTiles(std::int32_t width, std::int32_t height)
{
    tiles::TileDownloads* downloads = m_context->downloads;
    if (downloads != nullptr && downloads->RunningDownloads() != 0) return false;
    ClearTiles();
    PaintCells(width, height);
    for (const auto& tile : m_tiles) {
        if (tile->Source == tiles::SourceCustom) continue; // imported tiles cannot be fetched again
        std::error_code ec;
        fs::remove(tiles::TileCachePath(*tile), ec);
    }
    ClearTiles();
    return true;
}

void TRPMap::ApplyState(const ViewState& state)
{
    if (state.level) SetLevel(*state.level);
    if (state.centreX) m_centreX = *state.centreX;
    if (state.centreY) m_centreY = *state.centreY;
    SelectMapIndex(state.mapIndex.value_or(m_mapIndex));
}

ViewState TRPMap::State() const { return ViewState{m_level, m_centreX, m_centreY, m_mapIndex}; }

bool TRPMap::SelectMapIndex(std::int32_t index)
{
    const tiles::TMapPathName* entry = tiles::SelectorEntry(*m_context->catalogue, index);
    if (entry == nullptr) return false;
    m_mapIndex = index;
    SetMapType(entry->MT);
    return true;
}

} // namespace orvane::mapview
