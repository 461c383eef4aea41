#pragma once

// The printing of orvane info, apart from the command so that other callers
// (the package fuzz target) print exactly what the command prints.

#include "conversion/MapPackage.hpp"

#include <ostream>

namespace orvane::cli {

/// Header and tile list as "key: value" lines, one line per tile.
void PrintInfoText(const conversion::MapPackageReader& reader, std::ostream& out);
/// The same as one JSON object.
void PrintInfoJson(const conversion::MapPackageReader& reader, std::ostream& out);

} // namespace orvane::cli
