// orvane info: a package's header and tile list, as the readers see them.

#include "Commands.hpp"

#include "InfoPrint.hpp"

#include "conversion/MapPackage.hpp"

#include <iostream>
#include <sstream>
#include <string>

namespace orvane::cli {

int RunInfo(Args& args)
{
    const bool json = args.Flag("--json");
    const auto files = args.Positionals();
    if (files.size() != 1) throw UsageError{"expected one PACKAGE"};
    // Everything is read and checked before anything is printed, so a
    // malformed package prints only its error.
    const conversion::MapPackageReader reader = conversion::MapPackageReader::OpenChosen(files[0]);
    std::string text;
    {
        std::ostringstream out;
        if (json)
            PrintInfoJson(reader, out);
        else
            PrintInfoText(reader, out);
        text = std::move(out).str();
    }
    std::cout << text << std::flush;
    return std::cout ? kExitOk : kExitFailure;
}

} // namespace orvane::cli
