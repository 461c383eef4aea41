#include "conversion/ImportPackage.hpp"

#include "conversion/AssembleMaps.hpp"
#include "conversion/CacheLayout.hpp"
#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"

#include <set>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace orvane::conversion {

namespace fs = std::filesystem;

namespace {

// Tile keys have one letter per level and x, y are 32-bit: deeper levels
// cannot name a tile.
constexpr std::int32_t kMaxTileLevel = 32;

PackageFileChoice ChooseImportFile(const fs::path& chosen)
{
    // A chosen external map is read as named: on a case-sensitive file
    // system "MAP.QVO" and "MAP.qvo" are different files.
    if (LayoutByExtension(chosen) == PackageLayout::External) return {PackageLayout::External, chosen};
    return ChoosePackageFile(chosen);
}

void CheckLevels(const MapPackageReader& reader)
{
    const std::string_view what = reader.Layout() == PackageLayout::Internal ? "tile record" : "index entry";
    const auto& tiles = reader.Tiles();
    for (std::size_t i = 0; i < tiles.size(); ++i)
        if (tiles[i].level < 1 || tiles[i].level > kMaxTileLevel)
            throw Error(msg::MalformedPackage(reader.File().string(),
                                              msg::TileLevelOutOfRange(what, i + 1, tiles[i].level)));
}

} // namespace

ImportResult ImportPackage(const fs::path& file, std::int32_t layer, const fs::path& cacheFolder)
{
    if (layer != 1 && layer != 2) throw std::invalid_argument("ImportPackage: layer must be 1 or 2");

    ImportResult result;
    std::uint64_t total = 0;
    try {
        const PackageFileChoice choice = ChooseImportFile(file);
        const MapPackageReader reader(choice.file, choice.layout);
        CheckLevels(reader);
        const PackageHeader& h = reader.Header();
        result.file = choice.file;
        result.layout = choice.layout;
        result.centreLat = h.CentreLat();
        result.centreLon = h.CentreLon();
        result.startLevel = h.startLevel;

        const auto& tiles = reader.Tiles();
        total = tiles.size();
        std::set<std::int32_t> levelFolders;  // created in this run
        std::vector<std::uint8_t> data;       // one tile at a time
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            const PackageTile& t = tiles[i];
            const fs::path target = CustomLayerTilePath(cacheFolder, layer, t.level, t.x, t.y);
            if (levelFolders.insert(t.level).second) {
                std::error_code ec;
                fs::create_directories(target.parent_path(), ec);
                if (ec) throw Error(msg::CannotCreateFolder(target.parent_path().string(), ec.message()));
            }
            reader.ReadTileData(i, data);
            WriteWholeFile(target, data);
            ++result.tilesWritten;
        }
    } catch (const Error& e) {
        throw Error(msg::ImportStopped(e.what(), result.tilesWritten, total));
    }
    return result;
}

} // namespace orvane::conversion
