// The vector loops of every path: the kernels of lane_kernels.inc, written once with GCC vector
// types on a lane count, compiled three times: 128-bit lanes in plain C++ (SSE2 on any x86-64,
// NEON on ARM), 256-bit lanes for AVX2 and 512-bit lanes for AVX-512. Each lane does exactly the
// integer and float/double operations of blend_kernels.h or of the Julia loop, in their order; the
// file is built with -ffp-contract=off, so nothing fuses.
//
// Each copy is compiled under its own target rather than forced inline into a target function:
// GCC lowers the vector operations for the target of the function they are written in, and
// AVX-512 compares lowered for plain x86-64 come out element by element.
// The kernels pass wide vectors by value, which only matters to the ABI of calls between targets,
// and none are made.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#include <cstdlib>
#include <cstring>
#include <utility>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "raster/blend_kernels.h"
#include "raster/raster.h"

#define RASTER_LANES __attribute__((always_inline)) inline
// Loops over a few vectors that must become straight code, their vectors kept in registers; clang
// (the wasm build) leaves large bodies rolled, their arrays in memory.
#if defined(__clang__)
#define RASTER_UNROLL _Pragma("clang loop unroll(full)")
#else
#define RASTER_UNROLL
#endif

namespace raster {

namespace {

// True when rows[0 .. n-1] lie `stride` pixels apart, sources and destinations alike, far
// enough apart that no row's pixels overlap another's.
bool evenly_spaced(const Span* rows, int n, int w, long& stride)
{
    stride = rows[1].s - rows[0].s;
    const long reach = w + std::labs(rows[0].d - rows[0].s);
    if (std::labs(stride) < reach)
        return false;
    for (int r = 1; r < n; ++r)
        if (rows[r].s - rows[r - 1].s != stride || rows[r].d - rows[r - 1].d != stride)
            return false;
    return true;
}

}  // namespace

namespace lanes128 {
namespace {
constexpr int kWidth = 4;
#include "raster/lane_kernels.inc"
}  // namespace
}  // namespace lanes128

#if defined(__x86_64__) || defined(__i386__)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes256 {
namespace {
constexpr int kWidth = 8;
#include "raster/lane_kernels.inc"
}  // namespace
}  // namespace lanes256
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512bw")
namespace lanes512 {
namespace {
constexpr int kWidth = 16;
#include "raster/lane_kernels.inc"
}  // namespace
}  // namespace lanes512
#pragma GCC pop_options
#else
// Elsewhere only the 128-bit lanes exist; path() never names a wider path there.
namespace lanes256 = lanes128;
namespace lanes512 = lanes128;
#endif

void blend_rows(Path p, const Blend& bl, const Span* rows, int nrows, int w)
{
    (p == Path::avx512 ? lanes512::blend_rows
     : p == Path::avx2 ? lanes256::blend_rows
                       : lanes128::blend_rows)(bl, rows, nrows, w);
}

void blend_row_groups(Path p, const Blend& bl, const Span* rows, int nrows, int w)
{
    // Row groups load and store lane by lane; for the cheap trans and add blenders sixteen such
    // lanes cost more than the wider arithmetic saves, so only the hue takes 512-bit lanes.
    if (p == Path::avx512 && bl.kind != BlendKind::hue)
        p = Path::avx2;
    (p == Path::avx512 ? lanes512::blend_row_groups
     : p == Path::avx2 ? lanes256::blend_row_groups
                       : lanes128::blend_row_groups)(bl, rows, nrows, w);
}

void scale_blit(BITMAP* src, BITMAP* dst, int k, int x, int y)
{
    const Path p = path();
    const int w = src->w, h = src->h;
    if (p == Path::allegro || k < 1 || k > 4 || bitmap_color_depth(src) != 32 ||
        bitmap_color_depth(dst) != 32 || !is_memory_bitmap(src) || !is_linear_bitmap(dst) ||
        x < 0 || y < 0 || x + w * k > dst->w || y + h * k > dst->h) {
        ::stretch_blit(src, dst, 0, 0, w, h, x, y, w * k, h * k);
        return;
    }
    auto widen = p == Path::avx512 ? lanes512::widen_row
                 : p == Path::avx2 ? lanes256::widen_row
                                   : lanes128::widen_row;
    for (int r = 0; r < h; r++) {
        const auto* in = reinterpret_cast<const uint32_t*>(src->line[r]);
        auto* first = reinterpret_cast<uint32_t*>(dst->line[y + r * k]) + x;
        widen(in, first, w, k);
        // The other k - 1 rows of the block row are copies of the first.
        for (int j = 1; j < k; j++)
            std::memcpy(reinterpret_cast<uint32_t*>(dst->line[y + r * k + j]) + x, first,
                        static_cast<size_t>(w) * k * 4);
    }
}

bool escape_counts(const double* re, const double* im, int n, double c_re, double c_im, int limit,
                   int* counts)
{
    const Path p = path();
    if (p == Path::allegro)
        return false;
    if (limit <= 0) {
        for (int k = 0; k < n; k++)
            counts[k] = 0;
        return true;
    }
    (p == Path::avx512 ? lanes512::escape_counts
     : p == Path::avx2 ? lanes256::escape_counts
                       : lanes128::escape_counts)(re, im, n, c_re, c_im, limit, counts);
    return true;
}

}  // namespace raster
