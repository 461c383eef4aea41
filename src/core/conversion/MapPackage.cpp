#include "conversion/MapPackage.hpp"

#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::conversion {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSinkBufferSize = 256 * 1024;
// The scratch file is copied onto the end of the external map in pieces of
// this size (a multiple of the classic 4096-byte chunk; the size does not
// change the result).
constexpr std::size_t kCopyChunkSize = 256 * 1024;
// Index entries read from an external map at a time.
constexpr std::size_t kIndexEntriesPerRead = 4096;

constexpr std::string_view kTileRecord = "tile record";
constexpr std::string_view kIndexEntry = "index entry";

// ---- big-endian fields ----

void PutU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t GetU32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// The 13 bytes x, y, level, kind and the 4-byte size shared by both record kinds.
void PutRecordStart(std::uint8_t* p, const PackageTile& tile)
{
    PutU32(p, static_cast<std::uint32_t>(tile.x));
    PutU32(p + 4, static_cast<std::uint32_t>(tile.y));
    PutU32(p + 8, static_cast<std::uint32_t>(tile.level));
    p[12] = tile.kind;
    PutU32(p + 13, tile.size);
}

PackageTile GetRecordStart(const std::uint8_t* p)
{
    PackageTile tile;
    tile.x = static_cast<std::int32_t>(GetU32(p));
    tile.y = static_cast<std::int32_t>(GetU32(p + 4));
    tile.level = static_cast<std::int32_t>(GetU32(p + 8));
    tile.kind = p[12];
    tile.size = GetU32(p + 13);
    return tile;
}

// Low 8 bits of v truncated toward zero, for any double. fmod is exact, and
// every double of magnitude 2^53 or more is a multiple of 256, so huge
// values correctly give 0.
std::uint8_t LowByteTowardZero(double v)
{
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(v), 256.0);
    if (m < 0) m += 256.0;
    return static_cast<std::uint8_t>(m);
}

bool EndsWithNoCase(std::string_view text, std::string_view tail)
{
    if (text.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char a, char b) {
                          auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
                          return lower(a) == lower(b);
                      });
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return a > max - b ? max : a + b;
}

// ---- plain file access (POSIX, 64-bit positions) ----

int OpenForReading(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(msg::CannotOpenFile(path.string(), SystemErrorText(errno)));
    return fd;
}

std::uint64_t LengthOf(int fd, const fs::path& path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw Error(msg::CannotReadFile(path.string(), SystemErrorText(errno)));
    if (S_ISDIR(st.st_mode)) throw Error(msg::CannotOpenFile(path.string(), SystemErrorText(EISDIR)));
    return st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
}

/// Reads exactly out.size() bytes at `position`; a file that ends first is a
/// read failure.
void ReadAt(int fd, const fs::path& path, std::uint64_t position, std::span<std::uint8_t> out)
{
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(msg::CannotReadFile(path.string(), SystemErrorText(errno)));
        }
        if (n == 0) throw Error(msg::CannotReadFile(path.string(), std::string(msg::kUnexpectedEndOfFile)));
        done += static_cast<std::size_t>(n);
    }
}

void WriteAll(int fd, const fs::path& path, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(errno)));
        }
        if (n == 0) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(ENOSPC)));
        done += static_cast<std::size_t>(n);
    }
}

/// Closes a descriptor it owns when it goes.
class ReadHandle {
public:
    explicit ReadHandle(const fs::path& path) : m_fd(OpenForReading(path)) {}
    ~ReadHandle() { ::close(m_fd); }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

[[noreturn]] void ThrowMalformed(const fs::path& path, const std::string& detail)
{
    throw Error(msg::MalformedPackage(path.string(), detail));
}

} // namespace

// ---- header ----

double DecodeCentre(std::uint8_t degrees, std::uint8_t minutes)
{
    return static_cast<double>(degrees) + static_cast<double>(minutes) / 60.0;
}

double PackageHeader::CentreLat() const { return DecodeCentre(latDegrees, latMinutes); }
double PackageHeader::CentreLon() const { return DecodeCentre(lonDegrees, lonMinutes); }

std::uint8_t CentreDegreesByte(double coordinate) { return LowByteTowardZero(coordinate); }

std::uint8_t CentreMinutesByte(double coordinate)
{
    if (!std::isfinite(coordinate)) return 0;
    return LowByteTowardZero((coordinate - std::trunc(coordinate)) * 60.0);
}

PackageHeader MakePackageHeader(const PackageHeaderInfo& info, std::uint32_t tileCount)
{
    PackageHeader h;
    h.latDegrees = CentreDegreesByte(info.centreLat);
    h.latMinutes = CentreMinutesByte(info.centreLat);
    h.lonDegrees = CentreDegreesByte(info.centreLon);
    h.lonMinutes = CentreMinutesByte(info.centreLon);
    h.startLevel = static_cast<std::uint8_t>(static_cast<std::uint32_t>(info.startLevel) & 0xFFu);
    h.tileCount = tileCount;
    return h;
}

std::array<std::uint8_t, kPackageHeaderSize> EncodeHeader(const PackageHeader& header)
{
    std::array<std::uint8_t, kPackageHeaderSize> b{};
    b[0] = header.latDegrees;
    b[1] = header.latMinutes;
    b[2] = header.lonDegrees;
    b[3] = header.lonMinutes;
    b[4] = header.startLevel;
    PutU32(b.data() + 5, header.tileCount);
    return b;
}

PackageHeader DecodeHeader(std::span<const std::uint8_t, kPackageHeaderSize> bytes)
{
    PackageHeader h;
    h.latDegrees = bytes[0];
    h.latMinutes = bytes[1];
    h.lonDegrees = bytes[2];
    h.lonMinutes = bytes[3];
    h.startLevel = bytes[4];
    h.tileCount = GetU32(bytes.data() + 5);
    return h;
}

// ---- records ----

std::array<std::uint8_t, kInternalRecordSize> EncodeInternalRecord(const PackageTile& tile)
{
    std::array<std::uint8_t, kInternalRecordSize> b{};
    PutRecordStart(b.data(), tile);
    return b;
}

std::array<std::uint8_t, kExternalEntrySize> EncodeExternalEntry(const PackageTile& tile)
{
    std::array<std::uint8_t, kExternalEntrySize> b{};
    PutRecordStart(b.data(), tile);
    PutU32(b.data() + 17, tile.offset);
    return b;
}

PackageTile DecodeInternalRecord(std::span<const std::uint8_t, kInternalRecordSize> bytes)
{
    return GetRecordStart(bytes.data());
}

PackageTile DecodeExternalEntry(std::span<const std::uint8_t, kExternalEntrySize> bytes)
{
    PackageTile tile = GetRecordStart(bytes.data());
    tile.offset = GetU32(bytes.data() + 17);
    return tile;
}

std::uint64_t InternalMapSize(std::uint64_t tileCount, std::uint64_t dataBytes)
{
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    if (tileCount > (max - kPackageHeaderSize) / kInternalRecordSize) return max;
    return SaturatingAdd(kPackageHeaderSize + kInternalRecordSize * tileCount, dataBytes);
}

std::uint64_t ExternalMapSize(std::uint64_t tileCount, std::uint64_t dataBytes)
{
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    if (tileCount > (max - kPackageHeaderSize) / kExternalEntrySize) return max;
    return SaturatingAdd(kPackageHeaderSize + kExternalEntrySize * tileCount, dataBytes);
}

void CheckPlannedSize(std::uint64_t tileCount, std::uint64_t totalDataBytes)
{
    // The external map is the longer layout (21-byte entries against 17).
    const std::uint64_t size = ExternalMapSize(tileCount, totalDataBytes);
    if (size >= kPackageSizeLimit) throw Error(msg::PackageTooLarge(tileCount, size));
}

// ---- tile data ----

TileFormat SniffTileFormat(std::span<const std::uint8_t> data)
{
    static constexpr std::uint8_t kPng[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8) return TileFormat::Jpeg;
    if (data.size() >= sizeof kPng && std::equal(std::begin(kPng), std::end(kPng), data.begin()))
        return TileFormat::Png;
    return TileFormat::Unknown;
}

std::string_view TileFormatName(TileFormat format)
{
    switch (format) {
    case TileFormat::Jpeg: return "JPEG";
    case TileFormat::Png: return "PNG";
    case TileFormat::Unknown: break;
    }
    return "unknown";
}

// ---- layouts ----

std::string_view PackageLayoutName(PackageLayout layout)
{
    return layout == PackageLayout::Internal ? "internal" : "external";
}

PackageFileChoice ChoosePackageFile(const fs::path& chosen)
{
    if (EndsWithNoCase(chosen.native(), ".qvm")) return {PackageLayout::Internal, chosen};
    // File names are case-sensitive here: an external map chosen as X.QVO is
    // read as named.
    if (chosen.extension().native().size() == 4 && EndsWithNoCase(chosen.native(), ".qvo"))
        return {PackageLayout::External, chosen};
    return {PackageLayout::External, fs::path(chosen).replace_extension(".qvo")};
}

std::optional<PackageLayout> LayoutByExtension(const fs::path& file)
{
    const std::string ext = file.extension().native();
    if (ext.size() == 4 && EndsWithNoCase(ext, ".qvm")) return PackageLayout::Internal;
    if (ext.size() == 4 && EndsWithNoCase(ext, ".qvo")) return PackageLayout::External;
    return std::nullopt;
}

// ---- FileSink ----

FileSink::FileSink(fs::path path) : m_path(std::move(path))
{
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) throw Error(msg::CannotCreatePackageFile(m_path.string(), SystemErrorText(errno)));
    m_buffer.resize(kSinkBufferSize);
}

FileSink::~FileSink()
{
    if (m_fd < 0) return;
    try {
        Flush();
    } catch (...) {
        // Best effort: the failure has been or will be reported elsewhere.
    }
    ::close(m_fd);
}

void FileSink::Flush()
{
    const std::size_t used = std::exchange(m_used, 0);
    WriteAll(m_fd, m_path, std::span<const std::uint8_t>(m_buffer.data(), used));
}

void FileSink::Write(std::span<const std::uint8_t> bytes)
{
    if (m_fd < 0) throw std::logic_error("FileSink::Write after Close");
    if (bytes.size() > m_buffer.size() - m_used) {
        Flush();
        if (bytes.size() >= m_buffer.size()) {
            WriteAll(m_fd, m_path, bytes);
            return;
        }
    }
    if (!bytes.empty()) std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
}

void FileSink::Close()
{
    if (m_fd < 0) return;
    Flush();
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) throw Error(msg::CannotWriteFile(m_path.string(), SystemErrorText(errno)));
}

// ---- MapPackageWriter ----

MapPackageWriter::MapPackageWriter(const fs::path& outFile, const PackageHeaderInfo& header,
                                   std::uint32_t tileCount, SinkFactory openSink)
    : m_qvmPath(fs::path(outFile).replace_extension(".qvm")),
      m_qvoPath(fs::path(outFile).replace_extension(".qvo")),
      m_qvpPath(fs::path(outFile).replace_extension(".qvp")),
      m_count(tileCount)
{
    CheckPlannedSize(tileCount, 0);
    try {
        Open(header, openSink);
    } catch (...) {
        Abort();
        throw;
    }
    m_state = State::Open;
}

MapPackageWriter::~MapPackageWriter()
{
    if (m_state != State::Finished) Abort();
}

void MapPackageWriter::Open(const PackageHeaderInfo& header, const SinkFactory& openSink)
{
    const SinkFactory open =
        openSink ? openSink : [](const fs::path& p) -> std::unique_ptr<ByteSink> { return std::make_unique<FileSink>(p); };
    m_qvm = open(m_qvmPath);
    m_qvo = open(m_qvoPath);
    m_qvp = open(m_qvpPath);
    m_scratchCreated = true;
    const auto bytes = EncodeHeader(MakePackageHeader(header, m_count));
    m_qvm->Write(bytes);
    m_qvo->Write(bytes);
}

void MapPackageWriter::CheckOpen() const
{
    if (m_state != State::Open) throw std::logic_error("MapPackageWriter used after Finish or a failure");
}

void MapPackageWriter::CheckTile(std::uint64_t size) const
{
    if (m_added >= m_count) throw Error(msg::MoreTilesThanDeclared(m_qvmPath.string(), m_count));
    if (size > kMaxTileDataSize) throw Error(msg::TileDataTooLarge(m_qvmPath.string(), m_added + std::uint64_t{1}, size));
    const std::uint64_t external = ExternalMapSize(m_count, m_dataBytes + size);
    if (external >= kPackageSizeLimit) throw Error(msg::PackageTooLarge(m_count, external));
}

void MapPackageWriter::WriteTile(std::int32_t x, std::int32_t y, std::int32_t level,
                                 std::span<const std::uint8_t> data)
{
    CheckTile(data.size());
    PackageTile tile;
    tile.x = x;
    tile.y = y;
    tile.level = level;
    tile.kind = kPackageTileKind;
    tile.size = static_cast<std::uint32_t>(data.size());
    tile.offset = static_cast<std::uint32_t>(m_dataBytes);  // current length of the .qvp
    m_qvm->Write(EncodeInternalRecord(tile));
    m_qvo->Write(EncodeExternalEntry(tile));
    m_qvm->Write(data);
    m_qvp->Write(data);
    m_dataBytes += data.size();
    ++m_added;
}

void MapPackageWriter::AddTile(std::int32_t x, std::int32_t y, std::int32_t level, std::span<const std::uint8_t> data)
{
    CheckOpen();
    try {
        WriteTile(x, y, level, data);
    } catch (...) {
        Abort();
        throw;
    }
}

void MapPackageWriter::AddTileFromFile(std::int32_t x, std::int32_t y, std::int32_t level, const fs::path& dataFile)
{
    CheckOpen();
    try {
        // Refuse what cannot be a tile before allocating for it.
        ReadHandle in(dataFile);
        const std::uint64_t size = LengthOf(in.Fd(), dataFile);
        CheckTile(size);
        m_fileBuffer.resize(static_cast<std::size_t>(size));
        ReadAt(in.Fd(), dataFile, 0, m_fileBuffer);
        WriteTile(x, y, level, m_fileBuffer);
    } catch (...) {
        Abort();
        throw;
    }
}

void MapPackageWriter::Finish()
{
    CheckOpen();
    try {
        if (m_added != m_count) throw Error(msg::FewerTilesThanDeclared(m_qvmPath.string(), m_count, m_added));
        m_qvp->Close();
        {
            ReadHandle scratch(m_qvpPath);
            std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(m_dataBytes, kCopyChunkSize)));
            for (std::uint64_t done = 0; done < m_dataBytes;) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(m_dataBytes - done, chunk.size()));
                const std::span<std::uint8_t> piece(chunk.data(), n);
                ReadAt(scratch.Fd(), m_qvpPath, done, piece);
                m_qvo->Write(piece);
                done += n;
            }
        }
        m_qvm->Close();
        m_qvo->Close();
    } catch (...) {
        Abort();
        throw;
    }
    m_qvm.reset();
    m_qvo.reset();
    m_qvp.reset();
    std::error_code ec;
    fs::remove(m_qvpPath, ec);
    m_scratchCreated = false;
    m_state = State::Finished;
}

void MapPackageWriter::Abort() noexcept
{
    m_state = State::Failed;
    m_qvm.reset();
    m_qvo.reset();
    m_qvp.reset();
    if (m_scratchCreated) {
        std::error_code ec;
        fs::remove(m_qvpPath, ec);
        m_scratchCreated = false;
    }
}

// ---- MapPackageReader ----

MapPackageReader::MapPackageReader(const fs::path& file, PackageLayout layout)
    : m_path(file), m_layout(layout), m_fd(OpenForReading(file))
{
    try {
        m_fileSize = LengthOf(m_fd, m_path);
        if (m_fileSize < kPackageHeaderSize) ThrowMalformed(m_path, msg::HeaderTruncated(m_fileSize));
        std::array<std::uint8_t, kPackageHeaderSize> bytes{};
        ReadExact(0, bytes);
        m_header = DecodeHeader(bytes);
        if (m_layout == PackageLayout::Internal)
            ReadInternalRecords();
        else
            ReadExternalIndex();
    } catch (...) {
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
}

MapPackageReader MapPackageReader::OpenChosen(const fs::path& chosen)
{
    const PackageFileChoice choice = ChoosePackageFile(chosen);
    return MapPackageReader(choice.file, choice.layout);
}

MapPackageReader::~MapPackageReader()
{
    if (m_fd >= 0) ::close(m_fd);
}

MapPackageReader::MapPackageReader(MapPackageReader&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_layout(other.m_layout),
      m_fd(std::exchange(other.m_fd, -1)),
      m_fileSize(other.m_fileSize),
      m_header(other.m_header),
      m_tiles(std::move(other.m_tiles)),
      m_dataBlockStart(other.m_dataBlockStart)
{
}

MapPackageReader& MapPackageReader::operator=(MapPackageReader&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_path = std::move(other.m_path);
        m_layout = other.m_layout;
        m_fd = std::exchange(other.m_fd, -1);
        m_fileSize = other.m_fileSize;
        m_header = other.m_header;
        m_tiles = std::move(other.m_tiles);
        m_dataBlockStart = other.m_dataBlockStart;
    }
    return *this;
}

void MapPackageReader::ReadExact(std::uint64_t position, std::span<std::uint8_t> out) const
{
    ReadAt(m_fd, m_path, position, out);
}

void MapPackageReader::ReadInternalRecords()
{
    const std::uint64_t count = m_header.tileCount;
    // Every record takes at least 17 bytes, so the file bounds what to reserve.
    m_tiles.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(count, (m_fileSize - kPackageHeaderSize) / kInternalRecordSize)));
    std::uint64_t pos = kPackageHeaderSize;
    std::array<std::uint8_t, kInternalRecordSize> bytes{};
    for (std::uint64_t number = 1; number <= count; ++number) {
        if (pos + kInternalRecordSize > m_fileSize)
            ThrowMalformed(m_path, msg::RecordPastEnd(kTileRecord, number, count, pos + kInternalRecordSize, m_fileSize));
        ReadExact(pos, bytes);
        pos += kInternalRecordSize;
        PackageTile tile = DecodeInternalRecord(bytes);
        if (tile.size > kMaxTileDataSize) ThrowMalformed(m_path, msg::TileSizeImplausible(kTileRecord, number, tile.size));
        if (pos + tile.size > m_fileSize)
            ThrowMalformed(m_path, msg::TileDataPastEnd(kTileRecord, number, tile.size, pos + tile.size, m_fileSize));
        tile.dataPosition = pos;
        pos += tile.size;
        m_tiles.push_back(tile);
    }
}

void MapPackageReader::ReadExternalIndex()
{
    const std::uint64_t count = m_header.tileCount;
    const std::uint64_t indexEnd = kPackageHeaderSize + kExternalEntrySize * count;
    if (indexEnd > m_fileSize) {
        const std::uint64_t number = (m_fileSize - kPackageHeaderSize) / kExternalEntrySize + 1;
        ThrowMalformed(m_path, msg::RecordPastEnd(kIndexEntry, number, count,
                                                  kPackageHeaderSize + kExternalEntrySize * number, m_fileSize));
    }
    m_dataBlockStart = indexEnd;
    const std::uint64_t blockBytes = m_fileSize - indexEnd;
    m_tiles.reserve(static_cast<std::size_t>(count));  // bounded by the file's length above

    std::vector<std::uint8_t> chunk;
    std::uint64_t number = 0;
    while (number < count) {
        const auto entries = static_cast<std::size_t>(std::min<std::uint64_t>(count - number, kIndexEntriesPerRead));
        chunk.resize(entries * kExternalEntrySize);
        ReadExact(kPackageHeaderSize + number * kExternalEntrySize, chunk);
        for (std::size_t k = 0; k < entries; ++k) {
            ++number;
            PackageTile tile = DecodeExternalEntry(
                std::span<const std::uint8_t, kExternalEntrySize>(chunk.data() + k * kExternalEntrySize, kExternalEntrySize));
            if (tile.size > kMaxTileDataSize)
                ThrowMalformed(m_path, msg::TileSizeImplausible(kIndexEntry, number, tile.size));
            if (std::uint64_t{tile.offset} + tile.size > blockBytes)
                ThrowMalformed(m_path, msg::TileDataOutsideBlock(number, tile.offset, tile.size, blockBytes));
            tile.dataPosition = indexEnd + tile.offset;
            m_tiles.push_back(tile);
        }
    }
}

std::vector<std::uint8_t> MapPackageReader::ReadTileData(std::size_t index) const
{
    std::vector<std::uint8_t> out;
    ReadTileData(index, out);
    return out;
}

void MapPackageReader::ReadTileData(std::size_t index, std::vector<std::uint8_t>& out) const
{
    const PackageTile& tile = m_tiles.at(index);
    out.resize(tile.size);
    ReadExact(tile.dataPosition, out);
}

std::vector<std::uint8_t> MapPackageReader::ReadTileHead(std::size_t index, std::size_t maxBytes) const
{
    const PackageTile& tile = m_tiles.at(index);
    std::vector<std::uint8_t> out(std::min<std::size_t>(tile.size, maxBytes));
    ReadExact(tile.dataPosition, out);
    return out;
}

} // namespace orvane::conversion
