#pragma once

// Assembly of several packages into one: every tile of every input, in list
// order, passes through a numbered temporary file in "tmptiles" beside the
// output; tiles that occur more than once keep their earliest copy.

#include "conversion/MapPackage.hpp"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace orvane::conversion {

/// One tile read from an input package.
struct TTileInfo {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t level = 0;
    std::uint8_t kind = 0;        // as read
    std::uint32_t size = 0;       // data size in bytes
    std::uint32_t offset = 0;     // external map: data offset as read; internal map: 0
    std::uint64_t dataStart = 0;  // external map: 9 + 21 x N of its input; internal map: 0
    std::string tempFile;         // the numbered temporary file of the tile's data
    bool duplicate = false;       // an earlier entry has the same x, y, level and kind
};

/// Every tile read from all inputs, in reading order.
using TTileInfoArray = std::vector<TTileInfo>;

struct AssembleResult {
    std::uint64_t keptTiles = 0;   // tiles written: the entries not marked as duplicates
    std::uint64_t totalTiles = 0;  // entries read from all inputs
    std::size_t inputsRead = 0;    // list entries with extension .qvm or .qvo
    PackageHeader header;          // as written to both layouts
    std::filesystem::path qvmFile;
    std::filesystem::path qvoFile;
};

/// Assembles `files` (in list order; ".qvm" read as internal map, ".qvo" as
/// external map, letter case ignored, anything else skipped) into the
/// package `outFile` (its extension is replaced). The header carries the
/// centre of the last input read, encoded again by truncation, and the
/// smallest start level of all inputs; with no input read it is centre
/// 0, 0 and start level 1.
///
/// Every input is opened and checked before anything is written, so a
/// missing or malformed input throws Error naming it while the output files
/// of an earlier run stand untouched and no temporary file exists. Any later
/// failure deletes the temporary files of this run; one while writing the
/// output leaves the partial .qvm and .qvo (the .qvp never stays). The
/// "tmptiles" folder itself stays.
///
/// The caller shows the closing text, msg::AssembledMapContains(keptTiles,
/// totalTiles), and opens the output folder when the user started the job.
AssembleResult AssembleMaps(const std::vector<std::filesystem::path>& files, const std::filesystem::path& outFile);

/// Name of the temporary file number `counter`: at least six digits,
/// zero-padded, no extension.
std::string AssemblyTempName(std::uint64_t counter);

} // namespace orvane::conversion
