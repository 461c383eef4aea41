#pragma once

// Lanczos3 resampling of a tile's crop of the source image.
//
// A tile is a cropW x cropH window of the source whose crop pixel (cx, cy) is
// source pixel (originX + cx, originY + cy); where that lies outside the
// source the window is black. The window is resampled to outW x outH without
// ever being copied out: the filter reads the source directly and treats
// pixels outside it as zeros.
//
// Filter, per axis with f = crop length / output length:
// - kernel lanczos3(x) = sinc(x) * sinc(x / 3) for |x| < 3, else 0;
// - reducing (f > 1) the kernel is stretched by f, so it spans 3f source
//   pixels each side; enlarging (f <= 1) it spans 3 source pixels each side;
// - output pixel j is centred on crop coordinate (j + 0.5) * f - 0.5, which
//   lines up the outer edges of the first and last pixels of both;
// - taps outside the crop are dropped and the rest renormalised; a tap
//   inside the crop but outside the source is kept with the value 0;
// - weights are quantised to 14 fractional bits and sum to exactly 1 << 14
//   per output pixel, so a constant area stays exactly constant.
//
// The vertical pass runs first, over the crop's source columns only, into a
// 16-bit intermediate with 6 fractional bits; the horizontal pass follows.
// Every step is integer arithmetic, so the SSE2 and the plain C++ kernels give
// the same bytes whatever the compiler flags or thread count.

#include "image/RgbImage.hpp"

#include <cstdint>
#include <vector>

namespace orvane::image {

/**
 * Per-axis filter: for each output pixel, the first crop index it reads and
 * its quantised weights. Built once per (crop length, output length).
 */
struct ResampleAxis {
    std::int32_t cropLength = 0;
    std::int32_t outLength = 0;
    std::vector<std::int32_t> first;      ///< first crop index of output pixel j
    std::vector<std::int32_t> offsets;    ///< weights of j are weights[offsets[j] .. offsets[j + 1])
    std::vector<std::int16_t> weights;
};

/**
 * Working memory of one resampling thread. Reusing it across tiles avoids
 * allocations and keeps the weights of the last crop size; one object must not
 * be used by two threads at once.
 */
struct ResampleScratch {
    ResampleAxis horizontal;
    ResampleAxis vertical;
    std::vector<std::int16_t> columns;   ///< vertical pass result, one column of outH pixels per crop column
    std::vector<std::int16_t> row;       ///< vertical pass result of one output row
    std::vector<std::uint8_t> outColumn; ///< horizontal pass result of one output column
    std::vector<std::int32_t> tapIndex;  ///< taps of the current output pixel, clipped to the source
    std::vector<std::int16_t> tapWeight;
    std::vector<const std::uint8_t*> rowPointers;
    std::vector<const std::int16_t*> columnPointers;
};

/// Fractional bits of the weights: each output pixel's weights sum to 1 << 14.
inline constexpr int kLanczosWeightBits = 14;

/**
 * Resamples the cropW x cropH crop at (originX, originY) of `src` to
 * outW x outH packed RGB bytes in `out` (outW * outH * 3 of them).
 * @pre outW > 0, outH > 0. A crop with no pixels gives black.
 */
void ResampleCropLanczos3(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                          std::int32_t cropH, std::int32_t outW, std::int32_t outH, std::uint8_t* out,
                          ResampleScratch& scratch);

/** The same, returning a new image. */
RgbImage ResampleCropLanczos3(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                              std::int32_t cropH, std::int32_t outW, std::int32_t outH);

/**
 * True when every pixel of the crop is (0, 0, 0); pixels outside the source
 * count as black, and only the part inside the source is read.
 */
bool CropIsBlack(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                 std::int32_t cropH);

namespace detail {

/// Which inner loops to run; both give the same bytes.
enum class ResampleKernels { Fastest, Portable };

/** ResampleCropLanczos3 with a choice of inner loops, for testing that they agree. */
void ResampleCropLanczos3With(ResampleKernels kernels, const RgbImage& src, std::int32_t originX,
                              std::int32_t originY, std::int32_t cropW, std::int32_t cropH, std::int32_t outW,
                              std::int32_t outH, std::uint8_t* out, ResampleScratch& scratch);

/** Builds the quantised weights of one axis (exposed for tests). */
void BuildResampleAxis(std::int32_t cropLength, std::int32_t outLength, ResampleAxis& axis);

} // namespace detail

} // namespace orvane::image
