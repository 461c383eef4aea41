#include "CCQVEGeoTIFF.hpp"

#include <geo_normalize.h>
#include <geokeys.h>
#include <geotiffio.h>
#include <geovalues.h>
#include <proj.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <cmath>
#include <cstdarg>
#include <limits>
#include <memory>
#include <new>

namespace orvane::qvegeotiff {

namespace {

constexpr short kGcsWgs84 = 4326;
constexpr short kGcsPulkovo1942 = 4284;
// Projected systems of the spherical web Mercator, recognised by their code
// alone, so that they are read right even where proj.db cannot resolve them.
constexpr short kPcsWebMercator = 3857;
constexpr short kPcsPopularVisualisationMercator = 3785;
// EPSG method "Popular Visualisation Pseudo Mercator".
constexpr short kMethodPseudoMercator = 1024;

constexpr double kWgs84SemiMajor = 6378137.0;
constexpr double kWgs84SemiMinor = 6356752.314245179;
constexpr double kKrassovskySemiMajor = 6378245.0;
constexpr double kKrassovskySemiMinor = 6356863.018773047;
constexpr double kAxisTolerance = 1e-2;  // metres

int QuietTiff(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;  // handled: libtiff's process-wide handler is not called
}

void QuietGeoTiff(GTIF*, int, const char*, ...) {}

void QuietProj(void*, int, const char*) {}

struct DefnDeleter {
    void operator()(GTIFDefn* defn) const { GTIFFreeDefn(defn); }
};
using Definition = std::unique_ptr<GTIFDefn, DefnDeleter>;

/// The normalized definition, or none when the library cannot produce it.
Definition ReadDefinition(GTIF* gtif)
{
    Definition defn(GTIFAllocDefn());
    if (!defn) return nullptr;
    if (!GTIFGetDefn(gtif, defn.get())) return nullptr;
    return defn;
}

bool Near(double value, double target, double tolerance)
{
    return std::fabs(value - target) <= tolerance;  // false for NaN
}

/// A Mercator whose metres turn into degrees without any further parameter:
/// central meridian 0, latitude of origin (or standard parallel) 0, scale
/// 1, no false easting or northing, metres, Greenwich.
bool IsPlainMercator(const GTIFDefn& d)
{
    if (d.CTProjection != CT_Mercator) return false;
    if (!Near(d.UOMLengthInMeters, 1.0, 1e-12) || !Near(d.PMLongToGreenwich, 0.0, 1e-12)) return false;
    for (int i = 0; i < d.nParms && i < MAX_GTIF_PROJPARMS; ++i) {
        const double v = d.ProjParm[i];
        switch (d.ProjParmId[i]) {
        case ProjNatOriginLatGeoKey:
        case ProjStdParallel1GeoKey:
        case ProjCenterLatGeoKey:
        case ProjFalseOriginLatGeoKey:
        case ProjNatOriginLongGeoKey:
        case ProjCenterLongGeoKey:
        case ProjFalseOriginLongGeoKey:
        case ProjStraightVertPoleLongGeoKey:
            if (!Near(v, 0.0, 1e-9)) return false;  // degrees
            break;
        case ProjFalseEastingGeoKey:
        case ProjFalseNorthingGeoKey:
        case ProjFalseOriginEastingGeoKey:
        case ProjFalseOriginNorthingGeoKey:
        case ProjCenterEastingGeoKey:
        case ProjCenterNorthingGeoKey:
            if (!Near(v, 0.0, 1e-6)) return false;  // metres
            break;
        case ProjScaleAtNatOriginGeoKey:
        case ProjScaleAtCenterGeoKey:
            if (!Near(v, 1.0, 1e-12)) return false;
            break;
        default:
            break;  // not a parameter of the Mercator
        }
    }
    return true;
}

bool HasAxes(const GTIFDefn& d, double semiMajor, double semiMinor)
{
    return Near(d.SemiMajor, semiMajor, kAxisTolerance) && Near(d.SemiMinor, semiMinor, kAxisTolerance);
}

/// The raster type key; a key of another storage type than a short (a
/// damaged directory) counts as absent.
int RasterType(GTIF* gtif)
{
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    if (GTIFKeyInfo(gtif, GTRasterTypeGeoKey, &size, &type) != 1 || type != TYPE_SHORT) return RasterPixelIsArea;
    std::uint16_t value = RasterPixelIsArea;
    if (GTIFKeyGet(gtif, GTRasterTypeGeoKey, &value, 0, 1) != 1) return RasterPixelIsArea;
    return value;
}

} // namespace

CCQVEGeoTIFF::~CCQVEGeoTIFF()
{
    Close();
}

bool CCQVEGeoTIFF::OpenTIFF(const char* path)
{
    Close();
    if (path == nullptr) return false;
    // XTIFFOpen is XTIFFInitialize (the GeoTIFF tags made known to libtiff)
    // followed by TIFFOpen; opening with options instead keeps libtiff's
    // messages on this file's own quiet handlers.
    XTIFFInitialize();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietTiff, nullptr);
    TIFF* tiff = TIFFOpenExt(path, "r", options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) return false;
    GTIF* gtif = GTIFNewEx(tiff, QuietGeoTiff, nullptr);
    if (gtif == nullptr) {
        XTIFFClose(tiff);
        return false;
    }
    // libgeotiff resolves EPSG codes through PROJ, which logs to stderr.
    if (auto* context = static_cast<PJ_CONTEXT*>(GTIFGetPROJContext(gtif, 1, nullptr))) {
        proj_log_func(context, nullptr, QuietProj);
        proj_log_level(context, PJ_LOG_NONE);
    }
    m_handle.tiff = tiff;
    m_handle.gtif = gtif;
    return true;
}

void CCQVEGeoTIFF::getSize(std::int32_t& xSize, std::int32_t& ySize) const
{
    if (!IsOpen() || !ReadDefinition(m_handle.gtif)) return;
    constexpr auto kMax = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    std::uint32_t width = 0, length = 0;
    if (TIFFGetField(m_handle.tiff, TIFFTAG_IMAGEWIDTH, &width) && width <= kMax)
        xSize = static_cast<std::int32_t>(width);
    if (TIFFGetField(m_handle.tiff, TIFFTAG_IMAGELENGTH, &length) && length <= kMax)
        ySize = static_cast<std::int32_t>(length);
}

void CCQVEGeoTIFF::Close()
{
    // Released in the reverse order of acquisition.
    if (m_handle.gtif != nullptr) GTIFFree(m_handle.gtif);
    if (m_handle.tiff != nullptr) XTIFFClose(m_handle.tiff);
    m_handle = GeoTiffHandle{};
}

void CCQVEGeoTIFF::getProjectedXY(double& x, double& y) const
{
    if (!IsOpen()) return;
    double px = x, py = y;
    if (RasterType(m_handle.gtif) == RasterPixelIsPoint) {
        px -= 0.5;
        py -= 0.5;
    }
    if (GTIFImageToPCS(m_handle.gtif, &px, &py)) {
        x = px;
        y = py;
    }
}

MercatorKind CCQVEGeoTIFF::Kind() const
{
    if (!IsOpen()) return MercatorKind::None;
    const Definition d = ReadDefinition(m_handle.gtif);
    if (!d || d->Model != ModelTypeProjected) return MercatorKind::None;
    if (d->PCS == kPcsWebMercator || d->PCS == kPcsPopularVisualisationMercator) return MercatorKind::WebSphere;
    if (!IsPlainMercator(*d)) return MercatorKind::None;
    if (d->Projection == kMethodPseudoMercator) return MercatorKind::WebSphere;
    if (Near(d->SemiMajor, d->SemiMinor, kAxisTolerance))
        return Near(d->SemiMajor, kWgs84SemiMajor, kAxisTolerance) ? MercatorKind::WebSphere : MercatorKind::None;
    if (d->GCS == kGcsWgs84 && HasAxes(*d, kWgs84SemiMajor, kWgs84SemiMinor)) return MercatorKind::Ellipsoid;
    if (d->GCS == kGcsPulkovo1942 && HasAxes(*d, kKrassovskySemiMajor, kKrassovskySemiMinor))
        return MercatorKind::Ellipsoid;
    return MercatorKind::None;
}

bool CCQVEGeoTIFF::isOrvaneCompatible() const
{
    return Kind() != MercatorKind::None;
}

bool CCQVEGeoTIFF::isPulkovo1942() const
{
    if (!IsOpen()) return false;
    const Definition d = ReadDefinition(m_handle.gtif);
    return d && d->GCS == kGcsPulkovo1942;
}

bool CCQVEGeoTIFF::isWebMercator() const
{
    return Kind() == MercatorKind::WebSphere;
}

} // namespace orvane::qvegeotiff
