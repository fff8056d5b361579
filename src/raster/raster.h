// Drop-in replacements for the Allegro 4.4 drawing calls the show repeats every frame: the same
// pixels, bit for bit, drawn by row loops (AVX2 where the CPU has it) instead of Allegro's
// per-pixel function-pointer calls. Anything they cannot reproduce exactly goes to Allegro.
#pragma once
#include <allegro.h>

namespace raster {

// Which code draws. `allegro` calls the library for everything; `portable` takes the fast paths
// in plain C++; `simd` adds the AVX2 kernels (on a CPU without AVX2 it behaves as `portable`).
enum class Path { allegro, portable, simd };

// Chooses the path for every following call. The default is `simd`, or what the environment
// variable STREAM8_RASTER (allegro, portable or simd) names at start-up. The identity test and
// the benchmarks switch it to compare against Allegro; the show itself never needs to.
void set_path(Path p);
// The path in force, after the CPU check: never `simd` on a CPU without AVX2.
Path path();
// True when this CPU runs the AVX2 kernels.
bool simd_available();

// draw_trans_sprite(dst, src, x, y) as Allegro draws it with the blender it holds now
// (set_trans_blender, set_add_blender or set_hue_blender; read from Allegro's own state, so any
// way of setting it counts). Fast where dst and src are 32-bit memory bitmaps, the drawing mode
// is solid and the blender is one of those three; `src` may be `dst` (drawn in place in
// Allegro's row and pixel order). Called by the effects' smears, fades and overlays.
void draw_trans_sprite(BITMAP* dst, BITMAP* src, int x, int y);

// fastline(bmp, x1, y1, x2, y2, colour) as Allegro draws it: its clipping and stepping, written
// straight into the rows of a 32-bit memory bitmap in solid drawing mode. Called by the helix
// and plasma lines.
void fastline(BITMAP* bmp, int x1, int y1, int x2, int y2, int colour);

}  // namespace raster
