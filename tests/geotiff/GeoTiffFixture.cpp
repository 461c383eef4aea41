#include "geotiff/GeoTiffFixture.hpp"

#include "conversion/MapFixture.hpp"

#include <geotiffio.h>
#include <geovalues.h>
#include <xtiffio.h>


#include <cmath>
#include <stdexcept>

namespace orvane::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

void SetKeys(GTIF* g, const GeoKeys& k)
{
    GTIFKeySet(g, GTModelTypeGeoKey, TYPE_SHORT, 1, k.model);
    GTIFKeySet(g, GTRasterTypeGeoKey, TYPE_SHORT, 1, k.rasterType);
    if (k.pcs != 0) GTIFKeySet(g, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, k.pcs);
    if (k.gcs != 0) GTIFKeySet(g, GeographicTypeGeoKey, TYPE_SHORT, 1, k.gcs);
    if (k.sphere > 0) {
        GTIFKeySet(g, GeographicTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
        GTIFKeySet(g, GeogGeodeticDatumGeoKey, TYPE_SHORT, 1, KvUserDefined);
        GTIFKeySet(g, GeogEllipsoidGeoKey, TYPE_SHORT, 1, KvUserDefined);
        GTIFKeySet(g, GeogSemiMajorAxisGeoKey, TYPE_DOUBLE, 1, k.sphere);
        GTIFKeySet(g, GeogSemiMinorAxisGeoKey, TYPE_DOUBLE, 1, k.sphere);
    }
    if (k.coordTrans != 0) {
        GTIFKeySet(g, ProjectionGeoKey, TYPE_SHORT, 1, KvUserDefined);
        GTIFKeySet(g, ProjCoordTransGeoKey, TYPE_SHORT, 1, k.coordTrans);
        GTIFKeySet(g, ProjLinearUnitsGeoKey, TYPE_SHORT, 1, k.linearUnit);
        GTIFKeySet(g, ProjNatOriginLatGeoKey, TYPE_DOUBLE, 1, 0.0);
        GTIFKeySet(g, ProjNatOriginLongGeoKey, TYPE_DOUBLE, 1, k.centralMeridian);
        GTIFKeySet(g, ProjScaleAtNatOriginGeoKey, TYPE_DOUBLE, 1, k.scale);
        GTIFKeySet(g, ProjFalseEastingGeoKey, TYPE_DOUBLE, 1, k.falseEasting);
        GTIFKeySet(g, ProjFalseNorthingGeoKey, TYPE_DOUBLE, 1, k.falseNorthing);
    }
}

} // namespace

GeoKeys UserMercator(int gcs)
{
    GeoKeys k;
    k.pcs = KvUserDefined;
    k.gcs = gcs;
    k.coordTrans = CT_Mercator;
    return k;
}

void WriteGeoTiff(const std::filesystem::path& path, const GeoTiffSheet& sheet)
{
    image::RgbImage img(sheet.width, sheet.height);
    if (sheet.paint)
        sheet.paint(img);
    else
        PaintPattern(img);
    TIFF* t = XTIFFOpen(path.c_str(), "w");
    if (t == nullptr) throw std::runtime_error("cannot create " + path.string());
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(sheet.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(sheet.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    if (sheet.writeKeys) {
        double tiepoint[6] = {0, 0, 0, sheet.originX, sheet.originY, 0};
        double scale[3] = {sheet.scaleX, sheet.scaleY, 0};
        TIFFSetField(t, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
        TIFFSetField(t, TIFFTAG_GEOPIXELSCALE, 3, scale);
        GTIF* g = GTIFNew(t);
        SetKeys(g, sheet.keys);
        GTIFWriteKeys(g);
        GTIFFree(g);
    }
    for (std::int32_t y = 0; y < sheet.height; ++y)
        if (TIFFWriteScanline(t, img.Row(y), static_cast<std::uint32_t>(y), 0) < 0) {
            XTIFFClose(t);
            throw std::runtime_error("cannot write " + path.string());
        }
    XTIFFClose(t);
}

double MercatorEasting(double lon, double a)
{
    return a * lon * kPi / 180;
}

double MercatorNorthing(double lat, double a, double b)
{
    const double e = std::sqrt(a * a - b * b) / a;
    const double phi = lat * kPi / 180;
    const double s = e * std::sin(phi);
    return a * std::log(std::tan(kPi / 4 + phi / 2) * std::pow((1 - s) / (1 + s), e / 2));
}

double WebMercatorNorthing(double lat)
{
    return kWgs84A * std::log(std::tan(kPi / 4 + lat * kPi / 360));
}

} // namespace orvane::test
