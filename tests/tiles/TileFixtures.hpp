#pragma once

// Small images and catalogues for the tile tests, made in code.

#include "image/ImageCodecs.hpp"
#include "tiles/MapCatalogue.hpp"
#include "tiles/uRPTile.hpp"

#include <filesystem>
#include <memory>
#include <string>

namespace orvane::tiles::test {

/// An 8 x 8 gradient, encoded.
inline std::string TileBytes(bool png)
{
    image::RgbImage img(8, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x) {
            std::uint8_t* p = img.Row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 30);
            p[1] = static_cast<std::uint8_t>(y * 30);
            p[2] = 90;
        }
    const auto bytes = png ? image::EncodePng(img) : image::EncodeJpeg(img, 90);
    return std::string(bytes.begin(), bytes.end());
}

inline std::shared_ptr<const TileContext> Context(const std::filesystem::path& cache, TileDownloads* downloads,
                                                  TMapPathNamesArray catalogue = BuiltInCatalogue())
{
    return std::make_shared<const TileContext>(
        TileContext{std::make_shared<const TMapPathNamesArray>(std::move(catalogue)), cache, downloads});
}

} // namespace orvane::tiles::test
