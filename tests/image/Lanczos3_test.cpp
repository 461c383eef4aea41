#include "image/Lanczos3.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::image {
namespace {

using Bytes = std::vector<std::uint8_t>;

/// A test picture that makes the filter work hard: blocks of noise, 0/255
/// stripes (maximum overshoot both ways, so clamping matters) and a smooth
/// gradient, side by side.
RgbImage MakePicture(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    RgbImage image(width, height);
    std::mt19937 random(seed);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* p = image.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t noise = random() & 0xFF;
                std::uint32_t v = 0;
                switch ((x / 37 + y / 23) % 3) {
                case 0: v = noise; break;
                case 1: v = ((x + 2 * c) / 3 + y / 4) % 2 != 0 ? 255 : 0; break;
                default: v = static_cast<std::uint32_t>((x * 7 + y * 3 + c * 50) % 256);
                }
                p[3 * x + c] = static_cast<std::uint8_t>(v);
            }
        }
    }
    return image;
}

RgbImage MakeConstant(std::int32_t width, std::int32_t height, const std::uint8_t (&rgb)[3])
{
    RgbImage image(width, height);
    for (std::size_t k = 0; k < image.SizeBytes(); ++k) image.Data()[k] = rgb[k % 3];
    return image;
}

/// The crop as its own image: black where it leaves the source.
RgbImage Materialise(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                     std::int32_t cropH)
{
    RgbImage crop(cropW, cropH);
    std::memset(crop.Data(), 0, crop.SizeBytes());
    for (std::int32_t cy = 0; cy < cropH; ++cy) {
        const std::int64_t sy = static_cast<std::int64_t>(originY) + cy;
        if (sy < 0 || sy >= src.Height()) continue;
        for (std::int32_t cx = 0; cx < cropW; ++cx) {
            const std::int64_t sx = static_cast<std::int64_t>(originX) + cx;
            if (sx < 0 || sx >= src.Width()) continue;
            std::memcpy(crop.Row(cy) + 3 * cx, src.Row(static_cast<std::int32_t>(sy)) + 3 * sx, 3);
        }
    }
    return crop;
}

double Lanczos3Exact(double x)
{
    const double pi = std::acos(-1.0);
    if (x == 0) return 1;
    if (std::abs(x) >= 3) return 0;
    return std::sin(pi * x) / (pi * x) * std::sin(pi * x / 3) / (pi * x / 3);
}

/// Normalised weights of every crop index for each output pixel, in double.
std::vector<std::vector<double>> ExactWeights(std::int32_t cropLength, std::int32_t outLength)
{
    const double f = static_cast<double>(cropLength) / outLength;
    const double scale = std::max(1.0, f);
    std::vector<std::vector<double>> w(static_cast<std::size_t>(outLength),
                                       std::vector<double>(static_cast<std::size_t>(cropLength), 0.0));
    for (std::int32_t j = 0; j < outLength; ++j) {
        const double centre = (j + 0.5) * f - 0.5;
        double sum = 0;
        for (std::int32_t i = 0; i < cropLength; ++i) {
            const double v = Lanczos3Exact((i - centre) / scale);
            w[j][i] = v;
            sum += v;
        }
        for (double& v : w[j]) v /= sum;
    }
    return w;
}

/// Plain separable convolution of a materialised crop, unrounded.
std::vector<double> ReferenceResample(const RgbImage& crop, std::int32_t outW, std::int32_t outH)
{
    const auto wx = ExactWeights(crop.Width(), outW);
    const auto wy = ExactWeights(crop.Height(), outH);
    // Non-zero span of each output pixel's weights across.
    std::vector<std::pair<std::int32_t, std::int32_t>> span(static_cast<std::size_t>(outW), {0, -1});
    for (std::int32_t j = 0; j < outW; ++j)
        for (std::int32_t i = 0; i < crop.Width(); ++i)
            if (wx[j][i] != 0) {
                if (span[j].second < 0) span[j].first = i;
                span[j].second = i;
            }
    std::vector<double> across(static_cast<std::size_t>(crop.Height()) * outW * 3, 0.0);
    for (std::int32_t y = 0; y < crop.Height(); ++y)
        for (std::int32_t j = 0; j < outW; ++j)
            for (std::int32_t i = span[j].first; i <= span[j].second; ++i)
                for (int c = 0; c < 3; ++c)
                    across[(static_cast<std::size_t>(y) * outW + j) * 3 + c] += wx[j][i] * crop.Row(y)[3 * i + c];
    std::vector<double> out(static_cast<std::size_t>(outW) * outH * 3, 0.0);
    for (std::int32_t i = 0; i < outH; ++i)
        for (std::int32_t y = 0; y < crop.Height(); ++y) {
            const double w = wy[i][y];
            if (w == 0) continue;
            for (std::size_t k = 0; k < static_cast<std::size_t>(outW) * 3; ++k)
                out[static_cast<std::size_t>(i) * outW * 3 + k] += w * across[static_cast<std::size_t>(y) * outW * 3 + k];
        }
    return out;
}

Bytes Resample(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
               std::int32_t cropH, std::int32_t outW, std::int32_t outH,
               detail::ResampleKernels kernels = detail::ResampleKernels::Fastest)
{
    Bytes out(static_cast<std::size_t>(outW) * outH * 3, 0xAB);
    ResampleScratch scratch;
    detail::ResampleCropLanczos3With(kernels, src, originX, originY, cropW, cropH, outW, outH, out.data(), scratch);
    return out;
}

// ---------------------------------------------------------------------------
// Against a double-precision convolution of the materialised crop.

struct CropCase {
    const char* name;
    std::int32_t srcW, srcH;
    std::int32_t originX, originY;
    std::int32_t cropW, cropH;
    std::int32_t outW, outH;
};

const CropCase kCropCases[] = {
    {"Identity_1_0", 300, 200, 10, 20, 256, 160, 256, 160},
    {"Base_1_289_OverTopLeft", 500, 400, -100, -60, 330, 330, 256, 256},
    {"Exact_1_2875_OverBottomRight", 150, 120, 80, 60, 103, 103, 80, 80},
    {"Half_OverBottomRight", 400, 300, 200, 150, 512, 512, 256, 256},
    {"Coarse_10_3_OverLeft", 3000, 2800, -500, 100, 2637, 2637, 256, 256},
    {"Coarse_41_OverTop", 1500, 1000, 100, -400, 1312, 1312, 32, 32},
    {"Enlarge_0_5", 200, 150, -30, 100, 128, 128, 256, 256},
    {"Enlarge_0_99", 300, 300, -1, -1, 253, 253, 256, 256},
    {"NonUniform_1_56x1_17_OverRight", 500, 400, 300, 20, 400, 300, 256, 256},
    {"EnlargeAcross_ReduceDown", 300, 800, -20, 50, 200, 700, 256, 64},
    {"SliverOfTwoColumns", 100, 100, 98, 10, 330, 330, 256, 256},
    {"SingleRowInside", 100, 100, 10, 99, 64, 64, 256, 256},
    {"SourceInsideCrop", 120, 90, -200, -150, 520, 390, 256, 192},
    {"OnePixelCrop", 20, 20, 5, 5, 1, 1, 8, 8},
};

class ResampleCrop : public ::testing::TestWithParam<CropCase> {};

TEST_P(ResampleCrop, MatchesDoubleReferenceWithinOneLevel)
{
    const CropCase& c = GetParam();
    const RgbImage src = MakePicture(c.srcW, c.srcH, 7);
    const Bytes ours = Resample(src, c.originX, c.originY, c.cropW, c.cropH, c.outW, c.outH);
    const std::vector<double> ref =
        ReferenceResample(Materialise(src, c.originX, c.originY, c.cropW, c.cropH), c.outW, c.outH);
    int worst = 0;
    std::size_t worstAt = 0;
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const int expected = static_cast<int>(std::lround(std::clamp(ref[k], 0.0, 255.0)));
        const int diff = std::abs(ours[k] - expected);
        if (diff > worst) {
            worst = diff;
            worstAt = k;
        }
    }
    EXPECT_LE(worst, 1) << "at pixel (" << worstAt / 3 % c.outW << ", " << worstAt / 3 / c.outW << ") channel "
                        << worstAt % 3 << ": ours " << int{ours[worstAt]} << ", reference " << ref[worstAt];
}

TEST_P(ResampleCrop, EqualsResamplingTheMaterialisedCrop)
{
    const CropCase& c = GetParam();
    const RgbImage src = MakePicture(c.srcW, c.srcH, 11);
    const RgbImage crop = Materialise(src, c.originX, c.originY, c.cropW, c.cropH);
    EXPECT_EQ(Resample(src, c.originX, c.originY, c.cropW, c.cropH, c.outW, c.outH),
              Resample(crop, 0, 0, c.cropW, c.cropH, c.outW, c.outH));
}

TEST_P(ResampleCrop, PortableKernelsGiveTheSameBytes)
{
    const CropCase& c = GetParam();
    const RgbImage src = MakePicture(c.srcW, c.srcH, 13);
    EXPECT_EQ(Resample(src, c.originX, c.originY, c.cropW, c.cropH, c.outW, c.outH,
                       detail::ResampleKernels::Fastest),
              Resample(src, c.originX, c.originY, c.cropW, c.cropH, c.outW, c.outH,
                       detail::ResampleKernels::Portable));
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleCrop, ::testing::ValuesIn(kCropCases), orvane::test::CaseName{});

TEST(ResampleCrop, IdentityScaleCopiesThePixels)
{
    const RgbImage src = MakePicture(300, 200, 3);
    const Bytes out = Resample(src, 10, 20, 256, 160, 256, 160);
    const RgbImage crop = Materialise(src, 10, 20, 256, 160);
    EXPECT_EQ(out, Bytes(crop.Data(), crop.Data() + crop.SizeBytes()));
}

// ---------------------------------------------------------------------------
// Scale table for the invariants.

struct ScaleCase {
    const char* name;
    std::int32_t cropW, cropH;
    std::int32_t outW, outH;
};

const ScaleCase kScaleCases[] = {
    {"Same", 256, 256, 256, 256},
    {"Base_1_289", 330, 330, 256, 256},
    {"Reduce_2", 512, 512, 256, 256},
    {"Reduce_10_3", 2637, 2637, 256, 256},
    {"Reduce_41", 1312, 1312, 32, 32},
    {"Enlarge_0_5", 128, 128, 256, 256},
    {"Enlarge_0_99", 253, 253, 256, 256},
    {"NonUniform", 400, 200, 256, 256},
    {"Tiny", 2, 3, 7, 5},
};

class ResampleScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ResampleScale, WeightsSumToOneAndStayInsideTheCrop)
{
    const ScaleCase& c = GetParam();
    for (const auto& [cropLength, outLength] : {std::pair{c.cropW, c.outW}, std::pair{c.cropH, c.outH}}) {
        ResampleAxis axis;
        detail::BuildResampleAxis(cropLength, outLength, axis);
        for (std::int32_t j = 0; j < outLength; ++j) {
            const auto begin = axis.weights.begin() + axis.offsets[j];
            const auto end = axis.weights.begin() + axis.offsets[j + 1];
            std::int32_t sum = 0;
            for (auto w = begin; w != end; ++w) sum += *w;
            EXPECT_EQ(sum, 1 << kLanczosWeightBits) << "output " << j << " of " << outLength;
            EXPECT_GE(axis.first[j], 0);
            EXPECT_LE(axis.first[j] + (end - begin), cropLength);
        }
    }
}

TEST_P(ResampleScale, ConstantImageStaysExactlyConstant)
{
    const ScaleCase& c = GetParam();
    const std::uint8_t colours[][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 17}, {1, 254, 128}};
    for (const auto& rgb : colours) {
        const RgbImage src = MakeConstant(c.cropW + 40, c.cropH + 30, rgb);
        const Bytes out = Resample(src, 20, 15, c.cropW, c.cropH, c.outW, c.outH);
        Bytes expected(out.size());
        for (std::size_t k = 0; k < expected.size(); ++k) expected[k] = rgb[k % 3];
        EXPECT_EQ(out, expected) << "colour " << int{rgb[0]} << "," << int{rgb[1]} << "," << int{rgb[2]};
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleScale, ::testing::ValuesIn(kScaleCases), orvane::test::CaseName{});

// ---------------------------------------------------------------------------
// Moving the origin by k * f source pixels moves the result by k output
// pixels (away from the crop's edges, where the taps are cut).

struct ShiftCase {
    const char* name;
    std::int32_t cropW, cropH;
    std::int32_t outW, outH;
    std::int32_t kx, ky;  // output pixels; k * f must be whole source pixels
};

const ShiftCase kShiftCases[] = {
    {"Reduce_2", 512, 512, 256, 256, 3, -2},
    {"Reduce_1_25", 320, 320, 256, 256, 4, 4},
    {"Enlarge_0_5", 128, 128, 256, 256, -6, 2},
    {"NonUniform_1_25x2", 320, 512, 256, 256, 4, 1},
};

class ResampleShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ResampleShift, OriginShiftMovesTheResult)
{
    const ShiftCase& c = GetParam();
    const std::int32_t dx = c.kx * c.cropW / c.outW;
    const std::int32_t dy = c.ky * c.cropH / c.outH;
    ASSERT_EQ(dx * c.outW, c.kx * c.cropW);
    ASSERT_EQ(dy * c.outH, c.ky * c.cropH);
    const RgbImage src = MakePicture(c.cropW + 100, c.cropH + 100, 5);
    const Bytes a = Resample(src, 50, 50, c.cropW, c.cropH, c.outW, c.outH);
    const Bytes b = Resample(src, 50 + dx, 50 + dy, c.cropW, c.cropH, c.outW, c.outH);
    // Output pixels whose support reaches a crop edge see different data.
    auto margin = [](std::int32_t crop, std::int32_t out) {
        const double f = static_cast<double>(crop) / out;
        return static_cast<std::int32_t>(std::ceil(3 * std::max(1.0, f) / f)) + 1;
    };
    const std::int32_t mx = margin(c.cropW, c.outW);
    const std::int32_t my = margin(c.cropH, c.outH);
    std::int32_t compared = 0;
    for (std::int32_t i = my; i < c.outH - my; ++i) {
        const std::int32_t ia = i + c.ky;
        if (ia < my || ia >= c.outH - my) continue;
        for (std::int32_t j = mx; j < c.outW - mx; ++j) {
            const std::int32_t ja = j + c.kx;
            if (ja < mx || ja >= c.outW - mx) continue;
            for (int ch = 0; ch < 3; ++ch) {
                const auto at = [&](std::int32_t y, std::int32_t x) { return (static_cast<std::size_t>(y) * c.outW + x) * 3 + ch; };
                ASSERT_EQ(a[at(ia, ja)], b[at(i, j)]) << "output (" << j << ", " << i << ")";
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, c.outW * c.outH / 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleShift, ::testing::ValuesIn(kShiftCases), orvane::test::CaseName{});

// ---------------------------------------------------------------------------
// Crops that miss the source entirely.

struct OutsideCase {
    const char* name;
    std::int32_t originX, originY;
    std::int32_t cropW, cropH;
};

const OutsideCase kOutsideCases[] = {
    {"Left", -330, 10, 330, 330},
    {"Right", 200, 0, 330, 330},
    {"Above", 0, -330, 330, 330},
    {"Below", 50, 150, 330, 330},
    {"Diagonal", 200, 150, 2637, 2637},
    {"FarAway", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max() - 100, 2637, 64},
    {"NoPixels", 10, 10, 0, 330},
};

class ResampleOutside : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(ResampleOutside, GivesBlackAndCountsAsBlack)
{
    const OutsideCase& c = GetParam();
    const RgbImage src = MakeConstant(200, 150, {200, 100, 50});
    EXPECT_EQ(Resample(src, c.originX, c.originY, c.cropW, c.cropH, 256, 256), Bytes(256 * 256 * 3, 0));
    EXPECT_TRUE(CropIsBlack(src, c.originX, c.originY, c.cropW, c.cropH));
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleOutside, ::testing::ValuesIn(kOutsideCases), orvane::test::CaseName{});

// ---------------------------------------------------------------------------
// CropIsBlack on a black 40 x 30 source with at most one lit byte.

struct BlackCase {
    const char* name;
    std::int32_t originX, originY;
    std::int32_t cropW, cropH;
    std::int32_t litX, litY;  // -1: nothing lit
    int channel;
    bool black;
};

// The 23-pixel crop is 69 bytes a row: whole 32-byte blocks, then single bytes.
const BlackCase kBlackCases[] = {
    {"AllBlack", 5, 4, 23, 10, -1, -1, 0, true},
    {"LeftEdge", 5, 4, 23, 10, 5, 8, 0, false},
    {"LeftOfCrop", 5, 4, 23, 10, 4, 8, 2, true},
    {"RightEdgeLastByte", 5, 4, 23, 10, 27, 8, 2, false},
    {"RightOfCrop", 5, 4, 23, 10, 28, 8, 0, true},
    {"TopEdge", 5, 4, 23, 10, 15, 4, 1, false},
    {"AboveCrop", 5, 4, 23, 10, 15, 3, 1, true},
    {"BottomEdge", 5, 4, 23, 10, 15, 13, 1, false},
    {"BelowCrop", 5, 4, 23, 10, 15, 14, 1, true},
    {"BottomRightCorner", 5, 4, 23, 10, 27, 13, 2, false},
    {"PartialInsideCorner", -10, -5, 20, 10, 9, 4, 2, false},
    {"PartialJustOutside", -10, -5, 20, 10, 10, 4, 0, true},
    {"CropOutsideSource", 40, 0, 10, 10, 39, 0, 2, true},
    {"CropAroundSourceLastByte", -5, -5, 50, 40, 39, 29, 2, false},
    {"EmptyCrop", 5, 5, 0, 10, 5, 5, 0, true},
};

class CropBlack : public ::testing::TestWithParam<BlackCase> {};

TEST_P(CropBlack, FindsEveryLitByteInsideTheCrop)
{
    const BlackCase& c = GetParam();
    RgbImage src = MakeConstant(40, 30, {0, 0, 0});
    if (c.litX >= 0) src.Row(c.litY)[3 * c.litX + c.channel] = 1;
    EXPECT_EQ(CropIsBlack(src, c.originX, c.originY, c.cropW, c.cropH), c.black);
}

INSTANTIATE_TEST_SUITE_P(Cases, CropBlack, ::testing::ValuesIn(kBlackCases), orvane::test::CaseName{});

// ---------------------------------------------------------------------------

TEST(ResampleScratch, ReusedAcrossSizesAndThreadsGivesTheSameBytes)
{
    const RgbImage src = MakePicture(1200, 900, 17);
    struct Tile {
        std::int32_t x, y, w, h, outW, outH;
    };
    const std::vector<Tile> tiles = {
        {-100, -60, 330, 330, 256, 256}, {230, -60, 330, 330, 256, 256}, {0, 0, 1030, 1030, 100, 100},
        {500, 400, 330, 331, 256, 256},  {-20, 700, 128, 128, 256, 256}, {900, 10, 400, 200, 64, 256},
    };
    std::vector<Bytes> expected;
    for (const Tile& t : tiles) expected.push_back(Resample(src, t.x, t.y, t.w, t.h, t.outW, t.outH));

    constexpr int kThreads = 4;
    std::vector<std::vector<Bytes>> got(kThreads, std::vector<Bytes>(tiles.size()));
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n)
        threads.emplace_back([&, n] {
            ResampleScratch scratch;  // one per thread, reused for tiles of changing sizes
            for (std::size_t k = 0; k < tiles.size(); ++k) {
                const std::size_t pick = (k + static_cast<std::size_t>(n)) % tiles.size();
                const Tile& t = tiles[pick];
                Bytes& out = got[n][pick];
                out.resize(static_cast<std::size_t>(t.outW) * t.outH * 3);
                ResampleCropLanczos3(src, t.x, t.y, t.w, t.h, t.outW, t.outH, out.data(), scratch);
            }
        });
    for (auto& t : threads) t.join();
    for (int n = 0; n < kThreads; ++n)
        for (std::size_t k = 0; k < tiles.size(); ++k) EXPECT_EQ(got[n][k], expected[k]) << "thread " << n << " tile " << k;
}

TEST(ResampleCrop, ConvenienceReturnsTheSameImage)
{
    const RgbImage src = MakePicture(400, 300, 19);
    const RgbImage image = ResampleCropLanczos3(src, -30, 40, 330, 330, 256, 200);
    ASSERT_EQ(image.Width(), 256);
    ASSERT_EQ(image.Height(), 200);
    EXPECT_EQ(Bytes(image.Data(), image.Data() + image.SizeBytes()), Resample(src, -30, 40, 330, 330, 256, 200));
}

} // namespace
} // namespace orvane::image
