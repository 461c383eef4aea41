// orvane convert / export-gm / import-map: the conversion pipeline on the
// command line, with a progress bar on the terminal and Ctrl-C as Cancel.

#include "Commands.hpp"
#include "TerminalProgress.hpp"

#include "conversion/CacheLayout.hpp"
#include "conversion/MakeMap.hpp"
#include "geotiff/ExportGeoTiffCalibration.hpp"
#include "util/Error.hpp"

#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace orvane::cli {

namespace fs = std::filesystem;
using conversion::ConversionSettings;
using conversion::MakeMapRequest;
using conversion::MakeMapTarget;

namespace {

struct CommonOptions {
    ConversionSettings settings;
    bool quiet = false;
    std::string cache;
    int layer = 0;
};

/// Parses the options shared by the three commands; stops at the first
/// positional argument.
CommonOptions ParseOptions(Args& args, bool takesLayer)
{
    CommonOptions o;
    std::string v;
    while (!args.Empty()) {
        if (args.Option("--quality", v)) o.settings.quality = Args::IntValue("--quality", v, 0, 100);
        else if (args.Option("--levels", v)) o.settings.levelCount = Args::IntValue("--levels", v, 1, 6);
        else if (args.Flag("--png")) o.settings.png = true;
        else if (args.Option("--fit", v)) o.settings.mapFit = Args::IntValue("--fit", v, 0, 2);
        else if (args.Flag("--no-ignore-border")) o.settings.ignoreBorder = false;
        else if (args.Option("--dx", v)) o.settings.dx = Args::IntValue("--dx", v, -1000000, 1000000);
        else if (args.Option("--dy", v)) o.settings.dy = Args::IntValue("--dy", v, -1000000, 1000000);
        else if (args.Flag("--keep-tmp")) o.settings.leaveTmpTiles = true;
        else if (args.Flag("--pause")) o.settings.pauseAtBuild = true;
        else if (args.Option("--threads", v)) o.settings.threads = Args::IntValue("--threads", v, 1, 256);
        else if (args.Option("--max-pixels", v)) {
            const auto n = Args::IntValue("--max-pixels", v, 1, 2147483647);
            o.settings.maxPixels = static_cast<std::uint64_t>(n);
        } else if (args.Flag("--quiet") || args.Flag("-q")) o.quiet = true;
        else if (takesLayer && args.Option("--layer", v)) o.layer = Args::IntValue("--layer", v, 1, 2);
        else if (takesLayer && args.Option("--cache", v)) o.cache = v;
        else break;
    }
    return o;
}

int Run(const MakeMapRequest& request, const CommonOptions& o)
{
    TerminalProgress progress(o.quiet);
    const conversion::MakeMapResult r = conversion::MakeMap(request, o.settings, progress);
    progress.Finish();
    std::cout << "Used levels from " << r.baseLevel << " to " << r.lowLevel << "; "
              << r.tilesWritten << " tiles written";
    if (r.blankTiles > 0) std::cout << ", " << r.blankTiles << " blank tiles skipped";
    std::cout << "\n";
    if (request.target == MakeMapTarget::Package) {
        std::cout << "When correcting map offset you must use M=" << r.baseLevel << "\n";
        std::cout << "Wrote " << r.qvmFile.string() << " and " << r.qvoFile.string() << "\n";
    }
    return kExitOk;
}

} // namespace

int RunConvert(Args& args)
{
    const CommonOptions o = ParseOptions(args, false);
    const auto files = args.Positionals();
    if (files.size() != 2) throw UsageError{"expected SOURCE and OUTPUT"};
    MakeMapRequest request;
    request.target = MakeMapTarget::Package;
    request.inFile = files[0];
    request.geoTiffExporter = geotiff::DefaultGeoTiffExporter();
    request.outFile = files[1];
    return Run(request, o);
}

int RunExportGm(Args& args)
{
    const CommonOptions o = ParseOptions(args, false);
    const auto files = args.Positionals();
    if (files.size() != 2) throw UsageError{"expected SOURCE and FOLDER"};
    MakeMapRequest request;
    request.target = MakeMapTarget::Cache;
    request.inFile = files[0];
    request.geoTiffExporter = geotiff::DefaultGeoTiffExporter();
    request.folder = files[1];
    return Run(request, o);
}

int RunImportMap(Args& args)
{
    const CommonOptions o = ParseOptions(args, true);
    const auto files = args.Positionals();
    if (files.size() != 1) throw UsageError{"expected one SOURCE"};
    if (o.layer == 0) throw UsageError{"--layer 1|2 is required"};
    MakeMapRequest request;
    request.target = MakeMapTarget::Cache;
    request.inFile = files[0];
    request.geoTiffExporter = geotiff::DefaultGeoTiffExporter();
    request.customMap = o.layer;
    request.cacheFolder = conversion::DefaultCacheFolder(ProgramDir(), o.cache);
    std::cout << "Tile cache: " << request.cacheFolder.string() << "\n";
    return Run(request, o);
}

} // namespace orvane::cli
