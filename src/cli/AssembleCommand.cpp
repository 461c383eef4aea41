// orvane assemble: several packages into one.

#include "Commands.hpp"

#include "conversion/AssembleMaps.hpp"
#include "util/Messages.hpp"

#include <filesystem>
#include <iostream>

namespace orvane::cli {

int RunAssemble(Args& args)
{
    const auto names = args.Positionals();
    if (names.size() < 2) throw UsageError{"expected OUTPUT and at least one INPUT"};
    const std::vector<std::filesystem::path> inputs(names.begin() + 1, names.end());
    const conversion::AssembleResult r = conversion::AssembleMaps(inputs, names.front());
    std::cout << msg::AssembledMapContains(r.keptTiles, r.totalTiles) << "\n"
              << "Wrote " << r.qvmFile.string() << " and " << r.qvoFile.string() << "\n";
    return kExitOk;
}

} // namespace orvane::cli
