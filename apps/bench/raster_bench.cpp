// stream8-raster-bench: CPU time per call of the show's repeated Allegro drawing calls, drawn by
// Allegro and by the raster fast paths (portable, AVX2, AVX-512), on show-sized bitmaps. Also
// checks that every path left the same pixels. Usage: stream8-raster-bench [calls per case]
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "host/headless_allegro.h"
#include "raster/raster.h"

namespace {

double thread_seconds()
{
    timespec ts;
#if defined(__EMSCRIPTEN__)
    // wasm has no CPU clocks; under Node the one thread runs alone, so its wall clock serves.
    clock_gettime(CLOCK_MONOTONIC, &ts);
#else
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
#endif
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// A picture-like 32-bit bitmap: smooth colour ramps with a little noise and a few mask pixels;
// or, `noisy`, every colour at random, one pixel in eight a grey (black and white among them).
BITMAP* picture(int w, int h, unsigned seed, bool noisy = false)
{
    BITMAP* b = create_bitmap_ex(32, w, h);
    uint32_t state = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = (state >> 16) & 15;
            uint32_t c = makecol32((x * 255 / w + noise) & 255, (y * 255 / h) & 255,
                                   ((x + y) / 3 + noise) & 255);
            if (noisy)
                c = (state >> 4) % 8 ? (state >> 8) & 0xFFFFFF : ((state >> 8) & 0xFF) * 0x010101;
            if ((state >> 8) % 97 == 0)
                c = 0xFF00FF;
            reinterpret_cast<uint32_t*>(b->line[y])[x] = c;
        }
    return b;
}

struct Case {
    const char* name;
    int w, h;    // destination size
    int sw, sh;  // source size, 0 for drawing onto the destination itself
    std::function<void(BITMAP* dst, BITMAP* src, int call)> draw;
    bool noisy = false;  // pictures of random colours and greys
};

const int kSmear[7][2] = {{-3, 1}, {2, 0}, {0, -2}, {3, 3}, {-1, 0}, {1, -3}, {0, 2}};
// The show's repeated drawing calls, as it makes them.
const Case kCases[] = {
    {"trans self-smear (300,300,300,30), -3..3", 640, 480, 0, 0,
     [](BITMAP* d, BITMAP*, int i) {
         set_trans_blender(300, 300, 300, 30);
         raster::draw_trans_sprite(d, d, kSmear[i % 7][0], kSmear[i % 7][1]);
     }},
    {"trans canvas->aux at (0,-10), 355", 640, 480, 640, 480,
     [](BITMAP* d, BITMAP* s, int) {
         set_trans_blender(255, 255, 510, 355);
         raster::draw_trans_sprite(d, s, 0, -10);
     }},
    {"trans picture->canvas (155,0,255,r)", 640, 480, 320, 240,
     [](BITMAP* d, BITMAP* s, int i) {
         set_trans_blender(155, 0, 255, i % 66);
         raster::draw_trans_sprite(d, s, 160, 120);
     }},
    {"add self-blend at (-5,5)", 640, 480, 0, 0,
     [](BITMAP* d, BITMAP*, int i) {
         set_add_blender(80, i % 256, 20, 40);
         raster::draw_trans_sprite(d, d, -5, 5);
     }},
    {"hue self-smear one pixel right, 7", 640, 480, 0, 0,
     [](BITMAP* d, BITMAP*, int) {
         set_hue_blender(256, 256, 256, 7);
         raster::draw_trans_sprite(d, d, 1, 0);
     }},
    {"hue self-smear, noise and greys, n 0..255", 640, 480, 0, 0,
     [](BITMAP* d, BITMAP*, int i) {
         set_hue_blender(256, 256, 256, i * 97 % 256);
         raster::draw_trans_sprite(d, d, 1, 0);
     },
     true},
    {"3440 helix-like fastlines", 640, 480, 0, 0,
     [](BITMAP* d, BITMAP*, int i) {
         for (int k = 0; k < 3440; ++k) {
             const int x = 320 + (k * 37 + i) % 400 - 200, y = (k * 13) % 520 - 20;
             raster::fastline(d, x, y, x + (k % 60) - 30, y + (k % 23) - 11, 0x203040 + k);
         }
     }},
};

const raster::Path kPathsTried[] = {raster::Path::allegro, raster::Path::portable,
                                    raster::Path::avx2, raster::Path::avx512};
const char* const kPathNames[] = {"allegro", "portable", "avx2", "avx512"};
constexpr int kPaths = 4;

// Times `calls` calls of `c` on every path and prints a row; true when every path left the same
// pixels.
bool run_case(const Case& c, int calls)
{
    double us[kPaths];
    BITMAP* out[kPaths];
    for (int p = 0; p < kPaths; ++p) {
        BITMAP* dst = picture(c.w, c.h, 1, c.noisy);
        BITMAP* src = c.sw ? picture(c.sw, c.sh, 2, c.noisy) : nullptr;
        raster::set_path(kPathsTried[p]);
        const double t0 = thread_seconds();
        for (int i = 0; i < calls; ++i)
            c.draw(dst, src, i);
        us[p] = (thread_seconds() - t0) / calls * 1e6;
        out[p] = dst;
        if (src)
            destroy_bitmap(src);
    }
    bool same = true;
    for (int p = 1; p < kPaths; ++p)
        for (int y = 0; y < c.h; ++y)
            same = same && std::memcmp(out[0]->line[y], out[p]->line[y], c.w * 4) == 0;
    std::printf("%-42s %9.1f %9.1f %9.1f %9.1f %6.2fx %6.2fx %6.2fx  %s\n", c.name, us[0], us[1],
                us[2], us[3], us[0] / us[1], us[0] / us[2], us[0] / us[3],
                same ? "identical" : "DIFFERENT");
    for (BITMAP* b : out)
        destroy_bitmap(b);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    const int calls = argc > 1 ? std::atoi(argv[1]) : 200;
    start_headless_allegro(32);

    std::printf(
        "%d calls per case; CPU time per call in microseconds (thread clock); best path here: %s\n",
        calls, kPathNames[static_cast<int>(raster::best_path())]);
    std::printf("%-42s %9s %9s %9s %9s %7s %7s %7s  %s\n", "case", kPathNames[0], kPathNames[1],
                kPathNames[2], kPathNames[3], "x port", "x avx2", "x 512", "pixels");
    int failures = 0;
    for (const Case& c : kCases)
        failures += run_case(c, calls) ? 0 : 1;
    raster::set_path(raster::best_path());
    return failures ? 1 : 0;
}
