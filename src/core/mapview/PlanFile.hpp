#pragma once

// The region record of the compile list and the plan file (.mapp) that
// saves the list. Both are little-endian:
//
//   record (296 bytes): top lat f64 @0, left lon f64 @8, bottom lat f64 @16,
//     right lon f64 @24, level i32 @32, map type u8 @36, padding @37..39,
//     caption length u8 @40, caption (single-byte code page) @41..290,
//     padding @291..295. Padding is written as zeros and ignored on reading.
//   plan: count i32, then per region: record size i32 (296 when written)
//     followed by that many record bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::mapview {

inline constexpr std::size_t kCompileRegionSize = 296;
inline constexpr std::size_t kMaxCaptionLength = 250;

/// One entry of the compile list. The caption is held as UTF-8; it is
/// stored in code page 1251, cut to 250 bytes.
struct TCompileRegion {
    double topLat = 0;
    double leftLon = 0;
    double bottomLat = 0;
    double rightLon = 0;
    std::int32_t level = 0;
    std::uint8_t mapType = 0;
    std::string caption;

    bool operator==(const TCompileRegion&) const = default;
};

using CompileRegionBytes = std::array<std::uint8_t, kCompileRegionSize>;

CompileRegionBytes EncodeCompileRegion(const TCompileRegion& region);

/// Decodes a record of at most 296 bytes (asserted). A shorter record reads
/// as if the missing tail were zeros, and its caption stops where its bytes
/// do; a caption length above 250 reads as 250.
TCompileRegion DecodeCompileRegion(std::span<const std::uint8_t> bytes);

/// The whole plan file.
std::string EncodePlan(std::span<const TCompileRegion> regions);

/// Decodes a whole plan file. Refuses (throws Error with a text of
/// msg/MapView.hpp) a file too short for its count, a negative count, a
/// record size below 0 or above 296, and a count or record sizes that run
/// past the end. Bytes after the last record are ignored.
std::vector<TCompileRegion> DecodePlan(std::string_view bytes);

/// The name a plan is saved under: `chosen` with its extension replaced by
/// ".mapp".
std::filesystem::path PlanFileName(const std::filesystem::path& chosen);

/// Writes the plan to PlanFileName(chosen) through a scratch file beside it,
/// so a failed write leaves an existing plan as it was. Returns the name
/// written.
std::filesystem::path SavePlan(const std::filesystem::path& chosen, std::span<const TCompileRegion> regions);

/// Reads the plan file `path` (as named, no extension change) and, only
/// when it decodes, replaces `regions` with its list. On any failure throws
/// Error and leaves `regions` unchanged.
void LoadPlan(const std::filesystem::path& path, std::vector<TCompileRegion>& regions);

} // namespace orvane::mapview
