#pragma once

// The tile sources: the one-byte map type code, the catalogue of sources
// (from maps.ini or the built-in table) and the download address of a tile.
//
// Everything here except LoadMapCatalogue and the program-wide catalogue is
// a function over values.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::tiles {

/// Source code (upper six bits) plus kind (lower two bits).
using MapType = std::uint8_t;

inline constexpr std::uint8_t SourceGoogle = 0;
inline constexpr std::uint8_t SourceVirtualEarth = 4;
inline constexpr std::uint8_t SourceCustom = 8;
inline constexpr std::uint8_t SourceOpenStreetMap = 20;
inline constexpr std::uint8_t SourceGurtam = 24;

inline constexpr std::uint8_t KindSurface = 1;
inline constexpr std::uint8_t KindMap = 2;

constexpr std::uint8_t SourceOf(MapType mt) { return static_cast<std::uint8_t>(mt & 0xFC); }
constexpr std::uint8_t KindOf(MapType mt) { return static_cast<std::uint8_t>(mt & 3); }

inline constexpr std::size_t kMaxCachePathLength = 200;
inline constexpr std::size_t kMaxUrlLength = 250;
inline constexpr std::size_t kMaxNameLength = 250;

/// The User-Agent every tile request carries unless its source names its own.
inline constexpr std::string_view kTileUserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.8.1.2) Gecko/20070219 Firefox/2.0.0.2";

/// One catalogue entry. Strings are UTF-8 and cut to their maximum length
/// in characters.
struct TMapPathName {
    MapType MT = 0;
    /// Cache folder relative to the cache root, "\"-separated, e.g. "VE\SUR\".
    std::string CachePath;
    /// URL prefix without the scheme: host, path and the query up to the
    /// first variable part.
    std::string URL;
    std::string Name;
    /// Our additions for the tile servers' rules: a User-Agent sent instead
    /// of kTileUserAgent (empty: the fixed one), and whether a region compile
    /// may download from this source.
    std::string UserAgent;
    bool Bulk = true;
};

using TMapPathNamesArray = std::vector<TMapPathName>;

/// Number of items of the view's map type selector.
inline constexpr int kSelectorItems = 9;

/// The nine built-in sources, in selector order.
const TMapPathNamesArray& BuiltInCatalogue();

/// The User-Agent of the built-in OpenStreetMap entries: the program and its version.
std::string ProgramUserAgent();

/// Reads maps.ini text: one entry per section in file order, absent keys
/// taking their defaults (Name "Map Name", MT 0, CachePath "\D_F\MAP", URL
/// the OpenStreetMap Mapnik host + "/", UserAgent none, Bulk 1). Text that is
/// not UTF-8 is read as code page 1251. Keys are matched without regard to
/// case; ';' and '#' start comment lines; a repeated section name continues
/// the earlier section. Returns an empty array when the text has no section.
TMapPathNamesArray ParseMapsIni(std::string_view text);

/// Where maps.ini is looked for, gathered by the caller.
struct MapsIniInputs {
    std::string envOverride;            // $ORVANE_MAPS_INI, or empty
    std::filesystem::path programDir;   // folder of the running program
    bool programIniExists = false;      // <programDir>/maps.ini exists
    std::string xdgConfigHome;          // $XDG_CONFIG_HOME, or empty
    std::string home;                   // $HOME, or empty
};

/// $ORVANE_MAPS_INI when set; else maps.ini beside the program when it is
/// there; else $XDG_CONFIG_HOME/orvane/maps.ini (~/.config/orvane/maps.ini
/// when unset or relative).
std::filesystem::path ResolveMapsIniPath(const MapsIniInputs& inputs);

/// The catalogue from a maps.ini file: the built-in table when the file is
/// missing, unreadable or has no section. Never throws for a bad file.
TMapPathNamesArray ReadMapCatalogue(const std::filesystem::path& mapsIni);

/// Loads the program-wide catalogue from the maps.ini found by
/// ResolveMapsIniPath with the environment's values. Never fails.
void LoadMapCatalogue();

/// The program-wide catalogue: the built-in table until LoadMapCatalogue or
/// SetMapCatalogue replaces it. Safe to call from any thread; a caller keeps
/// the snapshot it got.
std::shared_ptr<const TMapPathNamesArray> MapCatalogue();
void SetMapCatalogue(TMapPathNamesArray catalogue);

/// CachePath of the first entry with that map type; "Unk\" when none.
std::string FindCacheFolder(const TMapPathNamesArray& catalogue, MapType mt);
/// URL of the first entry with that map type; empty when none.
std::string FindUrlPrefix(const TMapPathNamesArray& catalogue, MapType mt);
/// The first entry with that map type, if any.
const TMapPathName* FindEntry(const TMapPathNamesArray& catalogue, MapType mt);

/// User-Agent for requests of that map type: the entry's own, else kTileUserAgent.
std::string UserAgentFor(const TMapPathNamesArray& catalogue, MapType mt);
/// Whether a region compile may download tiles of that map type (true when
/// no entry names it).
bool BulkAllowed(const TMapPathNamesArray& catalogue, MapType mt);
/// Display name of the source of that map type: the entry's Name, else the
/// built-in entry's, else "map type N".
std::string SourceName(const TMapPathNamesArray& catalogue, MapType mt);

/// Entry of the view's selector item `index`: the catalogue's entry, or the
/// built-in entry of that index when the catalogue is shorter. Null when
/// the index is negative or beyond both.
const TMapPathName* SelectorEntry(const TMapPathNamesArray& catalogue, int index);

/// Download URL of tile (x, y) at `level` of map type `mt`; empty for the
/// custom layers, unknown sources, kinds other than 1 and 2, and the
/// VirtualEarth tile of level 1 (it has no server digit).
std::string BuildTileUrl(const TMapPathNamesArray& catalogue, MapType mt, std::int32_t x, std::int32_t y,
                         std::int32_t level);

} // namespace orvane::tiles
