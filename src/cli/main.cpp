// orvane: the command-line face of the core library.

#include "Commands.hpp"

#include "util/Error.hpp"

#include <array>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace orvane::cli {
namespace {

constexpr std::array kCommands = {
    Command{"convert",
            "orvane convert [--quality N] [--levels N] [--png] [--fit 0|1|2] [--no-ignore-border] [--dx N] [--dy N] "
            "[--keep-tmp] [--pause] [--threads N] [--max-pixels N] [--quiet] SOURCE OUTPUT",
            "convert a calibrated map (.map or .tif) into a package OUTPUT.qvm + OUTPUT.qvo", RunConvert},
    Command{"export-gm", "orvane export-gm [convert's options] SOURCE FOLDER",
            "convert a map into the GoogleMV cache below FOLDER (Cache/mt/LL/<key>.png, always PNG)", RunExportGm},
    Command{"import-map", "orvane import-map --layer 1|2 [--cache DIR] [convert's options] SOURCE",
            "convert a map into custom layer 1 (MP/SUR) or 2 (MP/MAP) of the tile cache", RunImportMap},
    Command{"assemble", "orvane assemble OUTPUT INPUT...",
            "assemble packages (.qvm / .qvo, earlier inputs win) into OUTPUT.qvm + OUTPUT.qvo", RunAssemble},
    Command{"import", "orvane import --layer 1|2 [--cache DIR] PACKAGE",
            "copy a package's tiles into custom layer 1 (MP/SUR) or 2 (MP/MAP) of the tile cache", RunImport},
    Command{"geotiff-map", "orvane geotiff-map FILE.tif",
            "write FILE_QV.MAP, the OziExplorer calibration of a GeoTIFF, beside it", RunGeoTiffMap},
    Command{"gps", "orvane gps DEVICE[:BAUD]",
            "print one line per GPS fix (latitude longitude speed km/h course degrees) until Ctrl-C", RunGps},
    Command{"plan",
            "orvane plan add PLAN --top LAT --left LON --bottom LAT --right LON --level N --map-type MT | "
            "orvane plan list PLAN",
            "append a region to a plan file (.mapp; created when missing), or list its regions", RunPlan},
    Command{"compile", "orvane compile [--offline] [--cache DIR] [--quiet] PLAN OUTPUT",
            "compile the regions of a plan file from the tile cache, downloading missing tiles (not with "
            "--offline), into OUTPUT.qvm + OUTPUT.qvo",
            RunCompile},
    Command{"tile-url", "orvane tile-url MT X Y LEVEL",
            "print the download address of one tile of a tile source (map type MT)", RunTileUrl},
    Command{"info", "orvane info [--json] PACKAGE",
            "print a package's header and tile list (.qvm internal, otherwise external layout)", RunInfo},
};

void PrintUsage(std::ostream& out)
{
    out << "Usage: orvane COMMAND [OPTIONS] ARGS...\n"
           "       orvane --help | --version\n\nCommands:\n";
    for (const auto& c : kCommands) out << "  " << c.usage << "\n      " << c.summary << "\n";
}

const Command* FindCommand(const std::string& name)
{
    for (const auto& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

} // namespace
} // namespace orvane::cli

int main(int argc, char** argv)
{
    using namespace orvane::cli;
    std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    if (all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (all[0] == "--version") {
        std::cout << "orvane " << ORVANE_VERSION << "\n";
        return kExitOk;
    }
    const Command* command = FindCommand(all[0]);
    if (command == nullptr) {
        std::cerr << "orvane: unknown command \"" << all[0] << "\"\n\n";
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    Args args(std::vector<std::string>(all.begin() + 1, all.end()));
    if (!args.Empty() && (args.Peek() == "--help" || args.Peek() == "-h")) {
        std::cout << "Usage: " << command->usage << "\n" << command->summary << "\n";
        return kExitOk;
    }
    try {
        return command->run(args);
    } catch (const UsageError& e) {
        std::cerr << "orvane " << command->name << ": " << e.message << "\nUsage: " << command->usage << "\n";
        return kExitUsage;
    } catch (const orvane::Cancelled&) {
        return kExitCancelled;
    } catch (const orvane::Error& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "orvane: " << e.what() << "\n";
        return kExitFailure;
    }
}
