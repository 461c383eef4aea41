// orvane plan add PLAN --top LAT --left LON --bottom LAT --right LON --level N --map-type MT
// orvane plan list PLAN
//
// The compile list of the "Compile" page kept in a plan file (.mapp): add
// appends one region as the page's "+" does (edges clamped and rounded as
// the region edits show them), creating the plan when it is missing; list
// prints one line per region.

#include "Commands.hpp"

#include "mapview/PlanFile.hpp"
#include "mapview/RegionSize.hpp"
#include "util/Error.hpp"
#include "util/NumberText.hpp"

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;
using mapview::TCompileRegion;

double DegreesValue(std::string_view option, const std::string& value)
{
    const auto v = ParseDouble(value);
    if (!v) throw UsageError{"option " + std::string(option) + " takes a decimal number of degrees, not \"" + value + "\""};
    return *v;
}

/// A map type number 0 to 255, or the caption of a layer selector item.
std::uint8_t MapTypeValue(const std::string& value)
{
    if (const auto v = ParseInt32(value); v && *v >= 0 && *v <= 255) return static_cast<std::uint8_t>(*v);
    for (const auto& item : mapview::kMapTypeItems)
        if (value == item.caption) return item.mapType;
    std::string names;
    for (const auto& item : mapview::kMapTypeItems) names += std::string(names.empty() ? "" : ", ") + "\"" + std::string(item.caption) + "\"";
    throw UsageError{"option --map-type takes a map type from 0 to 255 or one of " + names + ", not \"" + value + "\""};
}

int RunPlanAdd(Args& args)
{
    std::optional<double> top, left, bottom, right;
    std::optional<int> level;
    std::optional<std::uint8_t> mapType;
    std::vector<std::string> positionals;
    while (!args.Empty()) {
        std::string value;
        if (args.Option("--top", value)) top = DegreesValue("--top", value);
        else if (args.Option("--left", value)) left = DegreesValue("--left", value);
        else if (args.Option("--bottom", value)) bottom = DegreesValue("--bottom", value);
        else if (args.Option("--right", value)) right = DegreesValue("--right", value);
        else if (args.Option("--level", value))
            level = Args::IntValue("--level", value, mapview::kMinRegionLevel, mapview::kMaxRegionLevel);
        else if (args.Option("--map-type", value)) mapType = MapTypeValue(value);
        else if (args.Peek().size() > 1 && args.Peek()[0] == '-') throw UsageError{"unknown option " + args.Peek()};
        else positionals.push_back(args.Next());
    }
    if (positionals.size() != 1) throw UsageError{"expected one PLAN"};
    for (const auto& [name, given] : {std::pair{"--top", top.has_value()}, std::pair{"--left", left.has_value()},
                                      std::pair{"--bottom", bottom.has_value()}, std::pair{"--right", right.has_value()},
                                      std::pair{"--level", level.has_value()}, std::pair{"--map-type", mapType.has_value()}})
        if (!given) throw UsageError{"option " + std::string(name) + " is required"};

    const fs::path plan = mapview::PlanFileName(positionals[0]);
    std::vector<TCompileRegion> regions;
    std::error_code ec;
    if (fs::exists(plan, ec)) mapview::LoadPlan(plan, regions); // a damaged plan stops here, untouched
    const TCompileRegion region =
        mapview::MakeCompileRegion({*top, *left, *bottom, *right}, *level, *mapType, mapview::LayerName(*mapType));
    regions.push_back(region);
    mapview::SavePlan(plan, regions);
    std::cout << plan.string() << ": region " << regions.size() << " added: " << region.caption << "\n";
    return kExitOk;
}

/// One region: its edges as the region edits show them, level, map type,
/// the texts of lbMapDim and lbTileCount, and last its caption.
std::string RegionLine(std::size_t index, const TCompileRegion& r)
{
    std::string mapDim = "?";
    std::string tileCount = "?";
    try {
        const auto size = mapview::UpdateRegionSize({r.topLat, r.leftLon, r.bottomLat, r.rightLon}, r.level);
        mapDim = size.mapDimText;
        tileCount = size.tileCountText;
    } catch (const Error&) {
        // a level no selector offers: the size stays unknown
    }
    return std::to_string(index) + ": top=" + mapview::RegionEditText(r.topLat) +
           " left=" + mapview::RegionEditText(r.leftLon) + " bottom=" + mapview::RegionEditText(r.bottomLat) +
           " right=" + mapview::RegionEditText(r.rightLon) + " level=" + std::to_string(r.level) +
           " map-type=" + std::to_string(r.mapType) + " size=" + mapDim + " tiles=" + tileCount +
           " caption=" + r.caption + "\n";
}

int RunPlanList(Args& args)
{
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw UsageError{"expected one PLAN"};
    std::vector<TCompileRegion> regions;
    mapview::LoadPlan(positionals[0], regions);
    for (std::size_t i = 0; i < regions.size(); ++i) std::cout << RegionLine(i + 1, regions[i]);
    return kExitOk;
}

} // namespace

int RunPlan(Args& args)
{
    if (args.Empty()) throw UsageError{"expected add or list"};
    const std::string action = args.Next();
    if (action == "add") return RunPlanAdd(args);
    if (action == "list") return RunPlanList(args);
    throw UsageError{"unknown action \"" + action + "\"; expected add or list"};
}

} // namespace orvane::cli
