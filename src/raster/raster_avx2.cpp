// AVX2 versions of the raster row loops: eight pixels per step, each lane doing exactly the
// integer and float operations of blend_kernels.h (no FMA: this file is built with
// -ffp-contract=off and only the avx2 target, which has none). Called only when the CPU has AVX2.
#include <immintrin.h>

#include <cstdlib>

#include "raster/blend_kernels.h"

#define RASTER_AVX2 __attribute__((target("avx2")))
#define RASTER_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace raster {

namespace {

RASTER_AVX2_INLINE __m256i trans8(__m256i x, __m256i y, __m256i n)
{
    const __m256i rbmask = _mm256_set1_epi32(0xFF00FF);
    const __m256i gmask = _mm256_set1_epi32(0xFF00);
    const __m256i xrb = _mm256_and_si256(x, rbmask);
    const __m256i yrb = _mm256_and_si256(y, rbmask);
    __m256i rb = _mm256_mullo_epi32(_mm256_sub_epi32(xrb, yrb), n);
    rb = _mm256_and_si256(_mm256_add_epi32(_mm256_srli_epi32(rb, 8), y), rbmask);
    const __m256i xg = _mm256_and_si256(x, gmask);
    const __m256i yg = _mm256_and_si256(y, gmask);
    __m256i g = _mm256_mullo_epi32(_mm256_sub_epi32(xg, yg), n);
    g = _mm256_and_si256(_mm256_add_epi32(_mm256_srli_epi32(g, 8), yg), gmask);
    return _mm256_or_si256(rb, g);
}

RASTER_AVX2_INLINE __m256i add8(__m256i x, __m256i y, __m256i n)
{
    const __m256i ff = _mm256_set1_epi32(0xFF);
    __m256i out = _mm256_setzero_si256();
    for (int shift = 0; shift <= 16; shift += 8) {
        const __m256i xc = _mm256_and_si256(_mm256_srli_epi32(x, shift), ff);
        const __m256i yc = _mm256_and_si256(_mm256_srli_epi32(y, shift), ff);
        __m256i c = _mm256_add_epi32(yc, _mm256_srli_epi32(_mm256_mullo_epi32(xc, n), 8));
        c = _mm256_min_epu32(c, ff);
        out = _mm256_or_si256(out, _mm256_slli_epi32(c, shift));
    }
    return out;
}

// rgb_to_hsv on eight pixels: the branch of each lane chosen by masks, the same operations in it.
RASTER_AVX2_INLINE void rgb_to_hsv8(__m256i px, __m256& h, __m256& s, __m256& v)
{
    const __m256i ff = _mm256_set1_epi32(0xFF);
    const __m256i r = _mm256_and_si256(_mm256_srli_epi32(px, 16), ff);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi32(px, 8), ff);
    const __m256i b = _mm256_and_si256(px, ff);
    const __m256i r_gt_g = _mm256_cmpgt_epi32(r, g);
    // Blue is the maximum (Allegro's b>r>g and b>g>=r branches): b > max(r, g).
    const __m256i b_max = _mm256_cmpgt_epi32(b, _mm256_max_epi32(r, g));
    // Red is the maximum (r>g, r>=b); otherwise green (g>=r, g>=b).
    const __m256i r_max = _mm256_andnot_si256(b_max, r_gt_g);
    const __m256i mx = _mm256_blendv_epi8(_mm256_blendv_epi8(g, r, r_max), b, b_max);
    const __m256i mn = _mm256_min_epi32(_mm256_min_epi32(r, g), b);
    const __m256i delta = _mm256_sub_epi32(mx, mn);
    const __m256i sixty = _mm256_set1_epi32(60);
    const __m256i num_b = _mm256_mullo_epi32(_mm256_sub_epi32(r, g), sixty);
    const __m256i num_r = _mm256_mullo_epi32(_mm256_sub_epi32(g, b), sixty);
    const __m256i num_g = _mm256_mullo_epi32(_mm256_sub_epi32(b, r), sixty);
    const __m256i num = _mm256_blendv_epi8(_mm256_blendv_epi8(num_g, num_r, r_max), num_b, b_max);
    const __m256 off = _mm256_blendv_ps(
        _mm256_blendv_ps(_mm256_set1_ps(120.0f), _mm256_set1_ps(0.0f), _mm256_castsi256_ps(r_max)),
        _mm256_set1_ps(240.0f), _mm256_castsi256_ps(b_max));
    const __m256 fdelta = _mm256_cvtepi32_ps(delta);
    const __m256 fmx = _mm256_cvtepi32_ps(mx);
    const __m256 zero = _mm256_setzero_ps();
    __m256 hh = _mm256_add_ps(off, _mm256_div_ps(_mm256_cvtepi32_ps(num), fdelta));
    // Only the red branch can come out negative; the others start at 60 or more.
    const __m256 neg = _mm256_cmp_ps(hh, zero, _CMP_LT_OQ);
    hh = _mm256_blendv_ps(hh, _mm256_add_ps(hh, _mm256_set1_ps(360.0f)), neg);
    __m256 ss = _mm256_div_ps(fdelta, fmx);
    // Grey (only in the green branch): hue and saturation 0.
    const __m256 grey = _mm256_castsi256_ps(_mm256_cmpeq_epi32(delta, _mm256_setzero_si256()));
    h = _mm256_blendv_ps(hh, zero, grey);
    s = _mm256_blendv_ps(ss, zero, grey);
    v = _mm256_mul_ps(fmx, _mm256_set1_ps(1.0f / 255.0f));
}

// hsv_to_rgb on eight lanes, packed as 0x00RRGGBB.
RASTER_AVX2_INLINE __m256i hsv_to_rgb8(__m256 h, __m256 s, __m256 v)
{
    v = _mm256_mul_ps(v, _mm256_set1_ps(255.0f));
    const __m256 zero = _mm256_setzero_ps();
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256i grey = _mm256_cvttps_epi32(_mm256_add_ps(v, half));
    const __m256i s_zero = _mm256_castps_si256(_mm256_cmp_ps(s, zero, _CMP_EQ_OQ));

    // fmod(h, 360) for h in (-360, 720): h itself, or h - 360 (exact) from 360 up.
    const __m256 full = _mm256_set1_ps(360.0f);
    const __m256 wrap = _mm256_cmp_ps(h, full, _CMP_GE_OQ);
    h = _mm256_blendv_ps(h, _mm256_sub_ps(h, full), wrap);
    // The division by 60 in double, then back to float, as Allegro's C does.
    const __m256d sixty = _mm256_set1_pd(60.0);
    const __m128 lo = _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(h)), sixty));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(h, 1)), sixty));
    h = _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
    const __m256 neg = _mm256_cmp_ps(h, zero, _CMP_LT_OQ);
    h = _mm256_blendv_ps(h, _mm256_add_ps(h, _mm256_set1_ps(6.0f)), neg);

    const __m256i i = _mm256_cvttps_epi32(h);
    const __m256 f = _mm256_sub_ps(h, _mm256_cvtepi32_ps(i));
    const __m256 x = _mm256_mul_ps(v, s);
    const __m256 y = _mm256_mul_ps(x, f);
    v = _mm256_add_ps(v, half);
    const __m256 z = _mm256_sub_ps(v, x);
    const __m256i V = _mm256_cvttps_epi32(v);
    const __m256i Z = _mm256_cvttps_epi32(z);
    const __m256i ZY = _mm256_cvttps_epi32(_mm256_add_ps(z, y));
    const __m256i VY = _mm256_cvttps_epi32(_mm256_sub_ps(v, y));

    const __m256i c0 = _mm256_or_si256(_mm256_cmpeq_epi32(i, _mm256_setzero_si256()),
                                       _mm256_cmpeq_epi32(i, _mm256_set1_epi32(6)));
    const __m256i c1 = _mm256_cmpeq_epi32(i, _mm256_set1_epi32(1));
    const __m256i c2 = _mm256_cmpeq_epi32(i, _mm256_set1_epi32(2));
    const __m256i c3 = _mm256_cmpeq_epi32(i, _mm256_set1_epi32(3));
    const __m256i c4 = _mm256_cmpeq_epi32(i, _mm256_set1_epi32(4));
    // Start from case 5 (r=v, g=z, b=v-y) and overwrite with the case each lane is in.
    __m256i r = V, g = Z, b = VY;
    r = _mm256_blendv_epi8(r, V, c0);  g = _mm256_blendv_epi8(g, ZY, c0); b = _mm256_blendv_epi8(b, Z, c0);
    r = _mm256_blendv_epi8(r, VY, c1); g = _mm256_blendv_epi8(g, V, c1);  b = _mm256_blendv_epi8(b, Z, c1);
    r = _mm256_blendv_epi8(r, Z, c2);  g = _mm256_blendv_epi8(g, V, c2);  b = _mm256_blendv_epi8(b, ZY, c2);
    r = _mm256_blendv_epi8(r, Z, c3);  g = _mm256_blendv_epi8(g, VY, c3); b = _mm256_blendv_epi8(b, V, c3);
    r = _mm256_blendv_epi8(r, ZY, c4); g = _mm256_blendv_epi8(g, Z, c4);  b = _mm256_blendv_epi8(b, V, c4);
    r = _mm256_blendv_epi8(r, grey, s_zero);
    g = _mm256_blendv_epi8(g, grey, s_zero);
    b = _mm256_blendv_epi8(b, grey, s_zero);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(g, 8)), b);
}

RASTER_AVX2_INLINE __m256i hue8(__m256i x, __m256i y, __m256 n)
{
    __m256 xh, xs, xv, yh, ys, yv;
    rgb_to_hsv8(x, xh, xs, xv);
    rgb_to_hsv8(y, yh, ys, yv);
    // T(xh, yh, n): ((yh - xh) * n / 255 + xh) in float.
    xh = _mm256_add_ps(_mm256_div_ps(_mm256_mul_ps(_mm256_sub_ps(yh, xh), n), _mm256_set1_ps(255.0f)), xh);
    return hsv_to_rgb8(xh, xs, xv);
}

// Blends eight source pixels over eight destination pixels; lanes whose source is the mask colour
// keep the destination.
RASTER_AVX2_INLINE __m256i blend8(const Blend& bl, __m256i s, __m256i d)
{
    __m256i out;
    switch (bl.kind) {
    case BlendKind::trans: out = trans8(s, d, _mm256_set1_epi32(static_cast<int>(bl.n))); break;
    case BlendKind::add: out = add8(s, d, _mm256_set1_epi32(static_cast<int>(bl.n))); break;
    default: out = hue8(s, d, _mm256_set1_ps(static_cast<float>(bl.n))); break;
    }
    const __m256i skip = _mm256_cmpeq_epi32(s, _mm256_set1_epi32(static_cast<int>(kMaskColour)));
    return _mm256_blendv_epi8(out, d, skip);
}

template <BlendKind K>
RASTER_AVX2 void rows_loop(const Blend& bl, const Span* rows, int nrows, int w)
{
    const Blend k{K, bl.n};
    for (int r = 0; r < nrows; ++r) {
        const uint32_t* s = rows[r].s;
        uint32_t* d = rows[r].d;
        int x = 0;
        for (; x + 8 <= w; x += 8) {
            // Both loads come before the store: safe because no destination pixel of this row
            // is read later as a source (the caller checks).
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), blend8(k, sv, dv));
        }
        for (; x < w; ++x)
            if (s[x] != kMaskColour)
                d[x] = blend_one(k, s[x], d[x]);
    }
}

// Rows g[0 .. 8*G-1], one per lane, column by column, each column read after the previous
// column's writes (a pixel may be the one just written). `stride` is the distance in pixels
// between consecutive rows' pointers, the same for sources and destinations.
template <BlendKind K, int G>
RASTER_AVX2 void row_group_columns(const Blend& bl, const Span* g, int w, long stride)
{
    const Blend k{K, bl.n};
    const __m256i lane_rows = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                 _mm256_set1_epi32(static_cast<int>(stride)));
    for (int x = 0; x < w; ++x) {
        __m256i sv[G], dv[G], res[G];
        for (int j = 0; j < G; ++j) {
            sv[j] = _mm256_i32gather_epi32(reinterpret_cast<const int*>(g[8 * j].s + x), lane_rows, 4);
            dv[j] = _mm256_i32gather_epi32(reinterpret_cast<const int*>(g[8 * j].d + x), lane_rows, 4);
        }
        for (int j = 0; j < G; ++j)
            res[j] = blend8(k, sv[j], dv[j]);
        for (int j = 0; j < G; ++j) {
            // Masked lanes hold the destination unchanged; writing it back is a no-op.
            alignas(32) uint32_t out[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(out), res[j]);
            for (int l = 0; l < 8; ++l)
                g[8 * j + l].d[x] = out[l];
        }
    }
}

// True when rows[0 .. n-1] lie `stride` pixels apart, sources and destinations alike, far
// enough apart that no row's pixels overlap another's, with every lane's offset within an int.
bool evenly_spaced(const Span* rows, int n, int w, long& stride)
{
    stride = rows[1].s - rows[0].s;
    const long reach = w + std::labs(rows[0].d - rows[0].s);
    if (std::labs(stride) < reach || std::labs(stride) > 0x7FFFFFFFL / 8)
        return false;
    for (int r = 1; r < n; ++r)
        if (rows[r].s - rows[r - 1].s != stride || rows[r].d - rows[r - 1].d != stride)
            return false;
    return true;
}

template <BlendKind K>
RASTER_AVX2 void row_groups(const Blend& bl, const Span* rows, int nrows, int w)
{
    long stride = 0;
    int r = 0;
    if (nrows >= 8 && evenly_spaced(rows, nrows, w, stride)) {
        // Each column waits for the one just written in its rows, a long chain of divisions:
        // four groups of eight rows per column give the CPU independent chains to overlap.
        for (; r + 32 <= nrows; r += 32)
            row_group_columns<K, 4>(bl, rows + r, w, stride);
        for (; r + 8 <= nrows; r += 8)
            row_group_columns<K, 1>(bl, rows + r, w, stride);
    }
    for (; r < nrows; ++r) {
        const uint32_t* s = rows[r].s;
        uint32_t* d = rows[r].d;
        for (int x = 0; x < w; ++x)
            if (s[x] != kMaskColour)
                d[x] = blend_one(bl, s[x], d[x]);
    }
}

}  // namespace

RASTER_AVX2 void blend_rows_avx2(const Blend& bl, const Span* rows, int nrows, int w)
{
    switch (bl.kind) {
    case BlendKind::trans: rows_loop<BlendKind::trans>(bl, rows, nrows, w); break;
    case BlendKind::add: rows_loop<BlendKind::add>(bl, rows, nrows, w); break;
    case BlendKind::hue: rows_loop<BlendKind::hue>(bl, rows, nrows, w); break;
    }
}

RASTER_AVX2 void blend_row_groups_avx2(const Blend& bl, const Span* rows, int nrows, int w)
{
    switch (bl.kind) {
    case BlendKind::trans: row_groups<BlendKind::trans>(bl, rows, nrows, w); break;
    case BlendKind::add: row_groups<BlendKind::add>(bl, rows, nrows, w); break;
    case BlendKind::hue: row_groups<BlendKind::hue>(bl, rows, nrows, w); break;
    }
}

}  // namespace raster
