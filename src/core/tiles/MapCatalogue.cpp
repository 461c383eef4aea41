#include "tiles/MapCatalogue.hpp"

#include "geo/MercUtil.hpp"
#include "util/FileIo.hpp"
#include "util/NumberText.hpp"
#include "util/TextCodec.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <unistd.h>

namespace orvane::tiles {

namespace fs = std::filesystem;

namespace {

// Hosts of the built-in sources. The VirtualEarth prefix is the host without
// its first label: the URL rule puts "h"/"r", the server digit and a dot in
// front of it.
constexpr std::string_view kVirtualEarthHost = "ortho.tiles.virtualearth.net";
constexpr std::string_view kGoogleSatelliteHost = "khm.google.com";
constexpr std::string_view kGoogleMapHost = "mt.google.com";
constexpr std::string_view kOsmMapnikHost = "tile.openstreetmap.org";
constexpr std::string_view kOsmOsmrenderHost = "tah.openstreetmap.org";
constexpr std::string_view kGurtamHost = "maps.gurtam.com";

std::string Cat(std::string_view a, std::string_view b) { return std::string(a) + std::string(b); }

TMapPathNamesArray MakeBuiltIn()
{
    const std::string osmAgent = ProgramUserAgent();
    return {
        {5, "VE\\SUR\\", Cat(kVirtualEarthHost, "/tiles/h"), "VirtualEarth Surface", {}, true},
        {6, "VE\\MAP\\", Cat(kVirtualEarthHost, "/tiles/r"), "VirtualEarth Map", {}, true},
        {1, "GL\\SUR\\", Cat(kGoogleSatelliteHost, "/kh?v=99&n=404&t="), "Google Surface", {}, true},
        {2, "GL\\MAP\\", Cat(kGoogleMapHost, "/mt?n=404&v=w2.76&x="), "Google Map", {}, true},
        {21, "OS\\SUR\\", Cat(kOsmMapnikHost, "/"), "OpenStreetMap Mapnik", osmAgent, false},
        {22, "OS\\MAP\\", Cat(kOsmOsmrenderHost, "/Tiles/tile/"), "OpenStreetMap Osmrender", osmAgent, false},
        {26, "GU\\MAP\\", Cat(kGurtamHost, "/map_gmaps?n=404&x="), "Gurtam", {}, true},
        {9, "MP\\SUR\\", "", "Custom Map 1", {}, true},
        {10, "MP\\MAP\\", "", "Custom Map 2", {}, true},
    };
}

/// `text` cut to at most `maxChars` UTF-8 characters.
std::string CutToChars(std::string_view text, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if ((u & 0xC0) != 0x80) {
            if (chars == maxChars) return std::string(text.substr(0, i));
            ++chars;
        }
    }
    return std::string(text);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

/// Integer value of an INI entry as the settings reader reads it: decimal
/// with an optional sign, or hexadecimal after "$" or "0x"; nullopt when
/// the text is anything else.
std::optional<std::int64_t> IniInteger(std::string_view text)
{
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') digit = Lower(c) - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;

    const std::string* Find(std::string_view key) const
    {
        for (const auto& [k, v] : entries)
            if (EqualsNoCase(k, key)) return &v;
        return nullptr;
    }
};

std::vector<IniSection> ParseIniSections(std::string_view text)
{
    std::vector<IniSection> sections;
    IniSection* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            if (const auto close = name.find(']'); close != std::string_view::npos) name = name.substr(0, close);
            name = TrimBlanks(name);
            const auto same = std::find_if(sections.begin(), sections.end(),
                                           [&](const IniSection& s) { return EqualsNoCase(s.name, name); });
            if (same != sections.end()) {
                current = &*same;
            } else {
                sections.push_back({std::string(name), {}});
                current = &sections.back();
            }
            continue;
        }
        const auto eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos) continue;
        const std::string_view key = TrimBlanks(line.substr(0, eq));
        // The first occurrence of a key wins.
        if (key.empty() || current->Find(key) != nullptr) continue;
        current->entries.emplace_back(std::string(key), std::string(TrimBlanks(line.substr(eq + 1))));
    }
    return sections;
}

std::atomic<std::shared_ptr<const TMapPathNamesArray>>& ProgramCatalogue()
{
    static std::atomic<std::shared_ptr<const TMapPathNamesArray>> catalogue{
        std::make_shared<const TMapPathNamesArray>(BuiltInCatalogue())};
    return catalogue;
}

std::string Decimal(std::int64_t v) { return std::to_string(v); }

} // namespace

const TMapPathNamesArray& BuiltInCatalogue()
{
    static const TMapPathNamesArray table = MakeBuiltIn();
    return table;
}

std::string ProgramUserAgent() { return std::string("OrvaneStudio/") + ORVANE_VERSION; }

TMapPathNamesArray ParseMapsIni(std::string_view text)
{
    std::string utf8;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (IsValidUtf8(text)) {
        utf8.assign(text);
    } else if (auto converted = Cp1251ToUtf8(text)) {
        utf8 = std::move(*converted);
    } else {
        return {};
    }

    TMapPathNamesArray catalogue;
    for (const IniSection& section : ParseIniSections(utf8)) {
        TMapPathName entry;
        auto value = [&](std::string_view key, std::string_view fallback) {
            const std::string* v = section.Find(key);
            return v != nullptr ? *v : std::string(fallback);
        };
        entry.Name = CutToChars(value("Name", "Map Name"), kMaxNameLength);
        const auto mt = IniInteger(value("MT", "0"));
        entry.MT = static_cast<MapType>(static_cast<std::uint64_t>(mt.value_or(0)) & 0xFF);
        entry.CachePath = CutToChars(value("CachePath", "\\D_F\\MAP"), kMaxCachePathLength);
        entry.URL = CutToChars(value("URL", Cat(kOsmMapnikHost, "/")), kMaxUrlLength);
        entry.UserAgent = value("UserAgent", "");
        entry.Bulk = IniInteger(value("Bulk", "1")).value_or(1) != 0;
        catalogue.push_back(std::move(entry));
    }
    return catalogue;
}

fs::path ResolveMapsIniPath(const MapsIniInputs& in)
{
    if (!in.envOverride.empty()) return in.envOverride;
    if (in.programIniExists && !in.programDir.empty()) return in.programDir / "maps.ini";
    if (!in.xdgConfigHome.empty() && fs::path(in.xdgConfigHome).is_absolute())
        return fs::path(in.xdgConfigHome) / "orvane" / "maps.ini";
    const fs::path home = in.home.empty() ? fs::path(".") : fs::path(in.home);
    return home / ".config" / "orvane" / "maps.ini";
}

TMapPathNamesArray ReadMapCatalogue(const fs::path& mapsIni)
{
    try {
        std::error_code ec;
        if (!fs::is_regular_file(mapsIni, ec)) return BuiltInCatalogue();
        TMapPathNamesArray catalogue = ParseMapsIni(ReadWholeFile(mapsIni));
        if (catalogue.empty()) return BuiltInCatalogue();
        return catalogue;
    } catch (const std::exception&) {
        return BuiltInCatalogue();
    }
}

void LoadMapCatalogue()
{
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr ? std::string(v) : std::string();
    };
    MapsIniInputs in;
    in.envOverride = env("ORVANE_MAPS_INI");
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) in.programDir = self.parent_path();
    in.programIniExists = !in.programDir.empty() && fs::is_regular_file(in.programDir / "maps.ini", ec);
    in.xdgConfigHome = env("XDG_CONFIG_HOME");
    in.home = env("HOME");
    SetMapCatalogue(ReadMapCatalogue(ResolveMapsIniPath(in)));
}

std::shared_ptr<const TMapPathNamesArray> MapCatalogue() { return ProgramCatalogue().load(); }

void SetMapCatalogue(TMapPathNamesArray catalogue)
{
    ProgramCatalogue().store(std::make_shared<const TMapPathNamesArray>(std::move(catalogue)));
}

const TMapPathName* FindEntry(const TMapPathNamesArray& catalogue, MapType mt)
{
    for (const auto& entry : catalogue)
        if (entry.MT == mt) return &entry;
    return nullptr;
}

std::string FindCacheFolder(const TMapPathNamesArray& catalogue, MapType mt)
{
    const TMapPathName* entry = FindEntry(catalogue, mt);
    return entry != nullptr ? entry->CachePath : std::string("Unk\\");
}

std::string FindUrlPrefix(const TMapPathNamesArray& catalogue, MapType mt)
{
    const TMapPathName* entry = FindEntry(catalogue, mt);
    return entry != nullptr ? entry->URL : std::string();
}

std::string UserAgentFor(const TMapPathNamesArray& catalogue, MapType mt)
{
    const TMapPathName* entry = FindEntry(catalogue, mt);
    return entry != nullptr && !entry->UserAgent.empty() ? entry->UserAgent : std::string(kTileUserAgent);
}

bool BulkAllowed(const TMapPathNamesArray& catalogue, MapType mt)
{
    const TMapPathName* entry = FindEntry(catalogue, mt);
    return entry == nullptr || entry->Bulk;
}

std::string SourceName(const TMapPathNamesArray& catalogue, MapType mt)
{
    if (const TMapPathName* entry = FindEntry(catalogue, mt)) return entry->Name;
    if (const TMapPathName* entry = FindEntry(BuiltInCatalogue(), mt)) return entry->Name;
    return "map type " + std::to_string(mt);
}

const TMapPathName* SelectorEntry(const TMapPathNamesArray& catalogue, int index)
{
    if (index < 0) return nullptr;
    const auto i = static_cast<std::size_t>(index);
    if (i < catalogue.size()) return &catalogue[i];
    if (i < BuiltInCatalogue().size()) return &BuiltInCatalogue()[i];
    return nullptr;
}

std::string BuildTileUrl(const TMapPathNamesArray& catalogue, MapType mt, std::int32_t x, std::int32_t y,
                         std::int32_t level)
{
    const std::uint8_t kind = KindOf(mt);
    if (kind != KindSurface && kind != KindMap) return {};
    const bool surface = kind == KindSurface;
    auto p = [&](MapType m) { return FindUrlPrefix(catalogue, m); };
    const std::string xs = Decimal(x);
    const std::string ys = Decimal(y);
    switch (SourceOf(mt)) {
    case SourceGoogle:
        if (surface) return "http://" + p(1) + geo::TileKey(x, y, level);
        return "http://" + p(2) + xs + "&y=" + ys + "&zoom=" + Decimal(18 - std::int64_t{level});
    case SourceVirtualEarth: {
        const std::string digits = geo::QuadKeyDigits(x, y, level);
        if (digits.empty()) return {};
        if (surface) return "http://h" + digits.substr(0, 1) + "." + p(5) + digits + ".jpg?g=1";
        return "http://r" + digits.substr(0, 1) + "." + p(6) + digits + ".png?g=1";
    }
    case SourceOpenStreetMap:
        return "http://" + p(surface ? 21 : 22) + Decimal(std::int64_t{level} - 1) + "/" + xs + "/" + ys + ".png";
    case SourceGurtam:
        if (surface) return "http://" + p(25) + xs + "&y=" + ys + "&z=" + Decimal(std::int64_t{level} - 1);
        return "http://" + p(26) + xs + "&y=" + ys + "&zoom=" + Decimal(18 - std::int64_t{level});
    default:
        return {};
    }
}

} // namespace orvane::tiles
