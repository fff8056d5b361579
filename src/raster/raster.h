// All of the show's fast code. Drop-in replacements for the Allegro 4.4 drawing calls it repeats
// every frame: the same pixels, bit for bit, drawn by row loops (vector lanes as wide as the path
// allows) instead of Allegro's per-pixel function-pointer calls; straight access to a bitmap's rows
// for the effects that fill or read whole areas; and the Julia zoom's lock-step iteration.
// Anything they cannot reproduce exactly goes to Allegro, or back to the effect's own plain code.
#pragma once
#include <allegro.h>

#include <cassert>
#include <cstdint>
#include <string>

namespace raster {

// Which code draws. `allegro` calls the library for everything and leaves the Julia iteration to
// the effect; `portable` takes the fast paths with 128-bit lanes (SSE2 on any x86-64); `avx2` with
// 256-bit lanes; `avx512` with 512-bit lanes. A path the CPU lacks steps down to the next one it
// has.
enum class Path { allegro, portable, avx2, avx512 };

// The path's name as the environment variable and the benchmark's --path spell it, and back;
// parse_path is false for any other name.
const char* path_name(Path p);
bool parse_path(const std::string& name, Path& out);

// Chooses the path for every following call. The default is the best the CPU has, or what the
// environment variable STREAM8_RASTER (allegro, portable, avx2 or avx512) names at start-up. The
// identity test and the benchmarks switch it to compare against Allegro; the show never needs to.
void set_path(Path p);
// The path in force, after stepping down to what the CPU has.
Path path();
// The best path this CPU runs.
Path best_path();

// Straight access to the pixels of a 32-bit memory bitmap through its rows. Empty (false) when the
// library must make the accesses: on the `allegro` path, for any other kind of bitmap or drawing
// mode, or when the area reaches beyond what the calls it stands for would touch.
class Rows {
public:
    explicit operator bool() const { return bmp_ != nullptr; }
    // Row y, one of the rows top..bottom-1 the access was granted for.
    uint32_t* row(int y) const
    {
        assert(bmp_ && y >= top_ && y < bottom_);
        return reinterpret_cast<uint32_t*>(bmp_->line[y]);
    }

private:
    friend Rows writable_rows(BITMAP*, int, int, int, int);
    friend Rows readable_rows(BITMAP*, int, int, int, int);
    Rows(BITMAP* bmp, int top, int bottom) : bmp_(bmp), top_(top), bottom_(bottom) {}
    BITMAP* bmp_;
    int top_, bottom_;
};
// Columns left..right-1 of rows top..bottom-1 may be written directly with the very result
// putpixel would give: the area lies in the bitmap and the clipping rectangle does not cut it.
Rows writable_rows(BITMAP* bmp, int left, int top, int right, int bottom);
// The same area may be read directly, each pixel the value getpixel would return.
Rows readable_rows(BITMAP* bmp, int left, int top, int right, int bottom);

// The Julia zoom's escape counts of n starting points (re[k], im[k]): z <- z^2 + c_re - i*c_im,
// the steps before |z|^2 first exceeds 0.8, at most `limit`. Several points run side by side in
// vector lanes, each lane doing the very double operations of the one-by-one loop. False, with
// nothing written, on the `allegro` path: the caller then iterates each point itself.
bool escape_counts(const double* re, const double* im, int n, double c_re, double c_im, int limit,
                   int* counts);

// draw_trans_sprite(dst, src, x, y) as Allegro draws it with the blender it holds now
// (set_trans_blender, set_add_blender or set_hue_blender; read from Allegro's own state, so any
// way of setting it counts). Fast where dst and src are 32-bit memory bitmaps, the drawing mode
// is solid and the blender is one of those three; `src` may be `dst` (drawn in place in
// Allegro's row and pixel order). Meant for the effects' smears, fades and overlays, which call
// Allegro's draw_trans_sprite every frame.
void draw_trans_sprite(BITMAP* dst, BITMAP* src, int x, int y);

// fastline(bmp, x1, y1, x2, y2, colour) as Allegro draws it: its clipping and stepping, written
// straight into the rows of a 32-bit memory bitmap in solid drawing mode. Meant for the helix
// and plasma lines.
void fastline(BITMAP* bmp, int x1, int y1, int x2, int y2, int colour);

// rectfill(bmp, x1, y1, x2, y2, colour) as Allegro fills it: its ordering of the corners and its
// clipping, written straight into the rows of a 32-bit memory bitmap in solid drawing mode. Meant
// for the plasma's and the Julia zoom's blocks, thousands a frame.
void rectfill(BITMAP* bmp, int x1, int y1, int x2, int y2, int colour);

// stretch_blit and stretch_sprite as Allegro draws them (its clipping and the steps of its source
// counters) where both are 32-bit memory bitmaps and the source area lies in the source: the
// source column of each destination column worked out once per call rather than on every row.
// Meant for the stairs' tiles and the helix's and the tunnel's stretched strips.
void stretch_blit(BITMAP* src, BITMAP* dst, int sx, int sy, int sw, int sh, int dx, int dy, int dw,
                  int dh);
void stretch_sprite(BITMAP* dst, BITMAP* src, int x, int y, int w, int h);

// stretch_blit(src, dst, 0, 0, w, h, x, y, k * w, k * h) for a whole 32-bit memory bitmap src
// and k = 1..4: every pixel a k x k block. Fast where dst is a 32-bit bitmap of plain rows (a
// memory bitmap, or a linear screen whose update the caller sends) holding the whole area: each
// row is widened once, then copied to the block's other rows. Meant for presenting frames on a
// large screen.
void scale_blit(BITMAP* src, BITMAP* dst, int k, int x, int y);

}  // namespace raster
