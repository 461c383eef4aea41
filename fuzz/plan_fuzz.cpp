// Plan files: the input is decoded as a whole plan, loaded from a file as
// the region list loads it, and the decoded regions are written and read
// back.

#include "FuzzSupport.hpp"

#include "mapview/PlanFile.hpp"
#include "util/Error.hpp"

#include <cstdlib>

namespace {

using orvane::mapview::TCompileRegion;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    std::vector<TCompileRegion> regions;
    bool decoded = false;
    try {
        regions = orvane::mapview::DecodePlan(orvane::fuzz::AsText(bytes));
        decoded = true;
    } catch (const orvane::Error&) {
    }

    // Loading must agree with decoding and leave the list alone on failure.
    const auto file = orvane::fuzz::ScratchDir() / "fuzz.mapp";
    orvane::fuzz::WriteWholeFile(file, bytes);
    std::vector<TCompileRegion> loaded(1);
    try {
        orvane::mapview::LoadPlan(file, loaded);
        if (!decoded || loaded.size() != regions.size()) std::abort();
    } catch (const orvane::Error&) {
        if (decoded || loaded.size() != 1) std::abort();
    }

    // What was read is written again as a plan the reader accepts.
    if (decoded) {
        for (const auto& region : regions) {
            const auto record = orvane::mapview::EncodeCompileRegion(region);
            (void)orvane::mapview::DecodeCompileRegion(record);
        }
        const std::string again = orvane::mapview::EncodePlan(regions);
        if (orvane::mapview::DecodePlan(again).size() != regions.size()) std::abort();
    }
    return 0;
}
