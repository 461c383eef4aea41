#include "image/Lanczos3.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane::image {
namespace {

// Fixed point: weights carry kLanczosWeightBits fractional bits; the
// vertical pass keeps kMidBits of them in its 16-bit result, which holds
// -512 to +512 pixel levels; the horizontal pass drops the rest.
// Bounds, taken over every crop length up to 3000 and output lengths up to
// 257: a single weight is below 1.29 (fits int16 at 14 bits), the positive
// weights of a pixel sum to below 1.29 and the absolute ones to below 1.58,
// so the intermediate stays within 255 * 1.29 levels and neither int32 sum
// can overflow. The clamps below are therefore never hit, and where they
// would be, both kernels clamp alike.
constexpr int kWeightOne = 1 << kLanczosWeightBits;
constexpr int kMidBits = 6;
constexpr int kFirstShift = kLanczosWeightBits - kMidBits;
constexpr int kSecondShift = kLanczosWeightBits + kMidBits;
constexpr std::int32_t kFirstRound = 1 << (kFirstShift - 1);
constexpr std::int32_t kSecondRound = 1 << (kSecondShift - 1);

// Columns of the vertical pass are padded to whole SIMD blocks so the
// horizontal pass needs no tail loop, and by at least one value so that a
// pixel's three values can be moved as four.
constexpr std::size_t kColumnBlock = 16;

double Lanczos3(double x)
{
    constexpr double kPi = 3.14159265358979323846;
    if (x == 0.0) return 1.0;
    if (x <= -3.0 || x >= 3.0) return 0.0;
    const double px = kPi * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

std::int16_t FirstPassValue(std::int32_t acc)
{
    const std::int32_t v = (acc + kFirstRound) >> kFirstShift;
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

std::uint8_t SecondPassValue(std::int32_t acc)
{
    const std::int32_t v = (acc + kSecondRound) >> kSecondShift;
    return static_cast<std::uint8_t>(std::clamp<std::int32_t>(v, 0, 255));
}

// Weighted sum of `taps` source rows into one 16-bit row of `length` values.
// `taps` is even; a padding tap has weight 0.
void VerticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, std::size_t taps,
                      std::size_t from, std::size_t length, std::int16_t* dst)
{
    for (std::size_t k = from; k < length; ++k) {
        std::int32_t acc = 0;
        for (std::size_t t = 0; t < taps; ++t) acc += weights[t] * static_cast<std::int32_t>(rows[t][k]);
        dst[k] = FirstPassValue(acc);
    }
}

// Weighted sum of `taps` 16-bit columns into one byte column; `length` is a
// multiple of kColumnBlock.
void HorizontalPortable(const std::int16_t* const* cols, const std::int16_t* weights, std::size_t taps,
                        std::size_t length, std::uint8_t* dst)
{
    for (std::size_t k = 0; k < length; ++k) {
        std::int32_t acc = 0;
        for (std::size_t t = 0; t < taps; ++t) acc += weights[t] * static_cast<std::int32_t>(cols[t][k]);
        dst[k] = SecondPassValue(acc);
    }
}

#if defined(__SSE2__)

// Two taps at a time: the bytes of rows t and t+1 are interleaved, widened to
// 16 bits and multiplied by the weight pair with pmaddwd, which yields exactly
// w[t] * a + w[t+1] * b per value in 32 bits: the same sum as the portable loop.
void VerticalSse2(const std::uint8_t* const* rows, const std::int16_t* weights, std::size_t taps,
                  std::size_t length, std::int16_t* dst)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi32(kFirstRound);
    auto block = [&](std::size_t k) {
        __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
        __m128i acc4 = zero, acc5 = zero, acc6 = zero, acc7 = zero;
        for (std::size_t t = 0; t < taps; t += 2) {
            const __m128i w = _mm_set1_epi32(static_cast<std::int32_t>(
                static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights[t])) |
                (static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights[t + 1])) << 16)));
            const std::uint8_t* ra = rows[t] + k;
            const std::uint8_t* rb = rows[t + 1] + k;
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ra));
            const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rb));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ra + 16));
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rb + 16));
            const __m128i lo0 = _mm_unpacklo_epi8(a0, b0);
            const __m128i hi0 = _mm_unpackhi_epi8(a0, b0);
            const __m128i lo1 = _mm_unpacklo_epi8(a1, b1);
            const __m128i hi1 = _mm_unpackhi_epi8(a1, b1);
            acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi8(lo0, zero), w));
            acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi8(lo0, zero), w));
            acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi8(hi0, zero), w));
            acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi8(hi0, zero), w));
            acc4 = _mm_add_epi32(acc4, _mm_madd_epi16(_mm_unpacklo_epi8(lo1, zero), w));
            acc5 = _mm_add_epi32(acc5, _mm_madd_epi16(_mm_unpackhi_epi8(lo1, zero), w));
            acc6 = _mm_add_epi32(acc6, _mm_madd_epi16(_mm_unpacklo_epi8(hi1, zero), w));
            acc7 = _mm_add_epi32(acc7, _mm_madd_epi16(_mm_unpackhi_epi8(hi1, zero), w));
        }
        auto finish = [&](__m128i lo, __m128i hi) {
            lo = _mm_srai_epi32(_mm_add_epi32(lo, round), kFirstShift);
            hi = _mm_srai_epi32(_mm_add_epi32(hi, round), kFirstShift);
            return _mm_packs_epi32(lo, hi);
        };
        __m128i* d = reinterpret_cast<__m128i*>(dst + k);
        _mm_storeu_si128(d, finish(acc0, acc1));
        _mm_storeu_si128(d + 1, finish(acc2, acc3));
        _mm_storeu_si128(d + 2, finish(acc4, acc5));
        _mm_storeu_si128(d + 3, finish(acc6, acc7));
    };
    std::size_t k = 0;
    for (; k + 32 <= length; k += 32) block(k);
    // The source row may end right after the last value, so the tail is not
    // read wide past it: a last block ending exactly at the end recomputes a
    // few values (to the same result), and a row shorter than a block runs
    // the plain loop.
    if (k < length) {
        if (length >= 32)
            block(length - 32);
        else
            VerticalPortable(rows, weights, taps, k, length, dst);
    }
}

void HorizontalSse2(const std::int16_t* const* cols, const std::int16_t* weights, std::size_t taps,
                    std::size_t length, std::uint8_t* dst)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi32(kSecondRound);
    for (std::size_t k = 0; k < length; k += 16) {
        __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
        for (std::size_t t = 0; t < taps; t += 2) {
            const __m128i w = _mm_set1_epi32(static_cast<std::int32_t>(
                static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights[t])) |
                (static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights[t + 1])) << 16)));
            const std::int16_t* ca = cols[t] + k;
            const std::int16_t* cb = cols[t + 1] + k;
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ca));
            const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ca + 8));
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + 8));
            acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(a0, b0), w));
            acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(a0, b0), w));
            acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(a1, b1), w));
            acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(a1, b1), w));
        }
        acc0 = _mm_srai_epi32(_mm_add_epi32(acc0, round), kSecondShift);
        acc1 = _mm_srai_epi32(_mm_add_epi32(acc1, round), kSecondShift);
        acc2 = _mm_srai_epi32(_mm_add_epi32(acc2, round), kSecondShift);
        acc3 = _mm_srai_epi32(_mm_add_epi32(acc3, round), kSecondShift);
        // packs saturates to 16 bits, packus to 0..255: together the clamp of SecondPassValue.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(acc0, acc1), _mm_packs_epi32(acc2, acc3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), bytes);
    }
}

#endif

void Vertical(detail::ResampleKernels kernels, const std::uint8_t* const* rows, const std::int16_t* weights,
              std::size_t taps, std::size_t length, std::int16_t* dst)
{
#if defined(__SSE2__)
    if (kernels == detail::ResampleKernels::Fastest) {
        VerticalSse2(rows, weights, taps, length, dst);
        return;
    }
#endif
    (void)kernels;
    VerticalPortable(rows, weights, taps, 0, length, dst);
}

void Horizontal(detail::ResampleKernels kernels, const std::int16_t* const* cols, const std::int16_t* weights,
                std::size_t taps, std::size_t length, std::uint8_t* dst)
{
#if defined(__SSE2__)
    if (kernels == detail::ResampleKernels::Fastest) {
        HorizontalSse2(cols, weights, taps, length, dst);
        return;
    }
#endif
    (void)kernels;
    HorizontalPortable(cols, weights, taps, length, dst);
}

// Collects the taps of output pixel `j` of `axis` that fall on crop indices
// [lo, hi) (the part of the crop inside the source), as positions relative
// to lo, padded to an even count with a zero-weight tap.
std::size_t ClippedTaps(const ResampleAxis& axis, std::int32_t j, std::int64_t lo, std::int64_t hi,
                        std::vector<std::int32_t>& index, std::vector<std::int16_t>& weight)
{
    index.clear();
    weight.clear();
    const std::int32_t begin = axis.offsets[static_cast<std::size_t>(j)];
    const std::int32_t end = axis.offsets[static_cast<std::size_t>(j) + 1];
    const std::int32_t first = axis.first[static_cast<std::size_t>(j)];
    for (std::int32_t t = begin; t < end; ++t) {
        const std::int64_t at = static_cast<std::int64_t>(first) + (t - begin);
        if (at < lo || at >= hi) continue;
        index.push_back(static_cast<std::int32_t>(at - lo));
        weight.push_back(axis.weights[static_cast<std::size_t>(t)]);
    }
    if (index.size() % 2 != 0) {
        index.push_back(index.back());
        weight.push_back(0);
    }
    return index.size();
}

} // namespace

namespace detail {

void BuildResampleAxis(std::int32_t cropLength, std::int32_t outLength, ResampleAxis& axis)
{
    assert(cropLength > 0 && outLength > 0);
    if (axis.cropLength == cropLength && axis.outLength == outLength) return;
    axis.cropLength = cropLength;
    axis.outLength = outLength;
    axis.first.assign(static_cast<std::size_t>(outLength), 0);
    axis.offsets.assign(static_cast<std::size_t>(outLength) + 1, 0);
    axis.weights.clear();

    const double f = static_cast<double>(cropLength) / outLength;
    const double scale = std::max(f, 1.0);
    const double support = 3.0 * scale;
    std::vector<double> exact;
    std::vector<std::int32_t> fixed;
    for (std::int32_t j = 0; j < outLength; ++j) {
        const double centre = (j + 0.5) * f - 0.5;
        const auto lo = static_cast<std::int32_t>(
            std::max<double>(0.0, std::floor(centre - support) + 1.0));
        const auto hi = static_cast<std::int32_t>(
            std::min<double>(cropLength - 1.0, std::ceil(centre + support) - 1.0));
        exact.clear();
        double sum = 0.0;
        for (std::int32_t i = lo; i <= hi; ++i) {
            exact.push_back(Lanczos3((i - centre) / scale));
            sum += exact.back();
        }
        // Quantise, then give the rounding remainder to the largest weight so
        // the sum is exactly one.
        fixed.clear();
        std::int32_t total = 0;
        std::size_t largest = 0;
        for (std::size_t t = 0; t < exact.size(); ++t) {
            fixed.push_back(static_cast<std::int32_t>(std::lround(exact[t] / sum * kWeightOne)));
            total += fixed.back();
            if (exact[t] > exact[largest]) largest = t;
        }
        fixed[largest] += kWeightOne - total;
        // Zero weights at either end cost time and change nothing.
        std::size_t from = 0;
        std::size_t to = fixed.size();
        while (from < to && fixed[from] == 0) ++from;
        while (to > from && fixed[to - 1] == 0) --to;
        axis.first[static_cast<std::size_t>(j)] = lo + static_cast<std::int32_t>(from);
        for (std::size_t t = from; t < to; ++t) {
            assert(fixed[t] >= -32768 && fixed[t] <= 32767);
            axis.weights.push_back(static_cast<std::int16_t>(fixed[t]));
        }
        axis.offsets[static_cast<std::size_t>(j) + 1] = static_cast<std::int32_t>(axis.weights.size());
    }
}

void ResampleCropLanczos3With(ResampleKernels kernels, const RgbImage& src, std::int32_t originX,
                              std::int32_t originY, std::int32_t cropW, std::int32_t cropH, std::int32_t outW,
                              std::int32_t outH, std::uint8_t* out, ResampleScratch& scratch)
{
    assert(outW > 0 && outH > 0);
    const std::size_t outBytes = static_cast<std::size_t>(outW) * static_cast<std::size_t>(outH) * 3;
    // The part of the crop inside the source, in crop coordinates: [x0, x1) x [y0, y1).
    const std::int64_t x0 = std::clamp<std::int64_t>(-static_cast<std::int64_t>(originX), 0, std::max(cropW, 0));
    const std::int64_t x1 =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(src.Width()) - originX, x0, std::max(cropW, 0));
    const std::int64_t y0 = std::clamp<std::int64_t>(-static_cast<std::int64_t>(originY), 0, std::max(cropH, 0));
    const std::int64_t y1 =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(src.Height()) - originY, y0, std::max(cropH, 0));
    if (src.Empty() || x0 >= x1 || y0 >= y1) {
        std::memset(out, 0, outBytes);
        return;
    }

    BuildResampleAxis(cropW, outW, scratch.horizontal);
    BuildResampleAxis(cropH, outH, scratch.vertical);

    // Vertical pass first, over the source columns of the crop only. Either
    // order costs about the same: the first pass uses each covered source
    // value about six times whatever f is, the second pass is f times smaller
    // than the first on a square crop. Going down first lets the first pass
    // run over long contiguous source rows straight from the bitmap and skip
    // rows outside the source. Its rows are stored transposed, one column of
    // outH pixels per crop column (at most about 25 MB for a 16384-pixel crop),
    // so that the horizontal pass is again a weighted sum of contiguous
    // vectors.
    const auto columnCount = static_cast<std::size_t>(x1 - x0);
    const std::size_t rowLength = columnCount * 3;
    const std::size_t columnLength =
        (static_cast<std::size_t>(outH) * 3 + kColumnBlock) / kColumnBlock * kColumnBlock;
    if (scratch.columns.size() < columnCount * columnLength) scratch.columns.resize(columnCount * columnLength);
    if (scratch.row.size() < rowLength + 1) scratch.row.resize(rowLength + 1);
    if (scratch.outColumn.size() < columnLength) scratch.outColumn.resize(columnLength);
    std::int16_t* columns = scratch.columns.data();
    std::int16_t* row = scratch.row.data();

    std::vector<const std::uint8_t*>& rowPointers = scratch.rowPointers;
    const std::size_t byteOffset = static_cast<std::size_t>(originX + x0) * 3;
    for (std::int32_t i = 0; i < outH; ++i) {
        const std::size_t taps = ClippedTaps(scratch.vertical, i, y0, y1, scratch.tapIndex, scratch.tapWeight);
        if (taps == 0) {
            std::fill_n(row, rowLength, std::int16_t{0});
        } else {
            rowPointers.clear();
            for (const std::int32_t r : scratch.tapIndex)
                rowPointers.push_back(src.Row(static_cast<std::int32_t>(originY + y0 + r)) + byteOffset);
            Vertical(kernels, rowPointers.data(), scratch.tapWeight.data(), taps, rowLength, row);
        }
        // Each pixel moves as one 8-byte word; its fourth value lands where
        // the next output row's first value goes (or in the padding) and is
        // overwritten in turn.
        std::int16_t* dst = columns + static_cast<std::size_t>(i) * 3;
        for (std::size_t x = 0; x < columnCount; ++x) {
            std::memcpy(dst, row + 3 * x, 4 * sizeof(std::int16_t));
            dst += columnLength;
        }
    }

    // Horizontal pass, one output column at a time.
    std::vector<const std::int16_t*>& columnPointers = scratch.columnPointers;
    std::uint8_t* column = scratch.outColumn.data();
    const std::size_t outStride = static_cast<std::size_t>(outW) * 3;
    for (std::int32_t j = 0; j < outW; ++j) {
        const std::size_t taps = ClippedTaps(scratch.horizontal, j, x0, x1, scratch.tapIndex, scratch.tapWeight);
        if (taps == 0) {
            std::fill_n(column, columnLength, std::uint8_t{0});
        } else {
            columnPointers.clear();
            for (const std::int32_t c : scratch.tapIndex)
                columnPointers.push_back(columns + static_cast<std::size_t>(c) * columnLength);
            Horizontal(kernels, columnPointers.data(), scratch.tapWeight.data(), taps, columnLength, column);
        }
        // As above, four bytes a pixel where the fourth belongs to the next
        // column, still to be written; the last column moves three.
        std::uint8_t* dst = out + static_cast<std::size_t>(j) * 3;
        if (j + 1 < outW) {
            for (std::int32_t i = 0; i < outH; ++i) {
                std::memcpy(dst, column + static_cast<std::size_t>(i) * 3, 4);
                dst += outStride;
            }
        } else {
            for (std::int32_t i = 0; i < outH; ++i) {
                std::memcpy(dst, column + static_cast<std::size_t>(i) * 3, 3);
                dst += outStride;
            }
        }
    }
}

} // namespace detail

void ResampleCropLanczos3(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                          std::int32_t cropH, std::int32_t outW, std::int32_t outH, std::uint8_t* out,
                          ResampleScratch& scratch)
{
    detail::ResampleCropLanczos3With(detail::ResampleKernels::Fastest, src, originX, originY, cropW, cropH, outW,
                                     outH, out, scratch);
}

RgbImage ResampleCropLanczos3(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                              std::int32_t cropH, std::int32_t outW, std::int32_t outH)
{
    RgbImage result(outW, outH);
    ResampleScratch scratch;
    ResampleCropLanczos3(src, originX, originY, cropW, cropH, outW, outH, result.Data(), scratch);
    return result;
}

bool CropIsBlack(const RgbImage& src, std::int32_t originX, std::int32_t originY, std::int32_t cropW,
                 std::int32_t cropH)
{
    const std::int64_t left = std::max<std::int64_t>(originX, 0);
    const std::int64_t right = std::min<std::int64_t>(static_cast<std::int64_t>(originX) + cropW, src.Width());
    const std::int64_t top = std::max<std::int64_t>(originY, 0);
    const std::int64_t bottom = std::min<std::int64_t>(static_cast<std::int64_t>(originY) + cropH, src.Height());
    if (left >= right || top >= bottom) return true;
    const auto offset = static_cast<std::size_t>(left) * 3;
    const auto length = static_cast<std::size_t>(right - left) * 3;
    for (auto y = static_cast<std::int32_t>(top); y < bottom; ++y) {
        const std::uint8_t* p = src.Row(y) + offset;
        // OR 8 bytes at a time, four words per step; stop at the first row
        // with a non-zero byte.
        std::uint64_t any = 0;
        std::size_t k = 0;
        for (; k + 32 <= length; k += 32) {
            std::uint64_t w[4];
            std::memcpy(w, p + k, sizeof w);
            any |= (w[0] | w[1]) | (w[2] | w[3]);
        }
        for (; k + 8 <= length; k += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + k, sizeof w);
            any |= w;
        }
        for (; k < length; ++k) any |= p[k];
        if (any != 0) return false;
    }
    return true;
}

} // namespace orvane::image
