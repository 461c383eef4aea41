// The GeoTIFF component: the input is written as a .tif and opened through
// the component's C entry points (its sources are linked into this target,
// so no library is loaded at run time); every operation is asked, then the
// calibration export runs on the same file and its calibration file is read
// back as the conversion reads it.

#include "FuzzSupport.hpp"

#include "qvegeotiff.h"

#include "conversion/TOziCalibration.hpp"
#include "geotiff/ExportGeoTiffCalibration.hpp"
#include "util/Error.hpp"

#include <array>
#include <cstdlib>
#include <memory>

namespace {

using orvane::geotiff::ComResult;
using orvane::geotiff::ICQVEGeoTIFF;

void Check(qvegeotiff_result result)
{
    if (result != QVEGEOTIFF_S_OK) std::abort();  // every operation succeeds on a valid object
}

void AskComponent(const std::string& path)
{
    qvegeotiff_object* object = nullptr;
    Check(qvegeotiff_create(QVEGEOTIFF_CLSID, &object));
    qvegeotiff_bool opened = QVEGEOTIFF_FALSE;
    Check(qvegeotiff_OpenTIFF(object, path.c_str(), &opened));
    if (opened == QVEGEOTIFF_TRUE) {
        std::int32_t width = -7;
        std::int32_t height = -7;
        Check(qvegeotiff_getSize(object, &width, &height));
        qvegeotiff_bool answer = QVEGEOTIFF_FALSE;
        Check(qvegeotiff_isOrvaneCompatible(object, &answer));
        Check(qvegeotiff_isPulkovo1942(object, &answer));
        Check(qvegeotiff_isWebMercator(object, &answer));
        for (const auto& [x, y] : std::array<std::array<double, 2>, 4>{
                 {{0, 0}, {double(width), 0}, {double(width), double(height)}, {0.5, 1e300}}}) {
            double px = x;
            double py = y;
            Check(qvegeotiff_getProjectedXY(object, &px, &py));
        }
        Check(qvegeotiff_Close(object));
    }
    // Operations without an open file, and a second close.
    std::int32_t width = 0;
    std::int32_t height = 0;
    Check(qvegeotiff_getSize(object, &width, &height));
    Check(qvegeotiff_Close(object));
    qvegeotiff_release(object);
}

/// The program's interface over the linked-in entry points, for the export.
class LinkedComponent final : public ICQVEGeoTIFF {
public:
    LinkedComponent() { Check(qvegeotiff_create(QVEGEOTIFF_CLSID, &m_object)); }
    ~LinkedComponent() override { qvegeotiff_release(m_object); }
    LinkedComponent(const LinkedComponent&) = delete;
    LinkedComponent& operator=(const LinkedComponent&) = delete;

    ComResult OpenTIFF(const std::string& filename, bool& res) override
    {
        qvegeotiff_bool b = QVEGEOTIFF_FALSE;
        const ComResult r = qvegeotiff_OpenTIFF(m_object, filename.c_str(), &b);
        res = b != QVEGEOTIFF_FALSE;
        return r;
    }
    ComResult getSize(std::int32_t& x_size, std::int32_t& y_size) override
    {
        return qvegeotiff_getSize(m_object, &x_size, &y_size);
    }
    ComResult Close() override { return qvegeotiff_Close(m_object); }
    ComResult getProjectedXY(double& x, double& y) override { return qvegeotiff_getProjectedXY(m_object, &x, &y); }
    ComResult isOrvaneCompatible(bool& res) override { return Ask(qvegeotiff_isOrvaneCompatible, res); }
    ComResult isPulkovo1942(bool& res) override { return Ask(qvegeotiff_isPulkovo1942, res); }
    ComResult isWebMercator(bool& res) override { return Ask(qvegeotiff_isWebMercator, res); }

private:
    ComResult Ask(qvegeotiff_result (*question)(qvegeotiff_object*, qvegeotiff_bool*), bool& res)
    {
        qvegeotiff_bool b = QVEGEOTIFF_FALSE;
        const ComResult r = question(m_object, &b);
        res = b != QVEGEOTIFF_FALSE;
        return r;
    }

    qvegeotiff_object* m_object = nullptr;
};

void Export(const std::filesystem::path& tiff)
{
    try {
        const auto mapFile = orvane::geotiff::ExportGeoTiffCalibration(
            tiff, [] { return std::unique_ptr<ICQVEGeoTIFF>(std::make_unique<LinkedComponent>()); });
        orvane::conversion::TOziCalibration calibration;
        calibration.LoadFromFile(mapFile);
        calibration.CheckProjection();
        calibration.CheckDatum();
        (void)calibration.LonScale();
        (void)calibration.LatScale();
        std::filesystem::remove(mapFile);
    } catch (const orvane::Error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto tiff = orvane::fuzz::ScratchDir() / "fuzz.tif";
    orvane::fuzz::WriteWholeFile(tiff, {data, size});
    AskComponent(tiff.string());
    Export(tiff);
    return 0;
}
