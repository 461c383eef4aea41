#include "conversion/MakeMap.hpp"

#include "conversion/CacheLayout.hpp"
#include "conversion/MapPackage.hpp"
#include "conversion/TOziCalibration.hpp"
#include "image/ImageCodecs.hpp"
#include "image/Lanczos3.hpp"
#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"
#include "util/OrderedParallel.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

namespace orvane::conversion {

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kTileSize = 256;

std::string UpperExtension(const fs::path& path)
{
    std::string ext = path.extension().string();
    for (auto& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

/// One tile of the run in cutting order: levels from the base down, rows
/// north to south, columns west to east.
struct TileRef {
    std::int32_t levelIndex = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// Maps a run-wide tile index to its level and position.
class TileOrder {
public:
    explicit TileOrder(const ConversionPlan& plan)
    {
        std::int64_t start = 0;
        for (const auto& l : plan.levels) {
            m_starts.push_back(start);
            start += l.TileCount();
        }
        m_total = start;
        m_plan = &plan;
    }
    std::int64_t Total() const { return m_total; }
    std::int64_t LevelStart(std::size_t levelIndex) const { return m_starts[levelIndex]; }
    TileRef At(std::int64_t index) const
    {
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), index);
        const auto li = static_cast<std::size_t>(it - m_starts.begin() - 1);
        const LevelPlan& l = m_plan->levels[li];
        const std::int64_t k = index - m_starts[li];
        const std::int64_t columns = static_cast<std::int64_t>(l.x1) - l.x0 + 1;
        TileRef ref;
        ref.levelIndex = static_cast<std::int32_t>(li);
        ref.y = static_cast<std::int32_t>(l.y0 + k / columns);
        ref.x = static_cast<std::int32_t>(l.x0 + k % columns);
        return ref;
    }

private:
    const ConversionPlan* m_plan = nullptr;
    std::vector<std::int64_t> m_starts;
    std::int64_t m_total = 0;
};

/// What a worker hands back for one tile: nothing for a blank tile, else the
/// encoded image.
struct CutTile {
    bool blank = true;
    std::vector<std::uint8_t> data;
};

struct CutterState {
    image::ResampleScratch scratch;
    std::vector<std::uint8_t> pixels;
};

struct Committed {
    std::int32_t x, y, level;
};

} // namespace

MapGeometry GeometryOf(const TOziCalibration& calibration)
{
    MapGeometry geometry;
    geometry.lonScale = calibration.LonScale();
    geometry.latScale = calibration.LatScale();
    const TCalibrationPoint reference = calibration.ReferencePoint();
    geometry.refLat = reference.Lat;
    geometry.refLon = reference.Lon;
    geometry.refX = reference.X;
    geometry.refY = reference.Y;
    geometry.width = calibration.ImageWidth();
    geometry.height = calibration.ImageHeight();
    geometry.verticalFit = [&calibration](std::int32_t level, double& s, double& o) {
        const auto fit = calibration.VerticalFit(level);
        s = fit.s;
        o = fit.o;
    };
    return geometry;
}

std::string TempTileName(std::int64_t number, bool png)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06lld", static_cast<long long>(number));
    return std::string(buf) + (png ? ".png" : ".jpg");
}

MakeMapResult MakeMap(const MakeMapRequest& request, const ConversionSettings& settings,
                      ConversionProgress& progress)
{
    const bool packageTarget = request.target == MakeMapTarget::Package;
    fs::path source = request.inFile;
    fs::path tmpFolder;
    fs::path qvm, qvo;
    if (packageTarget) {
        qvm = fs::path(request.outFile).replace_extension(".qvm");
        qvo = fs::path(request.outFile).replace_extension(".qvo");
        fs::path outFolder = request.outFile.parent_path();
        tmpFolder = (outFolder.empty() ? fs::path(".") : outFolder) / "tmptiles";
        std::error_code ec;
        fs::create_directories(tmpFolder, ec);
        if (ec) throw Error(msg::CannotWriteFile(tmpFolder.string(), ec.message()));
    }
    progress.Status(source.string());

    if (UpperExtension(source) == ".TIF") {
        if (!request.geoTiffExporter) throw Error(msg::GeoTiffUnavailable(source.string()));
        source = request.geoTiffExporter(source);
    }

    // Calibration.
    TOziCalibration calibration;
    calibration.LoadFromFile(source);
    calibration.CheckProjection();
    calibration.CheckDatum();
    progress.Datum(calibration.DatumCaption());
    progress.Label(msg::kNoProgressYet);

    // Image: the type is decided by the bare name before the file is looked up.
    const std::string bareName = calibration.ImageBareName();
    const image::ImageType type = image::ImageTypeFromExtension(bareName);
    if (type == image::ImageType::Unknown) throw Error(msg::UnsupportedImageType(bareName));
    image::RgbImage picture;
    try {
        const fs::path searchDir = !request.imageSearchDir.empty() ? request.imageSearchDir
                                   : source.has_parent_path()     ? source.parent_path()
                                                                  : fs::current_path();
        const fs::path imagePath = calibration.FindImage(searchDir);
        picture = image::DecodeImageFile(imagePath, type, settings.maxPixels);
    } catch (const Error& e) {
        throw Error(msg::ErrorOnLoad(e.what()));
    } catch (const std::bad_alloc&) {
        throw Error(msg::ErrorOnBitmapAssign("out of memory"));
    }
    calibration.SetImageSize(picture.Width(), picture.Height());

    // Plan every level before cutting anything.
    const MapGeometry geometry = GeometryOf(calibration);
    PlanOptions planOptions;
    planOptions.levelCount = settings.levelCount;
    planOptions.mapFit = settings.mapFit;
    planOptions.ignoreBorder = settings.ignoreBorder;
    planOptions.dx = settings.dx;
    planOptions.dy = settings.dy;
    const ConversionPlan plan = PlanConversion(geometry, planOptions);

    const bool png = settings.png || !packageTarget;
    std::vector<std::int32_t> qualities;
    for (std::int32_t q = settings.quality; qualities.size() < plan.levels.size(); q = NextLevelQuality(q))
        qualities.push_back(q);

    // Cut: workers crop, resample and encode; this thread writes the tiles in
    // cutting order, so numbering and output match a one-thread run.
    const TileOrder order(plan);
    const std::int64_t total = order.Total();
    int threads = settings.threads > 0 ? settings.threads
                                       : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::int64_t nextNumber = 1;
    std::uint64_t dataBytes = 0;
    std::vector<Committed> committed;
    std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> blankTiles;  // (level, x, y)
    std::int64_t doneAtLevel = 0;
    std::int32_t currentLevelIndex = -1;

    auto produce = [&](std::int64_t index, CutterState& state) -> CutTile {
        const TileRef ref = order.At(index);
        const LevelPlan& level = plan.levels[static_cast<std::size_t>(ref.levelIndex)];
        const TileCrop crop = CropOfTile(plan, level, geometry, planOptions, ref.x, ref.y);
        CutTile out;
        if (crop.width <= 0 || crop.height <= 0 ||
            image::CropIsBlack(picture, crop.originX, crop.originY, crop.width, crop.height))
            return out;
        state.pixels.resize(static_cast<std::size_t>(kTileSize) * kTileSize * 3);
        image::ResampleCropLanczos3(picture, crop.originX, crop.originY, crop.width, crop.height, kTileSize,
                                    kTileSize, state.pixels.data(), state.scratch);
        out.blank = false;
        out.data = png ? image::EncodePng(state.pixels.data(), kTileSize, kTileSize)
                       : image::EncodeJpeg(state.pixels.data(), kTileSize, kTileSize,
                                           qualities[static_cast<std::size_t>(ref.levelIndex)]);
        return out;
    };

    auto consume = [&](std::int64_t index, CutTile&& tile) {
        const TileRef ref = order.At(index);
        const LevelPlan& level = plan.levels[static_cast<std::size_t>(ref.levelIndex)];
        if (ref.levelIndex != currentLevelIndex) {
            currentLevelIndex = ref.levelIndex;
            doneAtLevel = 0;
        }
        if (tile.blank) {
            blankTiles.emplace(level.level, ref.x, ref.y);
        } else if (packageTarget) {
            WriteWholeFile(tmpFolder / TempTileName(nextNumber, png), tile.data);
            ++nextNumber;
            dataBytes += tile.data.size();
            committed.push_back({ref.x, ref.y, level.level});
        } else {
            const fs::path path =
                request.customMap == 0
                    ? GoogleMvTilePath(request.folder, level.level, ref.x, ref.y)
                    : CustomLayerTilePath(request.cacheFolder, request.customMap, level.level, ref.x, ref.y);
            std::error_code ec;
            fs::create_directories(path.parent_path(), ec);
            if (ec) throw Error(msg::CannotWriteFile(path.parent_path().string(), ec.message()));
            WriteWholeFile(path, tile.data);
            committed.push_back({ref.x, ref.y, level.level});
        }
        ++doneAtLevel;
        progress.Label(msg::TileProgress(doneAtLevel, level.TileCount(), level.level));
        progress.TileCut(doneAtLevel, level.TileCount(), level.level, index + 1, total);
        // The next tile is only cut when nobody pressed Cancel.
        if (index + 1 < total && progress.CancelRequested()) throw Cancelled();
    };

    if (total > 0 && progress.CancelRequested()) throw Cancelled();
    OrderedParallel<CutTile, CutterState>::Run(total, threads, 4 * static_cast<std::int64_t>(threads), produce,
                                               consume);
    picture = image::RgbImage();

    if (settings.pauseAtBuild) progress.PauseBeforeBuild();
    progress.Label(msg::kFinalBuild);

    MakeMapResult result;
    result.baseLevel = plan.baseLevel;
    result.lowLevel = plan.lowLevel;
    result.tilesWritten = static_cast<std::int64_t>(committed.size());
    result.blankTiles = static_cast<std::int64_t>(blankTiles.size());
    result.centreLat = plan.centreLat;
    result.centreLon = plan.centreLon;

    if (packageTarget) {
        // Final build: the temporary tiles in cutting order, blank ones
        // having been skipped and not numbered.
        // A package the format cannot address is refused before it is begun.
        CheckPlannedSize(committed.size(), dataBytes);
        PackageHeaderInfo header;
        header.centreLat = plan.centreLat;
        header.centreLon = plan.centreLon;
        header.startLevel = plan.lowLevel;
        try {
            MapPackageWriter writer(request.outFile, header, static_cast<std::uint32_t>(committed.size()));
            for (std::size_t k = 0; k < committed.size(); ++k) {
                const fs::path tmp = tmpFolder / TempTileName(static_cast<std::int64_t>(k) + 1, png);
                writer.AddTileFromFile(committed[k].x, committed[k].y, committed[k].level, tmp);
                if (!settings.leaveTmpTiles) {
                    std::error_code ec;
                    fs::remove(tmp, ec);
                }
            }
            writer.Finish();
        } catch (const Error& e) {
            throw Error(msg::IncompletePackage(e.what(), qvm.string(), qvo.string()));
        }
        result.qvmFile = qvm;
        result.qvoFile = qvo;
    }
    return result;
}

} // namespace orvane::conversion
