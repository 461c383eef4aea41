#include "conversion/AssembleMaps.hpp"

#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>


namespace orvane::conversion {

namespace fs = std::filesystem;

namespace {

// The header of an assembly in which no input was read.
constexpr std::int32_t kNoInputStartLevel = 1;

/// What makes two tiles the same tile.
struct TileIdentity {
    std::int32_t x;
    std::int32_t y;
    std::int32_t level;
    std::uint8_t kind;

    bool operator==(const TileIdentity&) const = default;
};

struct TileIdentityHash {
    std::size_t operator()(const TileIdentity& t) const noexcept
    {
        // splitmix64 over the packed fields: neighbouring tiles spread well.
        std::uint64_t v = (std::uint64_t{static_cast<std::uint32_t>(t.x)} << 32) ^ static_cast<std::uint32_t>(t.y);
        v ^= (std::uint64_t{static_cast<std::uint32_t>(t.level)} << 8 | t.kind) * 0x9E3779B97F4A7C15ull;
        v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ull;
        v = (v ^ (v >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::size_t>(v ^ (v >> 31));
    }
};

struct CheckedInputs {
    std::vector<std::pair<fs::path, PackageLayout>> files;  // in list order
    std::uint64_t tileCount = 0;                            // over all of them
};

/// Opens every input the list names as a package and checks it, so that a
/// missing or malformed one stops the run before anything is written.
CheckedInputs CheckInputs(const std::vector<fs::path>& files)
{
    CheckedInputs inputs;
    for (const fs::path& file : files) {
        const std::optional<PackageLayout> layout = LayoutByExtension(file);
        if (!layout) continue;
        const MapPackageReader check(file, *layout);
        inputs.files.emplace_back(file, *layout);
        inputs.tileCount += check.Tiles().size();
    }
    return inputs;
}

/// Deletes a temporary file; only files are removed, never a folder that
/// happens to stand in the way.
void RemoveTempFile(const std::string& path) { ::unlink(path.c_str()); }

/// Deletes the temporary files of a run that did not finish.
class TempFileCleanup {
public:
    explicit TempFileCleanup(const TTileInfoArray& tiles) : m_tiles(tiles) {}
    ~TempFileCleanup()
    {
        if (m_done) return;
        for (const TTileInfo& t : m_tiles)
            if (!t.duplicate) RemoveTempFile(t.tempFile);
    }
    TempFileCleanup(const TempFileCleanup&) = delete;
    TempFileCleanup& operator=(const TempFileCleanup&) = delete;
    void Done() { m_done = true; }

private:
    const TTileInfoArray& m_tiles;
    bool m_done = false;
};

} // namespace

std::string AssemblyTempName(std::uint64_t counter)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06llu", static_cast<unsigned long long>(counter));
    return buf;
}

AssembleResult AssembleMaps(const std::vector<fs::path>& files, const fs::path& outFile)
{
    const fs::path outFolder = outFile.has_parent_path() ? outFile.parent_path() : fs::path(".");
    const fs::path tmpFolder = outFolder / "tmptiles";

    AssembleResult result;
    PackageHeaderInfo header{0, 0, kNoInputStartLevel};
    std::int32_t smallestStartLevel = 1000;
    TTileInfoArray tiles;
    TempFileCleanup cleanup(tiles);
    std::uint64_t keptBytes = 0;

    try {
        const auto inputs = CheckInputs(files);

        // The temporary folder, and with it the output's folder.
        std::error_code ec;
        fs::create_directories(tmpFolder, ec);
        if (ec) throw Error(msg::CannotCreateFolder(tmpFolder.string(), ec.message()));

        // Read every input into the temporary files. A duplicate is known as
        // soon as it is read, so its data, which would never be used, are
        // not copied.
        tiles.reserve(static_cast<std::size_t>(inputs.tileCount));
        std::unordered_set<TileIdentity, TileIdentityHash> seen;
        seen.reserve(static_cast<std::size_t>(inputs.tileCount));
        std::uint64_t counter = 0;
        std::vector<std::uint8_t> data;  // one tile at a time
        for (const auto& [file, layout] : inputs.files) {
            const MapPackageReader reader(file, layout);
            const PackageHeader& h = reader.Header();
            header.centreLat = h.CentreLat();
            header.centreLon = h.CentreLon();
            smallestStartLevel = std::min<std::int32_t>(smallestStartLevel, h.startLevel);
            ++result.inputsRead;

            const std::vector<PackageTile>& records = reader.Tiles();
            for (std::size_t i = 0; i < records.size(); ++i) {
                const PackageTile& r = records[i];
                TTileInfo& t = tiles.emplace_back();
                t.x = r.x;
                t.y = r.y;
                t.level = r.level;
                t.kind = r.kind;
                t.size = r.size;
                if (layout == PackageLayout::External) {
                    t.offset = r.offset;
                    t.dataStart = reader.DataBlockStart();
                }
                t.tempFile = (tmpFolder / AssemblyTempName(counter++)).string();
                t.duplicate = !seen.insert({r.x, r.y, r.level, r.kind}).second;
                if (t.duplicate) continue;
                reader.ReadTileData(i, data);
                WriteWholeFile(t.tempFile, data);
                keptBytes += r.size;
                ++result.keptTiles;
            }
        }
        if (result.inputsRead > 0) header.startLevel = smallestStartLevel;
        result.totalTiles = tiles.size();
        // A package the format cannot hold is refused before the output is begun.
        CheckPlannedSize(result.keptTiles, keptBytes);
    } catch (const Error& e) {
        throw Error(msg::AssemblyStopped(e.what()));
    }

    MapPackageWriter writer(outFile, header, static_cast<std::uint32_t>(result.keptTiles));
    try {
        for (const TTileInfo& t : tiles) {
            if (t.duplicate) continue;
            writer.AddTileFromFile(t.x, t.y, t.level, t.tempFile);
            RemoveTempFile(t.tempFile);
        }
        writer.Finish();
    } catch (const Error& e) {
        throw Error(msg::IncompletePackage(e.what(), writer.InternalFile().string(), writer.ExternalFile().string()));
    }
    cleanup.Done();

    result.header = MakePackageHeader(header, static_cast<std::uint32_t>(result.keptTiles));
    result.qvmFile = writer.InternalFile();
    result.qvoFile = writer.ExternalFile();
    return result;
}

} // namespace orvane::conversion
