// AVX-512 version of the hue row groups: sixteen rows per vector, the operations of
// blend_kernels.h lane by lane (no FMA: this file is built with -ffp-contract=off and no
// intrinsic here fuses). Called only when the CPU has AVX-512 F, DQ and BW.
// GCC 12's AVX-512 intrinsics start from _mm512_undefined values and warn about them as if unset.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <cstdlib>

#include "raster/blend_kernels.h"

#define RASTER_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw")))
#define RASTER_AVX512_INLINE __attribute__((target("avx512f,avx512dq,avx512bw"), always_inline)) inline

namespace raster {

namespace {

RASTER_AVX512_INLINE void rgb_to_hsv16(__m512i px, __m512& h, __m512& s, __m512& v)
{
    const __m512i ff = _mm512_set1_epi32(0xFF);
    const __m512i r = _mm512_and_si512(_mm512_srli_epi32(px, 16), ff);
    const __m512i g = _mm512_and_si512(_mm512_srli_epi32(px, 8), ff);
    const __m512i b = _mm512_and_si512(px, ff);
    const __mmask16 r_gt_g = _mm512_cmpgt_epi32_mask(r, g);
    // Blue is the maximum (b > max(r, g)); red when r > g and r >= b; otherwise green.
    const __mmask16 b_max = _mm512_cmpgt_epi32_mask(b, _mm512_max_epi32(r, g));
    const __mmask16 r_max = _kandn_mask16(b_max, r_gt_g);
    const __m512i mx = _mm512_mask_blend_epi32(b_max, _mm512_mask_blend_epi32(r_max, g, r), b);
    const __m512i delta = _mm512_sub_epi32(mx, _mm512_min_epi32(_mm512_min_epi32(r, g), b));
    const __m512i sixty = _mm512_set1_epi32(60);
    const __m512i num_b = _mm512_mullo_epi32(_mm512_sub_epi32(r, g), sixty);
    const __m512i num_r = _mm512_mullo_epi32(_mm512_sub_epi32(g, b), sixty);
    const __m512i num_g = _mm512_mullo_epi32(_mm512_sub_epi32(b, r), sixty);
    const __m512i num = _mm512_mask_blend_epi32(b_max, _mm512_mask_blend_epi32(r_max, num_g, num_r), num_b);
    const __m512 off = _mm512_mask_blend_ps(
        b_max, _mm512_mask_blend_ps(r_max, _mm512_set1_ps(120.0f), _mm512_set1_ps(0.0f)), _mm512_set1_ps(240.0f));
    const __m512 fdelta = _mm512_cvtepi32_ps(delta);
    const __m512 fmx = _mm512_cvtepi32_ps(mx);
    const __m512 zero = _mm512_setzero_ps();
    __m512 hh = _mm512_add_ps(off, _mm512_div_ps(_mm512_cvtepi32_ps(num), fdelta));
    hh = _mm512_mask_add_ps(hh, _mm512_cmp_ps_mask(hh, zero, _CMP_LT_OQ), hh, _mm512_set1_ps(360.0f));
    const __mmask16 grey = _mm512_cmpeq_epi32_mask(delta, _mm512_setzero_si512());
    h = _mm512_mask_mov_ps(hh, grey, zero);
    s = _mm512_mask_mov_ps(_mm512_div_ps(fdelta, fmx), grey, zero);
    v = _mm512_mul_ps(fmx, _mm512_set1_ps(1.0f / 255.0f));
}

RASTER_AVX512_INLINE __m512i hsv_to_rgb16(__m512 h, __m512 s, __m512 v)
{
    v = _mm512_mul_ps(v, _mm512_set1_ps(255.0f));
    const __m512 zero = _mm512_setzero_ps();
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512i grey = _mm512_cvttps_epi32(_mm512_add_ps(v, half));
    const __mmask16 s_zero = _mm512_cmp_ps_mask(s, zero, _CMP_EQ_OQ);

    // fmod(h, 360) for h in (-360, 720): h itself, or h - 360 (exact) from 360 up.
    const __m512 full = _mm512_set1_ps(360.0f);
    h = _mm512_mask_sub_ps(h, _mm512_cmp_ps_mask(h, full, _CMP_GE_OQ), h, full);
    // The division by 60 in double, then back to float, as Allegro's C does.
    const __m512d sixty = _mm512_set1_pd(60.0);
    const __m256 lo = _mm512_cvtpd_ps(_mm512_div_pd(_mm512_cvtps_pd(_mm512_castps512_ps256(h)), sixty));
    const __m256 hi = _mm512_cvtpd_ps(_mm512_div_pd(_mm512_cvtps_pd(_mm512_extractf32x8_ps(h, 1)), sixty));
    h = _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
    h = _mm512_mask_add_ps(h, _mm512_cmp_ps_mask(h, zero, _CMP_LT_OQ), h, _mm512_set1_ps(6.0f));

    const __m512i i = _mm512_cvttps_epi32(h);
    const __m512 f = _mm512_sub_ps(h, _mm512_cvtepi32_ps(i));
    const __m512 x = _mm512_mul_ps(v, s);
    const __m512 y = _mm512_mul_ps(x, f);
    v = _mm512_add_ps(v, half);
    const __m512 z = _mm512_sub_ps(v, x);
    const __m512i V = _mm512_cvttps_epi32(v);
    const __m512i Z = _mm512_cvttps_epi32(z);
    const __m512i ZY = _mm512_cvttps_epi32(_mm512_add_ps(z, y));
    const __m512i VY = _mm512_cvttps_epi32(_mm512_sub_ps(v, y));

    const __mmask16 c0 = _mm512_cmpeq_epi32_mask(i, _mm512_setzero_si512()) |
                         _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(6));
    const __mmask16 c1 = _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(1));
    const __mmask16 c2 = _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(2));
    const __mmask16 c3 = _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(3));
    const __mmask16 c4 = _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(4));
    // Start from sector 5 (r=v, g=z, b=v-y) and overwrite with the sector each lane is in.
    __m512i r = V, g = Z, b = VY;
    r = _mm512_mask_mov_epi32(r, c0, V);  g = _mm512_mask_mov_epi32(g, c0, ZY); b = _mm512_mask_mov_epi32(b, c0, Z);
    r = _mm512_mask_mov_epi32(r, c1, VY); g = _mm512_mask_mov_epi32(g, c1, V);  b = _mm512_mask_mov_epi32(b, c1, Z);
    r = _mm512_mask_mov_epi32(r, c2, Z);  g = _mm512_mask_mov_epi32(g, c2, V);  b = _mm512_mask_mov_epi32(b, c2, ZY);
    r = _mm512_mask_mov_epi32(r, c3, Z);  g = _mm512_mask_mov_epi32(g, c3, VY); b = _mm512_mask_mov_epi32(b, c3, V);
    r = _mm512_mask_mov_epi32(r, c4, ZY); g = _mm512_mask_mov_epi32(g, c4, Z);  b = _mm512_mask_mov_epi32(b, c4, V);
    r = _mm512_mask_mov_epi32(r, s_zero, grey);
    g = _mm512_mask_mov_epi32(g, s_zero, grey);
    b = _mm512_mask_mov_epi32(b, s_zero, grey);
    return _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi32(r, 16), _mm512_slli_epi32(g, 8)), b);
}

RASTER_AVX512_INLINE __m512i hue16(__m512i x, __m512i y, __m512 n)
{
    __m512 xh, xs, xv, yh, ys, yv;
    rgb_to_hsv16(x, xh, xs, xv);
    rgb_to_hsv16(y, yh, ys, yv);
    // T(xh, yh, n): ((yh - xh) * n / 255 + xh) in float.
    xh = _mm512_add_ps(_mm512_div_ps(_mm512_mul_ps(_mm512_sub_ps(yh, xh), n), _mm512_set1_ps(255.0f)), xh);
    return hsv_to_rgb16(xh, xs, xv);
}

// Rows g[0 .. 16*G-1], one per lane, column by column, each column read after the previous
// column's writes; lanes whose source is the mask colour are not written.
template <int G>
RASTER_AVX512 void hue_columns(const Blend& bl, const Span* g, int w, long stride)
{
    const __m512i lane_rows = _mm512_mullo_epi32(
        _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
        _mm512_set1_epi32(static_cast<int>(stride)));
    const __m512 n = _mm512_set1_ps(static_cast<float>(bl.n));
    const __m512i mask_colour = _mm512_set1_epi32(static_cast<int>(kMaskColour));
    for (int x = 0; x < w; ++x) {
        __m512i sv[G], dv[G];
        for (int j = 0; j < G; ++j) {
            sv[j] = _mm512_i32gather_epi32(lane_rows, g[16 * j].s + x, 4);
            dv[j] = _mm512_i32gather_epi32(lane_rows, g[16 * j].d + x, 4);
        }
        for (int j = 0; j < G; ++j) {
            const __mmask16 draw = _mm512_cmpneq_epi32_mask(sv[j], mask_colour);
            _mm512_mask_i32scatter_epi32(g[16 * j].d + x, draw, lane_rows, hue16(sv[j], dv[j], n), 4);
        }
    }
}

}  // namespace

RASTER_AVX512 void hue_row_groups_avx512(const Blend& bl, const Span* rows, int nrows, int w)
{
    int r = 0;
    if (nrows >= 16) {
        // Rows evenly spaced and far enough apart not to overlap, as the gathers assume.
        const long stride = rows[1].s - rows[0].s;
        bool even = std::labs(stride) >= w + std::labs(rows[0].d - rows[0].s) &&
                    std::labs(stride) <= 0x7FFFFFFFL / 16;
        for (int k = 1; even && k < nrows; ++k)
            even = rows[k].s - rows[k - 1].s == stride && rows[k].d - rows[k - 1].d == stride;
        if (even) {
            for (; r + 32 <= nrows; r += 32)
                hue_columns<2>(bl, rows + r, w, stride);
            for (; r + 16 <= nrows; r += 16)
                hue_columns<1>(bl, rows + r, w, stride);
        }
    }
    if (r < nrows)
        blend_row_groups_avx2(bl, rows + r, nrows - r, w);
}

}  // namespace raster
