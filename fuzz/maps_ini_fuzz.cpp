// The tile source catalogue: the input is a maps.ini text. Every entry it
// yields is asked for its cache folder, URL prefix and the download
// addresses of tiles at several levels, with the neighbouring kinds too.

#include "FuzzSupport.hpp"

#include "tiles/MapCatalogue.hpp"

#include <array>
#include <cstdlib>
#include <set>

namespace {

using namespace orvane::tiles;

// A catalogue of pathological size would make each run slow, not wrong.
constexpr std::size_t kMaxEntriesAsked = 64;

void AskTiles(const TMapPathNamesArray& catalogue, MapType mt)
{
    (void)FindCacheFolder(catalogue, mt);
    (void)FindUrlPrefix(catalogue, mt);
    (void)FindEntry(catalogue, mt);
    (void)UserAgentFor(catalogue, mt);
    (void)BulkAllowed(catalogue, mt);
    (void)SourceName(catalogue, mt);
    for (const std::int32_t level : {1, 2, 3, 9, 17, 18, 24}) {
        const std::int32_t last = static_cast<std::int32_t>((std::int64_t{1} << (level - 1)) - 1);
        for (const auto& [x, y] : std::array<std::array<std::int32_t, 2>, 4>{
                 {{0, 0}, {last, last}, {last / 2, last / 3}, {last, 0}}}) {
            const std::string url = BuildTileUrl(catalogue, mt, x, y, level);
            if (url.size() > 4096) std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TMapPathNamesArray catalogue = ParseMapsIni(orvane::fuzz::AsText({data, size}));
    std::set<MapType> asked;
    for (std::size_t i = 0; i < catalogue.size() && i < kMaxEntriesAsked; ++i) {
        const TMapPathName& entry = catalogue[i];
        if (entry.CachePath.size() > 4 * kMaxCachePathLength || entry.URL.size() > 4 * kMaxUrlLength ||
            entry.Name.size() > 4 * kMaxNameLength)
            std::abort();  // cut to their length in characters, at most 4 bytes each
        const MapType source = SourceOf(entry.MT);
        for (MapType kind = 0; kind < 4; ++kind) {
            const auto mt = static_cast<MapType>(source | kind);
            if (asked.insert(mt).second) AskTiles(catalogue, mt);
        }
    }
    for (int i = -1; i <= kSelectorItems; ++i) (void)SelectorEntry(catalogue, i);
    return 0;
}
