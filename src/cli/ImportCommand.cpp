// orvane import: a package's tiles into custom layer 1 or 2 of the tile cache.

#include "Commands.hpp"

#include "conversion/CacheLayout.hpp"
#include "conversion/ImportPackage.hpp"
#include "util/NumberText.hpp"

#include <filesystem>
#include <iostream>

namespace orvane::cli {

namespace fs = std::filesystem;

int RunImport(Args& args)
{
    int layer = 0;
    std::string cache;
    std::string v;
    while (!args.Empty()) {
        if (args.Option("--layer", v)) layer = Args::IntValue("--layer", v, 1, 2);
        else if (args.Option("--cache", v)) cache = v;
        else break;
    }
    const auto files = args.Positionals();
    if (files.size() != 1) throw UsageError{"expected one PACKAGE"};
    if (layer == 0) throw UsageError{"--layer 1|2 is required"};

    const fs::path cacheFolder = conversion::DefaultCacheFolder(ProgramDir(), cache);
    std::cout << "Tile cache: " << cacheFolder.string() << "\n";
    const conversion::ImportResult r = conversion::ImportPackage(files.front(), layer, cacheFolder);
    std::cout << "Imported " << r.tilesWritten << " tiles from " << r.file.string() << " ("
              << conversion::PackageLayoutName(r.layout) << " map) into custom layer " << layer << " ("
              << conversion::CustomLayerFolder(cacheFolder, layer).string() << ")\n"
              << "Centre: latitude " << FormatFixed(r.centreLat, 6) << ", longitude " << FormatFixed(r.centreLon, 6)
              << "\n"
              << "Start level: " << r.startLevel << "\n";
    return kExitOk;
}

} // namespace orvane::cli
