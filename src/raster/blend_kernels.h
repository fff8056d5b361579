// Allegro 4.4's 32-bit trans, add and hue blenders restated per pixel, for the raster row loops.
// Every integer wrap and every float/double operation is kept as Allegro's C code does it; this
// file is compiled with -ffp-contract=off and never with fast-math.
#pragma once
#include <cstdint>

#include "raster/raster.h"

namespace raster {

constexpr uint32_t kMaskColour = 0xFF00FF;  // draw_trans_sprite skips source pixels of this value

enum class BlendKind { trans, add, hue };

// The blender the row loops apply, with Allegro's alpha as the blender function receives it.
struct Blend {
    BlendKind kind;
    uint32_t n;  // trans: alpha + 1 when non-zero (mod 2^32); add: 0..65536; hue: 0..255
};

// _blender_trans24. Allegro computes in 64-bit unsigned long, but only bits 8..31 of each
// product reach the masked result, and those are the same modulo 2^32.
inline uint32_t blend_trans(uint32_t x, uint32_t y, uint32_t n)
{
    const uint32_t rb = (((((x & 0xFF00FFu) - (y & 0xFF00FFu)) * n) >> 8) + y) & 0xFF00FFu;
    const uint32_t yg = y & 0xFF00u;
    const uint32_t g = (((((x & 0xFF00u) - yg) * n) >> 8) + yg) & 0xFF00u;
    return rb | g;
}

// _blender_add24 for n <= 65536, where no sum exceeds 32 bits.
inline uint32_t blend_add(uint32_t x, uint32_t y, uint32_t n)
{
    uint32_t r = ((y >> 16) & 0xFF) + ((x >> 16) & 0xFF) * n / 256;
    uint32_t g = ((y >> 8) & 0xFF) + ((x >> 8) & 0xFF) * n / 256;
    uint32_t b = (y & 0xFF) + (x & 0xFF) * n / 256;
    r = r < 255 ? r : 255;
    g = g < 255 ? g : 255;
    b = b < 255 ? b : 255;
    return (r << 16) | (g << 8) | b;
}

// Allegro's rgb_to_hsv, single precision as there.
inline void hue_rgb_to_hsv(int r, int g, int b, float* h, float* s, float* v)
{
    int delta;
    if (r > g) {
        if (b > r) {
            delta = b - g;
            *h = 240.0f + ((r - g) * 60) / (float)delta;
            *s = (float)delta / (float)b;
            *v = (float)b * (1.0f / 255.0f);
        } else {
            delta = r - (g < b ? g : b);
            *h = ((g - b) * 60) / (float)delta;
            if (*h < 0.0f)
                *h += 360.0f;
            *s = (float)delta / (float)r;
            *v = (float)r * (1.0f / 255.0f);
        }
    } else {
        if (b > g) {
            delta = b - r;
            *h = 240.0f + ((r - g) * 60) / (float)delta;
            *s = (float)delta / (float)b;
            *v = (float)b * (1.0f / 255.0f);
        } else {
            delta = g - (r < b ? r : b);
            if (delta == 0) {
                *h = 0.0f;
                if (g == 0) {
                    *s = *v = 0.0f;
                } else {
                    *s = (float)delta / (float)g;
                    *v = (float)g * (1.0f / 255.0f);
                }
            } else {
                *h = 120.0f + ((b - r) * 60) / (float)delta;
                *s = (float)delta / (float)g;
                *v = (float)g * (1.0f / 255.0f);
            }
        }
    }
}

// Allegro's hsv_to_rgb: fmod and the division by 60 in double, the rest in float. For h in
// (-360, 720), the range blend_hue passes, fmod(h, 360) is h or h - 360, both exact.
inline void hue_hsv_to_rgb(float h, float s, float v, int* r, int* g, int* b)
{
    v *= 255.0f;
    if (s == 0.0f) {
        *r = *g = *b = v + 0.5f;
        return;
    }
    const double wrapped = h >= 360.0f ? (double)h - 360.0 : (double)h;
    h = wrapped / (double)60.0f;
    if (h < 0.0f)
        h += 6.0f;
    const int i = (int)h;
    const float f = h - i;
    const float x = v * s;
    const float y = x * f;
    v += 0.5f;
    const float z = v - x;
    switch (i) {
    case 6:
    case 0:
        *r = v;
        *g = z + y;
        *b = z;
        break;
    case 1:
        *r = v - y;
        *g = v;
        *b = z;
        break;
    case 2:
        *r = z;
        *g = v;
        *b = z + y;
        break;
    case 3:
        *r = z;
        *g = v - y;
        *b = v;
        break;
    case 4:
        *r = z + y;
        *g = z;
        *b = v;
        break;
    case 5:
        *r = v;
        *g = z;
        *b = v - y;
        break;
    }
}

// _blender_hue24: the source's saturation and value, its hue moved n/255 toward the destination's.
inline uint32_t blend_hue(uint32_t x, uint32_t y, uint32_t n)
{
    float xh, xs, xv, yh, ys, yv;
    int r = 0, g = 0, b = 0;
    hue_rgb_to_hsv((x >> 16) & 0xFF, (x >> 8) & 0xFF, x & 0xFF, &xh, &xs, &xv);
    hue_rgb_to_hsv((y >> 16) & 0xFF, (y >> 8) & 0xFF, y & 0xFF, &yh, &ys, &yv);
    xh = (yh - xh) * (float)n / 255 + xh;
    hue_hsv_to_rgb(xh, xs, xv, &r, &g, &b);
    return ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
}

inline uint32_t blend_one(const Blend& bl, uint32_t x, uint32_t y)
{
    switch (bl.kind) {
    case BlendKind::trans:
        return blend_trans(x, y, bl.n);
    case BlendKind::add:
        return blend_add(x, y, bl.n);
    case BlendKind::hue:
        return blend_hue(x, y, bl.n);
    }
    return y;
}

// One row span of a sprite: `count` source pixels at `s` over destination pixels at `d`.
struct Span {
    const uint32_t* s;
    uint32_t* d;
};

// The vector row loops of each path (lanes.cpp), one template for every lane width.
// blend_rows draws the rows one after another, a vector of pixels at a time; the caller guarantees
// no destination pixel of a row is read later in the same row as a source. blend_row_groups draws
// independent rows side by side, one row per lane, pixel by pixel, so a pixel may depend on the one
// just written in its row. `p` is portable, avx2 or avx512, and one the CPU has.
void blend_rows(Path p, const Blend& bl, const Span* rows, int nrows, int w);
void blend_row_groups(Path p, const Blend& bl, const Span* rows, int nrows, int w);

}  // namespace raster
