#pragma once

// The map package: the internal map (.qvm: header, then each tile record
// followed by its image data) and the external map (.qvo: header, index of
// all tile records, then one data block), written together from one stream
// of tiles, with the scratch file .qvp holding the data block meanwhile.
// All integers are big-endian; there is no padding anywhere.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orvane::conversion {

// ---- format constants ----------------------------------------------------

inline constexpr std::size_t kPackageHeaderSize = 9;
inline constexpr std::size_t kInternalRecordSize = 17;  // x, y, level, kind, size
inline constexpr std::size_t kExternalEntrySize = 21;   // the same + data offset
inline constexpr std::uint8_t kPackageTileKind = 2;     // the only kind ever written

/// Every file of a package stays below this length: data offsets are 32-bit
/// fields and the viewer's readers seek with signed 32-bit positions.
inline constexpr std::uint64_t kPackageSizeLimit = std::uint64_t{1} << 31;
/// A tile is a 256 x 256 image file; more data than this is taken as damage.
inline constexpr std::uint32_t kMaxTileDataSize = std::uint32_t{64} << 20;

// ---- header --------------------------------------------------------------

/// What a writer puts into the header, before encoding.
struct PackageHeaderInfo {
    double centreLat = 0;
    double centreLon = 0;
    std::int32_t startLevel = 1;  // only its low 8 bits are stored
};

/// The header as stored: raw bytes of the centre, start level, tile count.
struct PackageHeader {
    std::uint8_t latDegrees = 0;
    std::uint8_t latMinutes = 0;
    std::uint8_t lonDegrees = 0;
    std::uint8_t lonMinutes = 0;
    std::uint8_t startLevel = 0;
    std::uint32_t tileCount = 0;

    /// The centre as the system's readers take it: unsigned degrees +
    /// minutes / 60, so southern and western coordinates come back positive.
    double CentreLat() const;
    double CentreLon() const;

    bool operator==(const PackageHeader&) const = default;
};

/// Low 8 bits of the coordinate truncated toward zero (-33.5 -> 0xDF).
/// NaN and infinities give 0; huge values give their exact low 8 bits (0).
std::uint8_t CentreDegreesByte(double coordinate);
/// Low 8 bits of (coordinate - truncated degrees) x 60, truncated toward
/// zero (-33.5 -> 0xE2); NaN and infinities give 0.
std::uint8_t CentreMinutesByte(double coordinate);
/// degrees + minutes / 60 with both bytes unsigned.
double DecodeCentre(std::uint8_t degrees, std::uint8_t minutes);

PackageHeader MakePackageHeader(const PackageHeaderInfo& info, std::uint32_t tileCount);
std::array<std::uint8_t, kPackageHeaderSize> EncodeHeader(const PackageHeader& header);
PackageHeader DecodeHeader(std::span<const std::uint8_t, kPackageHeaderSize> bytes);

// ---- tile records --------------------------------------------------------

/// One tile of a package as read or written.
struct PackageTile {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t level = 0;
    std::uint8_t kind = kPackageTileKind;
    std::uint32_t size = 0;          // data size in bytes
    std::uint32_t offset = 0;        // external map: offset in the data block; internal: 0
    std::uint64_t dataPosition = 0;  // reading: byte position of the data in the file

    bool operator==(const PackageTile&) const = default;
};

/// The 17-byte record of the internal map (dataPosition and offset unused).
std::array<std::uint8_t, kInternalRecordSize> EncodeInternalRecord(const PackageTile& tile);
/// The 21-byte index entry of the external map (dataPosition unused).
std::array<std::uint8_t, kExternalEntrySize> EncodeExternalEntry(const PackageTile& tile);
PackageTile DecodeInternalRecord(std::span<const std::uint8_t, kInternalRecordSize> bytes);
PackageTile DecodeExternalEntry(std::span<const std::uint8_t, kExternalEntrySize> bytes);

/// Length of each layout for `tileCount` tiles of `dataBytes` in all
/// (saturates instead of wrapping).
std::uint64_t InternalMapSize(std::uint64_t tileCount, std::uint64_t dataBytes);
std::uint64_t ExternalMapSize(std::uint64_t tileCount, std::uint64_t dataBytes);

/// Throws Error when a package of `tileCount` tiles holding `totalDataBytes`
/// of image data would reach kPackageSizeLimit, so a caller can refuse
/// before cutting or copying anything.
void CheckPlannedSize(std::uint64_t tileCount, std::uint64_t totalDataBytes);

// ---- tile data -----------------------------------------------------------

enum class TileFormat { Jpeg, Png, Unknown };

/// JPEG data begin with FF D8, PNG data with 89 50 4E 47 0D 0A 1A 0A.
TileFormat SniffTileFormat(std::span<const std::uint8_t> data);
/// "JPEG", "PNG" or "unknown".
std::string_view TileFormatName(TileFormat format);

// ---- layouts and file names ----------------------------------------------

enum class PackageLayout { Internal, External };

/// "internal" or "external".
std::string_view PackageLayoutName(PackageLayout layout);

struct PackageFileChoice {
    PackageLayout layout = PackageLayout::Internal;
    std::filesystem::path file;
};

/// The import's rule: a name ending in ".qvm" (any letter case) is an
/// internal map; any other name means the external map of the same name
/// with extension ".qvo".
PackageFileChoice ChoosePackageFile(const std::filesystem::path& chosen);

/// The assembly's rule: extension ".qvm" or ".qvo" (any letter case) gives
/// the layout; anything else is not a package.
std::optional<PackageLayout> LayoutByExtension(const std::filesystem::path& file);

// ---- output --------------------------------------------------------------

/// Where a writer's bytes go. Write and Close throw Error naming the file.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    /// Flushes everything and closes; no Write may follow.
    virtual void Close() = 0;
};

/// A file created or truncated on construction, written through a buffer.
/// Destroying it without Close flushes what it can and ignores failures.
class FileSink final : public ByteSink {
public:
    explicit FileSink(std::filesystem::path path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void Write(std::span<const std::uint8_t> bytes) override;
    void Close() override;

private:
    void Flush();

    std::filesystem::path m_path;
    int m_fd = -1;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
};

/// Opens the sink for one package file. The sink must write to that path
/// (the external map is completed by reading the scratch file back), so a
/// replacement wraps a FileSink, e.g. to inject a failure.
using SinkFactory = std::function<std::unique_ptr<ByteSink>(const std::filesystem::path&)>;

/// Writes both layouts of a package in one pass:
///   MapPackageWriter writer(outFile, header, n);
///   for each of the n tiles: writer.AddTile(x, y, level, data);
///   writer.Finish();
/// The output name's extension is replaced by .qvm, .qvo and .qvp. The
/// scratch .qvp is deleted on every path: at Finish, at the first failure,
/// or when the writer is destroyed unfinished (the caller failed). The .qvm
/// and .qvo of a failed write remain as far as they were written. After a
/// failure the writer accepts no further calls.
class MapPackageWriter {
public:
    /// Creates the three files and writes the header. Throws Error when the
    /// declared count alone would break the size limit (nothing is created
    /// then) or a file cannot be created.
    MapPackageWriter(const std::filesystem::path& outFile, const PackageHeaderInfo& header,
                     std::uint32_t tileCount, SinkFactory openSink = {});
    ~MapPackageWriter();
    MapPackageWriter(const MapPackageWriter&) = delete;
    MapPackageWriter& operator=(const MapPackageWriter&) = delete;

    /// Adds the next tile (kind 2). Throws Error for a tile beyond the
    /// declared count, data above kMaxTileDataSize, a package that would
    /// reach kPackageSizeLimit, or a write failure.
    void AddTile(std::int32_t x, std::int32_t y, std::int32_t level, std::span<const std::uint8_t> data);
    /// The same with the data read from a file (e.g. a temporary tile);
    /// a missing file fails the package like any other step.
    void AddTileFromFile(std::int32_t x, std::int32_t y, std::int32_t level, const std::filesystem::path& dataFile);
    /// Completes the external map, closes the files and deletes the scratch
    /// file. Throws Error when fewer tiles than declared were added.
    void Finish();

    const std::filesystem::path& InternalFile() const { return m_qvmPath; }
    const std::filesystem::path& ExternalFile() const { return m_qvoPath; }
    const std::filesystem::path& ScratchFile() const { return m_qvpPath; }
    std::uint32_t TilesAdded() const { return m_added; }

private:
    enum class State { Open, Finished, Failed };

    void Open(const PackageHeaderInfo& header, const SinkFactory& openSink);
    void WriteTile(std::int32_t x, std::int32_t y, std::int32_t level, std::span<const std::uint8_t> data);
    void CheckTile(std::uint64_t size) const;
    void CheckOpen() const;
    void Abort() noexcept;

    std::filesystem::path m_qvmPath;
    std::filesystem::path m_qvoPath;
    std::filesystem::path m_qvpPath;
    std::uint32_t m_count = 0;
    std::uint32_t m_added = 0;
    std::uint64_t m_dataBytes = 0;  // current length of the .qvp
    std::unique_ptr<ByteSink> m_qvm;
    std::unique_ptr<ByteSink> m_qvo;
    std::unique_ptr<ByteSink> m_qvp;
    bool m_scratchCreated = false;
    State m_state = State::Failed;
    std::vector<std::uint8_t> m_fileBuffer;  // AddTileFromFile
};

// ---- input ---------------------------------------------------------------

/// Reads a package of either layout. Opening reads the header and every
/// record (or index entry) and checks them against the file's length, so
/// a malformed package fails here with an Error naming the file and the
/// record; the tile data are then read one tile at a time on demand.
class MapPackageReader {
public:
    MapPackageReader(const std::filesystem::path& file, PackageLayout layout);
    /// Opens the file the import's rule picks for `chosen`.
    static MapPackageReader OpenChosen(const std::filesystem::path& chosen);

    ~MapPackageReader();
    MapPackageReader(MapPackageReader&& other) noexcept;
    MapPackageReader& operator=(MapPackageReader&& other) noexcept;
    MapPackageReader(const MapPackageReader&) = delete;
    MapPackageReader& operator=(const MapPackageReader&) = delete;

    const std::filesystem::path& File() const { return m_path; }
    PackageLayout Layout() const { return m_layout; }
    const PackageHeader& Header() const { return m_header; }
    /// The tiles in file order; Tiles().size() == Header().tileCount.
    const std::vector<PackageTile>& Tiles() const { return m_tiles; }
    /// External map: 9 + 21 x N, where the data block starts; internal: 0.
    std::uint64_t DataBlockStart() const { return m_dataBlockStart; }
    std::uint64_t FileSize() const { return m_fileSize; }

    /// The image data of tile `index` (0-based). Throws Error if the file
    /// no longer holds them; std::out_of_range for a bad index.
    std::vector<std::uint8_t> ReadTileData(std::size_t index) const;
    /// The same into a caller's buffer, to reuse its memory.
    void ReadTileData(std::size_t index, std::vector<std::uint8_t>& out) const;
    /// At most the first `maxBytes` of the data (enough to sniff the format).
    std::vector<std::uint8_t> ReadTileHead(std::size_t index, std::size_t maxBytes) const;

private:
    void ReadInternalRecords();
    void ReadExternalIndex();
    void ReadExact(std::uint64_t position, std::span<std::uint8_t> out) const;

    std::filesystem::path m_path;
    PackageLayout m_layout = PackageLayout::Internal;
    int m_fd = -1;
    std::uint64_t m_fileSize = 0;
    PackageHeader m_header;
    std::vector<PackageTile> m_tiles;
    std::uint64_t m_dataBlockStart = 0;
};

} // namespace orvane::conversion
