// Map packages: the input is written as an internal map (.qvm) and as an
// external map (.qvo); each is opened the way import and assembly open it,
// printed as orvane info prints it, and every tile's data is read.

#include "FuzzSupport.hpp"
#include "InfoPrint.hpp"

#include "conversion/MapPackage.hpp"
#include "util/Error.hpp"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

using orvane::conversion::MapPackageReader;
using orvane::conversion::PackageLayout;

void ReadPackage(const std::filesystem::path& chosen, PackageLayout expected)
{
    try {
        const MapPackageReader reader = MapPackageReader::OpenChosen(chosen);
        if (reader.Layout() != expected) std::abort();
        if (reader.Tiles().size() != reader.Header().tileCount) std::abort();
        std::ostringstream text;
        orvane::cli::PrintInfoText(reader, text);
        std::ostringstream json;
        orvane::cli::PrintInfoJson(reader, json);
        std::vector<std::uint8_t> data;
        for (std::size_t i = 0; i < reader.Tiles().size(); ++i) {
            reader.ReadTileData(i, data);
            if (data.size() != reader.Tiles()[i].size) std::abort();
        }
    } catch (const orvane::Error&) {
        // A malformed package is refused with a message: the expected outcome.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const auto& dir = orvane::fuzz::ScratchDir();
    const auto internal = dir / "fuzz.qvm";
    const auto external = dir / "fuzz.qvo";
    orvane::fuzz::WriteWholeFile(internal, bytes);
    orvane::fuzz::WriteWholeFile(external, bytes);
    ReadPackage(internal, PackageLayout::Internal);
    ReadPackage(dir / "fuzz.dat", PackageLayout::External);  // the import's rule picks fuzz.qvo
    return 0;
}
