// The raster fast paths: the guards that decide when Allegro's result can be reproduced, direct
// row access, line stepping, and the choice of the vector loops' width.
#include "raster/raster.h"

#include <allegro/internal/aintern.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "raster/blend_kernels.h"

extern "C" GFX_VTABLE __linear_vtable32;

namespace raster {

namespace {

const char* const kPathNames[] = {"allegro", "portable", "avx2", "avx512"};

}  // namespace

const char* path_name(Path p)
{
    return kPathNames[static_cast<int>(p)];
}

bool parse_path(const std::string& name, Path& out)
{
    for (int k = 0; k < 4; k++)
        if (name == kPathNames[k]) {
            out = static_cast<Path>(k);
            return true;
        }
    return false;
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
bool cpu_has_avx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

bool cpu_has_avx512()
{
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512dq") &&
                            __builtin_cpu_supports("avx512bw");
    return has;
}
#else
// Other processors run the 128-bit lanes (NEON on ARM).
bool cpu_has_avx2()
{
    return false;
}
bool cpu_has_avx512()
{
    return false;
}
#endif

// STREAM8_RASTER=allegro|portable|avx2|avx512 chooses the starting path, so the benchmark and
// the recorder can run the show with the fast paths off without a flag of their own.
Path path_from_environment()
{
    const char* e = std::getenv("STREAM8_RASTER");
    Path p = Path::avx512;
    if (e)
        parse_path(e, p);
    return p;
}

Path g_path = path_from_environment();

// The one test of whether the fast code may address a bitmap's pixels through its rows: not on
// the allegro path, only a 32-bit memory bitmap drawn by Allegro's generic linear C routines
// (which the fast code restates), and only in solid drawing mode.
bool addressable(BITMAP* bmp)
{
    return bmp && g_path != Path::allegro && is_memory_bitmap(bmp) &&
           bmp->vtable == &__linear_vtable32 && _drawing_mode == DRAW_MODE_SOLID;
}

bool standard_24bit_shifts()
{
    return _rgb_r_shift_24 == 16 && _rgb_g_shift_24 == 8 && _rgb_b_shift_24 == 0;
}

// The blender Allegro would call for 32-bit pixels, when it is one these loops restate exactly.
bool known_blender(Blend& bl)
{
    if (_blender_func32 == _blender_trans24) {
        // Allegro: n++ when non-zero, on an unsigned long; its low 32 bits are all that matter.
        const uint32_t n = static_cast<uint32_t>(_blender_alpha);
        bl = {BlendKind::trans, n ? n + 1 : 0};
        return true;
    }
    if (!standard_24bit_shifts())
        return false;
    if (_blender_func32 == _blender_add24 && _blender_alpha >= 0 && _blender_alpha <= 65536) {
        bl = {BlendKind::add, static_cast<uint32_t>(_blender_alpha)};
        return true;
    }
    // n <= 255 keeps the moved hue within (-360, 720), the range the AVX2 fmod covers.
    if (_blender_func32 == _blender_hue24 && _blender_alpha >= 0 && _blender_alpha <= 255) {
        bl = {BlendKind::hue, static_cast<uint32_t>(_blender_alpha)};
        return true;
    }
    return false;
}

// Address range of a bitmap's pixels, for telling apart bitmaps that share memory.
void pixel_range(BITMAP* bmp, uintptr_t& lo, uintptr_t& hi)
{
    const uintptr_t a = reinterpret_cast<uintptr_t>(bmp->line[0]);
    const uintptr_t b = reinterpret_cast<uintptr_t>(bmp->line[bmp->h - 1]);
    lo = std::min(a, b);
    hi = std::max(a, b) + static_cast<uintptr_t>(bmp->w) * 4;
}

bool share_memory(BITMAP* a, BITMAP* b)
{
    uintptr_t alo, ahi, blo, bhi;
    pixel_range(a, alo, ahi);
    pixel_range(b, blo, bhi);
    return alo < bhi && blo < ahi;
}

}  // namespace

void set_path(Path p)
{
    g_path = p;
}

Path path()
{
    Path p = g_path;
    if (p == Path::avx512 && !cpu_has_avx512())
        p = Path::avx2;
    if (p == Path::avx2 && !cpu_has_avx2())
        p = Path::portable;
    return p;
}

Path best_path()
{
    return cpu_has_avx512() ? Path::avx512 : cpu_has_avx2() ? Path::avx2 : Path::portable;
}

Rows writable_rows(BITMAP* bmp, int left, int top, int right, int bottom)
{
    if (!addressable(bmp))
        return Rows(nullptr, top, bottom);
    const bool inside = left >= 0 && top >= 0 && right <= bmp->w && bottom <= bmp->h;
    // putpixel draws only inside the clipping rectangle: it must hold the whole area.
    const bool unclipped =
        !bmp->clip || (bmp->cl <= left && bmp->ct <= top && bmp->cr >= right && bmp->cb >= bottom);
    return Rows(inside && unclipped ? bmp : nullptr, top, bottom);
}

Rows readable_rows(BITMAP* bmp, int left, int top, int right, int bottom)
{
    // getpixel reads anywhere in the bitmap, whatever its clipping.
    const bool inside =
        addressable(bmp) && left >= 0 && top >= 0 && right <= bmp->w && bottom <= bmp->h;
    return Rows(inside ? bmp : nullptr, top, bottom);
}

void draw_trans_sprite(BITMAP* dst, BITMAP* src, int dx, int dy)
{
    Blend bl{};
    // Sprites ignore the drawing mode in Allegro; requiring solid mode only keeps the guards alike.
    if (!addressable(dst) || !addressable(src) || !known_blender(bl) ||
        (src != dst && share_memory(src, dst))) {
        ::draw_trans_sprite(dst, src, dx, dy);
        return;
    }

    // Allegro's clipping, as _linear_draw_trans_sprite32 does it.
    int w, h, sxbeg, sybeg, dxbeg, dybeg;
    if (dst->clip) {
        int tmp = dst->cl - dx;
        sxbeg = tmp < 0 ? 0 : tmp;
        dxbeg = sxbeg + dx;
        tmp = dst->cr - dx;
        w = (tmp > src->w ? src->w : tmp) - sxbeg;
        if (w <= 0)
            return;
        tmp = dst->ct - dy;
        sybeg = tmp < 0 ? 0 : tmp;
        dybeg = sybeg + dy;
        tmp = dst->cb - dy;
        h = (tmp > src->h ? src->h : tmp) - sybeg;
        if (h <= 0)
            return;
    } else {
        w = src->w;
        h = src->h;
        sxbeg = sybeg = 0;
        dxbeg = dx;
        dybeg = dy;
        // Unclipped, Allegro writes wherever the offsets point; leave such calls to it.
        if (dx < 0 || dy < 0 || dx + w > dst->w || dy + h > dst->h) {
            ::draw_trans_sprite(dst, src, dx, dy);
            return;
        }
    }

    thread_local std::vector<Span> rows;
    rows.resize(h);
    for (int y = 0; y < h; ++y)
        rows[y] = {reinterpret_cast<const uint32_t*>(src->line[sybeg + y]) + sxbeg,
                   reinterpret_cast<uint32_t*>(dst->line[dybeg + y]) + dxbeg};

    // In place with the destination ahead of the source in the same row, each pixel reads what
    // the one dx to its left just wrote: draw the rows side by side instead of along them.
    if (src == dst && dy == 0 && dx > 0)
        blend_row_groups(path(), bl, rows.data(), h, w);
    else
        blend_rows(path(), bl, rows.data(), h, w);
}

namespace {

// One octant of Allegro's do_line with putpixel in solid mode on an unclipped 32-bit memory
// bitmap. The primary axis (x when XMajor) moves by P every pixel from p1 to p2; the secondary one
// by S whenever the error term dd reaches 0 from S's side. dp and ds are the ends' differences.
template <bool XMajor, int P, int S>
void step_octant(BITMAP* bmp, int p1, int p2, int s, int dp, int ds, uint32_t c)
{
    auto put = [bmp, c](int p, int q) {
        const int x = XMajor ? p : q, y = XMajor ? q : p;
        reinterpret_cast<uint32_t*>(bmp->line[y])[x] = c;
    };
    if (dp == 0) {
        put(p1, s);
        return;
    }
    const int i1 = 2 * ds;
    const int run = S * (P * dp);
    int dd = i1 - run;
    const int i2 = dd - run;
    for (int p = p1; P > 0 ? p <= p2 : p >= p2; p += P) {
        put(p, s);
        if (S > 0 ? dd >= 0 : dd <= 0) {
            s += S;
            dd += i2;
        } else {
            dd += i1;
        }
    }
}

void step_line(BITMAP* bmp, int x1, int y1, int x2, int y2, uint32_t c)
{
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    if (dx >= 0) {
        if (dy >= 0) {
            if (dx >= dy)
                step_octant<true, +1, +1>(bmp, x1, x2, y1, dx, dy, c);
            else
                step_octant<false, +1, +1>(bmp, y1, y2, x1, dy, dx, c);
        } else {
            if (dx >= -dy)
                step_octant<true, +1, -1>(bmp, x1, x2, y1, dx, dy, c);
            else
                step_octant<false, -1, +1>(bmp, y1, y2, x1, dy, dx, c);
        }
    } else {
        if (dy >= 0) {
            if (-dx >= dy)
                step_octant<true, -1, +1>(bmp, x1, x2, y1, dx, dy, c);
            else
                step_octant<false, +1, -1>(bmp, y1, y2, x1, dy, dx, c);
        } else {
            if (-dx >= -dy)
                step_octant<true, -1, -1>(bmp, x1, x2, y1, dx, dy, c);
            else
                step_octant<false, -1, -1>(bmp, y1, y2, x1, dy, dx, c);
        }
    }
}

// (a * b) / c with C's int wraparound on the product, as Allegro's clipper computes it.
int wrap_mul_div(int a, int b, int c)
{
    return static_cast<int>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)) / c;
}

}  // namespace

void fastline(BITMAP* bmp, int x1, int y1, int x2, int y2, int colour)
{
    if (!addressable(bmp)) {
        ::fastline(bmp, x1, y1, x2, y2, colour);
        return;
    }

    if (bmp->clip) {
        // Allegro's Cohen-Sutherland clipper from _fast_line.
        constexpr int kTop = 8, kBottom = 4, kLeft = 2, kRight = 1;
        const int xmin = bmp->cl, xmax = bmp->cr - 1, ymin = bmp->ct, ymax = bmp->cb - 1;
        auto code_of = [&](int x, int y) {
            int code = 0;
            if (y < ymin)
                code |= kTop;
            else if (y > ymax)
                code |= kBottom;
            if (x < xmin)
                code |= kLeft;
            else if (x > xmax)
                code |= kRight;
            return code;
        };
        int code0 = code_of(x1, y1), code1 = code_of(x2, y2);
        for (;;) {
            if (!(code0 | code1))
                break;
            if (code0 & code1)
                return;
            const int out = code0 ? code0 : code1;
            int x, y;
            if (out & kTop) {
                x = y2 == y1 ? x1 : x1 + wrap_mul_div(x2 - x1, ymin - y1, y2 - y1);
                y = ymin;
            } else if (out & kBottom) {
                x = y2 == y1 ? x1 : x1 + wrap_mul_div(x2 - x1, ymax - y1, y2 - y1);
                y = ymax;
            } else if (out & kLeft) {
                y = x2 == x1 ? y1 : y1 + wrap_mul_div(y2 - y1, xmin - x1, x2 - x1);
                x = xmin;
            } else {
                y = x2 == x1 ? y1 : y1 + wrap_mul_div(y2 - y1, xmax - x1, x2 - x1);
                x = xmax;
            }
            if (out == code0) {
                x1 = x;
                y1 = y;
                code0 = code_of(x1, y1);
            } else {
                x2 = x;
                y2 = y;
                code1 = code_of(x2, y2);
            }
        }
    } else if (std::min(x1, x2) < 0 || std::min(y1, y2) < 0 || std::max(x1, x2) >= bmp->w ||
               std::max(y1, y2) >= bmp->h) {
        // Unclipped, Allegro writes wherever the ends point; leave such lines to it.
        ::fastline(bmp, x1, y1, x2, y2, colour);
        return;
    }

    const uint32_t c = static_cast<uint32_t>(colour);
    if (x1 == x2) {
        if (y1 > y2)
            std::swap(y1, y2);
        for (int y = y1; y <= y2; ++y)
            reinterpret_cast<uint32_t*>(bmp->line[y])[x1] = c;
    } else if (y1 == y2) {
        if (x1 > x2)
            std::swap(x1, x2);
        std::fill(reinterpret_cast<uint32_t*>(bmp->line[y1]) + x1,
                  reinterpret_cast<uint32_t*>(bmp->line[y1]) + x2 + 1, c);
    } else {
        step_line(bmp, x1, y1, x2, y2, c);
    }
}

void rectfill(BITMAP* bmp, int x1, int y1, int x2, int y2, int colour)
{
    if (!addressable(bmp)) {
        ::rectfill(bmp, x1, y1, x2, y2, colour);
        return;
    }
    // _normal_rectfill's ordering and clipping, then _linear_hline32's rows in solid mode.
    if (y1 > y2)
        std::swap(y1, y2);
    if (x1 > x2)
        std::swap(x1, x2);
    if (bmp->clip) {
        x1 = std::max(x1, bmp->cl);
        x2 = std::min(x2, bmp->cr - 1);
        y1 = std::max(y1, bmp->ct);
        y2 = std::min(y2, bmp->cb - 1);
        if (x2 < x1 || y2 < y1)
            return;
    } else if (x1 < 0 || y1 < 0 || x2 >= bmp->w || y2 >= bmp->h) {
        // Unclipped, Allegro writes wherever the corners point; leave such areas to it.
        ::rectfill(bmp, x1, y1, x2, y2, colour);
        return;
    }
    for (int y = y1; y <= y2; ++y)
        std::fill(reinterpret_cast<uint32_t*>(bmp->line[y]) + x1,
                  reinterpret_cast<uint32_t*>(bmp->line[y]) + x2 + 1,
                  static_cast<uint32_t>(colour));
}

namespace {

// _al_stretch_blit for 32-bit memory bitmaps: the same clipping and the same steps of its source
// counters, the source columns worked out once per call instead of once per row. False, having
// drawn nothing, where it leaves the call to Allegro: either bitmap not addressable, the two
// sharing pixels, the source area reaching outside the source, or an unclipped destination area
// outside the destination.
bool stretch_rows(BITMAP* src, BITMAP* dst, int sx, int sy, int sw, int sh, int dx, int dy, int dw,
                  int dh, bool masked)
{
    if (!addressable(src) || !addressable(dst) || share_memory(src, dst) || sx < 0 || sy < 0 ||
        sw > src->w - sx || sh > src->h - sy)
        return false;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return true;
    int dxbeg, dxend, dybeg, dyend;
    if (dst->clip) {
        dybeg = dy > dst->ct ? dy : dst->ct;
        dyend = dy + dh < dst->cb ? dy + dh : dst->cb;
        if (dybeg >= dyend)
            return true;
        dxbeg = dx > dst->cl ? dx : dst->cl;
        dxend = dx + dw < dst->cr ? dx + dw : dst->cr;
        if (dxbeg >= dxend)
            return true;
    } else {
        if (dx < 0 || dy < 0 || dw > dst->w - dx || dh > dst->h - dy)
            return false;
        dxbeg = dx;
        dxend = dx + dw;
        dybeg = dy;
        dyend = dy + dh;
    }
    // The source column of each destination column from dxbeg, as the row stretcher steps.
    const int sxinc = sw / dw;
    const int xcdec = sw - sxinc * dw;
    const int xcinc = dw - xcdec;
    int xc = xcinc;
    int s = sx;
    for (int i = 0; i < dxbeg - dx; i++, s += sxinc) {
        if (xc <= 0) {
            xc += xcinc;
            s++;
        } else {
            xc -= xcdec;
        }
    }
    thread_local std::vector<int> columns;
    columns.resize(static_cast<size_t>(dxend - dxbeg));
    for (int& c : columns) {
        c = s;
        s += sxinc;
        if (xc <= 0) {
            s++;
            xc += xcinc;
        } else {
            xc -= xcdec;
        }
    }
    // The rows: the same counter, the clipped ones skipped.
    const int syinc = sh / dh;
    const int ycdec = sh - syinc * dh;
    const int ycinc = dh - ycdec;
    int yc = ycinc;
    int y = dy;
    for (; y < dybeg; y++, sy += syinc) {
        if (yc <= 0) {
            sy++;
            yc += ycinc;
        } else {
            yc -= ycdec;
        }
    }
    const int n = dxend - dxbeg;
    for (; y < dyend; y++, sy += syinc) {
        const uint32_t* in = reinterpret_cast<const uint32_t*>(src->line[sy]);
        uint32_t* out = reinterpret_cast<uint32_t*>(dst->line[y]) + dxbeg;
        if (masked) {
            for (int k = 0; k < n; k++) {
                const uint32_t c = in[columns[k]];
                if (c != kMaskColour)
                    out[k] = c;
            }
        } else {
            for (int k = 0; k < n; k++)
                out[k] = in[columns[k]];
        }
        if (yc <= 0) {
            sy++;
            yc += ycinc;
        } else {
            yc -= ycdec;
        }
    }
    return true;
}

}  // namespace

void stretch_blit(BITMAP* src, BITMAP* dst, int sx, int sy, int sw, int sh, int dx, int dy, int dw,
                  int dh)
{
    if (!stretch_rows(src, dst, sx, sy, sw, sh, dx, dy, dw, dh, false))
        ::stretch_blit(src, dst, sx, sy, sw, sh, dx, dy, dw, dh);
}

void stretch_sprite(BITMAP* dst, BITMAP* src, int x, int y, int w, int h)
{
    if (!stretch_rows(src, dst, 0, 0, src->w, src->h, x, y, w, h, true))
        ::stretch_sprite(dst, src, x, y, w, h);
}

}  // namespace raster
