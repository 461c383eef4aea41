#pragma once

// Texts of map package writing and reading.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

inline std::string CannotCreatePackageFile(const std::string& path, const std::string& reason)
{
    return "Cannot create file \"" + path + "\": " + reason;
}

/// Reason given when a file ends before the bytes its index promised.
inline constexpr std::string_view kUnexpectedEndOfFile = "unexpected end of file";

// ---- writing -------------------------------------------------------------

/// A package is refused once its external map would reach 2 GiB.
inline std::string PackageTooLarge(std::uint64_t tileCount, std::uint64_t fileBytes)
{
    return "The map package is too large: " + std::to_string(tileCount) + " tiles need an external map of " +
           std::to_string(fileBytes) +
           " bytes or more, but a package must stay below 2 GiB (2147483648 bytes). "
           "Use fewer levels or a smaller map.";
}

inline std::string TileDataTooLarge(const std::string& path, std::uint64_t tileNumber, std::uint64_t size)
{
    return "Cannot write tile " + std::to_string(tileNumber) + " to \"" + path + "\": its image data of " +
           std::to_string(size) + " bytes exceed the limit of 67108864 bytes (64 MiB) per tile.";
}

inline std::string MoreTilesThanDeclared(const std::string& path, std::uint64_t declared)
{
    return "Cannot write \"" + path + "\": the package was declared with " + std::to_string(declared) +
           " tiles, and one more was given.";
}

inline std::string FewerTilesThanDeclared(const std::string& path, std::uint64_t declared, std::uint64_t written)
{
    return "Cannot finish \"" + path + "\": the package was declared with " + std::to_string(declared) +
           " tiles, but only " + std::to_string(written) + " were given.";
}

// ---- reading -------------------------------------------------------------

inline std::string MalformedPackage(const std::string& path, const std::string& detail)
{
    return "Malformed map package \"" + path + "\": " + detail;
}

inline std::string HeaderTruncated(std::uint64_t fileBytes)
{
    return "the 9-byte header is cut short (the file has " + std::to_string(fileBytes) + " bytes).";
}

/// `what` is "tile record" (internal map) or "index entry" (external map).
inline std::string RecordPastEnd(std::string_view what, std::uint64_t number, std::uint64_t count,
                                 std::uint64_t endByte, std::uint64_t fileBytes)
{
    return std::string(what) + " " + std::to_string(number) + " of " + std::to_string(count) +
           " runs past the end of the file (it would end at byte " + std::to_string(endByte) +
           ", the file has " + std::to_string(fileBytes) + " bytes).";
}

inline std::string TileDataPastEnd(std::string_view what, std::uint64_t number, std::uint64_t size,
                                   std::uint64_t endByte, std::uint64_t fileBytes)
{
    return "the " + std::to_string(size) + " data bytes of " + std::string(what) + " " + std::to_string(number) +
           " run past the end of the file (they would end at byte " + std::to_string(endByte) +
           ", the file has " + std::to_string(fileBytes) + " bytes).";
}

inline std::string TileDataOutsideBlock(std::uint64_t number, std::uint64_t offset, std::uint64_t size,
                                        std::uint64_t blockBytes)
{
    return "the data of index entry " + std::to_string(number) + " (offset " + std::to_string(offset) + ", " +
           std::to_string(size) + " bytes) lie outside the data block of " + std::to_string(blockBytes) +
           " bytes.";
}

inline std::string TileSizeImplausible(std::string_view what, std::uint64_t number, std::uint64_t size)
{
    return std::string(what) + " " + std::to_string(number) + " declares " + std::to_string(size) +
           " data bytes, more than the 67108864 bytes (64 MiB) a tile may hold.";
}

} // namespace orvane::msg
