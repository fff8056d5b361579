// Drop-in replacements for the Allegro 4.4 drawing calls the show repeats every frame: the same
// pixels, bit for bit, drawn by row loops (AVX2 or AVX-512 where the CPU has it) instead of Allegro's
// per-pixel function-pointer calls. Anything they cannot reproduce exactly goes to Allegro.
#pragma once
#include <allegro.h>

#include <string>

namespace raster {

// Which code draws. `allegro` calls the library for everything; `portable` takes the fast paths
// in plain C++; `avx2` adds the AVX2 loops; `avx512` also the AVX-512 hue loop. A path the CPU
// lacks steps down to the next one it has.
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
// False on the `allegro` path. The effects' own fast loops (direct row writes and reads, the Julia
// zoom's lock-step iteration) follow the same switch, so one setting compares the whole show
// against the plain library calls.
inline bool fast_paths() { return path() != Path::allegro; }

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

}  // namespace raster
