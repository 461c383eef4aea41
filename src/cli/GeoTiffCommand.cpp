// orvane geotiff-map FILE.tif: writes the GeoTIFF's calibration file
// (FILE_QV.MAP beside it) and prints its path, as the main window's
// "Convert GeoTIFF to OziExplorer map" action does.

#include "Commands.hpp"

#include "geotiff/ExportGeoTiffCalibration.hpp"
#include "util/Messages.hpp"

#include <iostream>

namespace orvane::cli {

int RunGeoTiffMap(Args& args)
{
    const auto files = args.Positionals();
    if (files.size() != 1) throw UsageError{"expected one GeoTIFF file"};
    const std::filesystem::path map = geotiff::ExportGeoTiffCalibration(files[0]);
    std::cout << msg::MapFileCreated(map.string()) << "\n";
    return kExitOk;
}

} // namespace orvane::cli
