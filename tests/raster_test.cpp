// The raster fast paths against Allegro itself: every path must leave every pixel as Allegro does.
#include "raster/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "host/headless_allegro.h"

namespace raster {
// Test names and messages name a path as the library does.
void PrintTo(Path p, std::ostream* os)
{
    *os << path_name(p);
}
}  // namespace raster

namespace {

using raster::Path;
using Draw = std::function<void(BITMAP* dst, BITMAP* src)>;

// Random pixels with the cases the blenders treat apart mixed in: the mask colour, greys, black,
// white and set top bytes. Different seeds give different pictures, so a transposed or shifted
// read shows.
BITMAP* random_bitmap(int w, int h, unsigned seed, int depth = 32)
{
    BITMAP* b = create_bitmap_ex(depth, w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = rng();
            switch (rng() % 10) {
            case 0:
                c = 0xFF00FF;
                break;
            case 1:
                c = (c & 0xFF) * 0x010101u;
                break;
            case 2:
                c = rng() % 2 ? 0 : 0xFFFFFF;
                break;
            case 3:
                c &= 0xFFFFFF;
                break;
            default:
                break;
            }
            if (depth == 32)
                reinterpret_cast<uint32_t*>(b->line[y])[x] = c;
            else
                putpixel(b, x, y,
                         makecol_depth(depth, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
        }
    return b;
}

BITMAP* copy_of(BITMAP* b)
{
    BITMAP* c = create_bitmap_ex(bitmap_color_depth(b), b->w, b->h);
    set_clip_state(b, 0);
    blit(b, c, 0, 0, 0, 0, b->w, b->h);
    set_clip_state(b, 1);
    set_clip_rect(c, b->cl, b->ct, b->cr - 1, b->cb - 1);
    return c;
}

// Where two bitmaps first differ, or "" when every byte of every row is the same.
std::string first_difference(BITMAP* a, BITMAP* b)
{
    const int bytes = a->w * ((bitmap_color_depth(a) + 7) / 8);
    for (int y = 0; y < a->h; ++y)
        if (std::memcmp(a->line[y], b->line[y], bytes) != 0)
            for (int x = 0; x < a->w; ++x)
                if (getpixel(a, x, y) != getpixel(b, x, y))
                    return "pixel (" + std::to_string(x) + "," + std::to_string(y) + "): allegro " +
                           std::to_string(getpixel(a, x, y)) + ", fast " +
                           std::to_string(getpixel(b, x, y));
    return "";
}

// The fast path under test: each test runs once for every path, and is skipped on a CPU that
// lacks the path (raster::path() would step down and repeat a lower path's run).
Path g_path = Path::portable;

// Runs `draw` on copies of dst (and src, or dst itself when src is null) once with Allegro and
// once with the path under test, and expects the path to leave dst as Allegro did.
void expect_paths_match(BITMAP* dst, BITMAP* src, const Draw& draw, const std::string& what)
{
    BITMAP* ref = copy_of(dst);
    BITMAP* ref_src = src ? copy_of(src) : ref;
    raster::set_path(Path::allegro);
    draw(ref, ref_src);
    BITMAP* out = copy_of(dst);
    BITMAP* out_src = src ? copy_of(src) : out;
    raster::set_path(g_path);
    draw(out, out_src);
    EXPECT_EQ(first_difference(ref, out), "") << what << " [" << raster::path_name(g_path) << "]";
    if (src)
        destroy_bitmap(out_src);
    destroy_bitmap(out);
    raster::set_path(g_path);
    if (src)
        destroy_bitmap(ref_src);
    destroy_bitmap(ref);
}

class Raster : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override
    {
        g_path = GetParam();
        raster::set_path(g_path);
        if (raster::path() != g_path)
            GTEST_SKIP() << "this CPU has no " << raster::path_name(g_path) << " path";
        start_headless_allegro(32);
        solid_mode();
    }
    void TearDown() override
    {
        solid_mode();
        raster::set_path(raster::best_path());
    }
};

INSTANTIATE_TEST_SUITE_P(Paths, Raster, ::testing::Values(Path::portable, Path::avx2, Path::avx512),
                         [](const ::testing::TestParamInfo<Path>& info) {
                             return raster::path_name(info.param);
                         });

Draw sprite_at(int x, int y)
{
    return [x, y](BITMAP* d, BITMAP* s) { raster::draw_trans_sprite(d, s, x, y); };
}

TEST_P(Raster, SelfBlendsMatchAllegroAtEveryOffsetAndFactor)
{
    // 37x23: rows not a multiple of eight, columns not a multiple of the vector width.
    BITMAP* b = random_bitmap(37, 23, 1);
    for (int alpha : {30, 0, 255, 355, -5}) {
        set_trans_blender(300, 300, 300, alpha);
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                expect_paths_match(b, nullptr, sprite_at(dx, dy),
                                   "trans " + std::to_string(alpha) + " at " + std::to_string(dx) +
                                       "," + std::to_string(dy));
    }
    for (int alpha : {0, 7, 90, 255, 300, 65536}) {
        set_add_blender(80, 200, 20, alpha);
        for (int d : {-5, 5, 9})
            expect_paths_match(b, nullptr, sprite_at(d, -d),
                               "add " + std::to_string(alpha) + " at " + std::to_string(d));
    }
    for (int alpha : {7, 0, 1, 128, 255}) {
        set_hue_blender(256, 256, 256, alpha);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx : {-9, -1, 0, 1, 2, 9})
                expect_paths_match(b, nullptr, sprite_at(dx, dy),
                                   "hue " + std::to_string(alpha) + " at " + std::to_string(dx) +
                                       "," + std::to_string(dy));
    }
    destroy_bitmap(b);
}

// The scaled present: every pixel a k x k block, as stretch_blit draws it, at every scale the show
// takes (1..8: a 3840x2400 desktop takes 5), at the corner and off it, on widths that are and are
// not a multiple of any lane count; and where the area does not fit (past the right or the bottom
// edge, or left of the bitmap), the library's own clipped stretch. A frame that fits unscaled but
// not scaled, at each scale the fast path takes, is drawn into a sub-bitmap: blocks written past
// its right edge land in the bitmap around it and show, rows past its bottom it does not have.
TEST_P(Raster, ScaledFramesMatchTheLibrarysStretch)
{
    struct Case {
        int w, h, x, y;
    };
    const int dst_w = 8 * 640 + 8, dst_h = 8 * 23 + 8;
    for (const Case c :
         {Case{37, 23, 0, 0}, Case{37, 23, 3, 5}, Case{640, 6, 1, 2}, Case{37, 23, 150, 90},
          Case{37, 23, dst_w - 40, 0}, Case{640, 6, 9, 0}, Case{37, 23, -2, 3}}) {
        BITMAP* src = random_bitmap(c.w, c.h, 7);
        for (int k = 1; k <= 8; ++k) {
            BITMAP* dst = random_bitmap(dst_w, dst_h, 8);
            expect_paths_match(
                dst, src, [&](BITMAP* d, BITMAP* s) { raster::scale_blit(s, d, k, c.x, c.y); },
                "x" + std::to_string(k) + " of " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                    " at " + std::to_string(c.x) + "," + std::to_string(c.y));
            destroy_bitmap(dst);
        }
        destroy_bitmap(src);
    }
    BITMAP* src = random_bitmap(37, 23, 7);
    for (const Case c : {Case{200, 100, 200 - 40, 0}, Case{200, 100, 0, 100 - 30}})
        for (int k = 1; k <= 4; ++k) {
            BITMAP* around = random_bitmap(28 + std::max(c.w, c.x + 37 * k),
                                           28 + std::max(c.h, c.y + 23 * k), 9);
            expect_paths_match(
                around, src,
                [&](BITMAP* d, BITMAP* s) {
                    BITMAP* inner = create_sub_bitmap(d, 20, 20, c.w, c.h);
                    raster::scale_blit(s, inner, k, c.x, c.y);
                    destroy_bitmap(inner);
                },
                "x" + std::to_string(k) + " at " + std::to_string(c.x) + "," + std::to_string(c.y) +
                    " of a " + std::to_string(c.w) + "x" + std::to_string(c.h) + " sub-bitmap");
        }
    destroy_bitmap(src);
}

TEST_P(Raster, SpritesOntoOtherBitmapsMatchAllegro)
{
    BITMAP* canvas = random_bitmap(41, 30, 2);
    BITMAP* big = random_bitmap(53, 37, 3);
    BITMAP* small = random_bitmap(19, 11, 4);
    set_trans_blender(255, 255, 510, 355);
    expect_paths_match(canvas, big, sprite_at(0, -10), "trans 355 from a bigger bitmap");
    for (int alpha = 0; alpha <= 65; alpha += 13) {
        set_trans_blender(155, 0, 255, alpha);
        expect_paths_match(canvas, small, sprite_at(5, 3),
                           "trans " + std::to_string(alpha) + " small picture");
    }
    // Every pixel pair the hue blender can meet in a picture: hues, greys, black and the mask.
    BITMAP* huge_src = random_bitmap(512, 256, 5);
    BITMAP* huge_dst = random_bitmap(512, 256, 6);
    for (int alpha : {7, 0, 1, 200, 255}) {
        set_hue_blender(256, 256, 256, alpha);
        expect_paths_match(huge_dst, huge_src, sprite_at(0, 0),
                           "hue " + std::to_string(alpha) + " pairs");
    }
    set_add_blender(80, 50, 20, 170);
    expect_paths_match(huge_dst, huge_src, sprite_at(-3, 2), "add pairs");
    destroy_bitmap(huge_src);
    destroy_bitmap(huge_dst);
    destroy_bitmap(canvas);
    destroy_bitmap(big);
    destroy_bitmap(small);
}

TEST_P(Raster, SpritesClipAndFallBackAsAllegro)
{
    BITMAP* canvas = random_bitmap(40, 30, 7);
    BITMAP* pic = random_bitmap(24, 18, 8);
    // Off each edge, beyond each edge, and inside (where only a clipping rectangle cuts).
    const struct {
        int x, y;
    } offsets[] = {{-10, 4}, {30, 4}, {8, -12}, {8, 25}, {-30, 0},
                   {45, 0},  {0, 40}, {-5, -5}, {8, 6}};
    const struct {
        int l, t, r, b;
    } clips[] = {{0, 0, 39, 29}, {5, 0, 39, 29}, {0, 6, 39, 29},
                 {0, 0, 30, 29}, {0, 0, 39, 20}, {12, 9, 22, 17}};
    set_trans_blender(155, 0, 255, 40);
    for (const auto& c : clips) {
        set_clip_rect(canvas, c.l, c.t, c.r, c.b);
        for (const auto& o : offsets) {
            const std::string where = "clip " + std::to_string(c.l) + "," + std::to_string(c.t) +
                                      "," + std::to_string(c.r) + "," + std::to_string(c.b) +
                                      " at " + std::to_string(o.x) + "," + std::to_string(o.y);
            expect_paths_match(canvas, pic, sprite_at(o.x, o.y), "trans " + where);
            expect_paths_match(canvas, nullptr, sprite_at(o.x / 8, o.y / 8), "trans self " + where);
            set_hue_blender(256, 256, 256, 7);
            expect_paths_match(canvas, nullptr, sprite_at(1, 0), "hue self " + where);
            set_trans_blender(155, 0, 255, 40);
        }
    }
    // Clipping off: drawn unclipped where it fits.
    set_clip_rect(canvas, 0, 0, 39, 29);
    set_clip_state(canvas, 0);
    expect_paths_match(canvas, pic, sprite_at(16, 12), "unclipped");
    set_clip_state(canvas, 1);

    // Blenders the fast paths do not restate, and a factor out of the add path's range.
    set_burn_blender(0, 0, 0, 100);
    expect_paths_match(canvas, pic, sprite_at(3, 3), "burn");
    set_add_blender(0, 0, 0, 70000);
    expect_paths_match(canvas, pic, sprite_at(3, 3), "add 70000");
    set_hue_blender(0, 0, 0, 300);
    expect_paths_match(canvas, nullptr, sprite_at(1, 0), "hue 300");

    // Another drawing mode, and 16-bit bitmaps.
    set_trans_blender(0, 0, 0, 77);
    drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
    expect_paths_match(canvas, pic, sprite_at(3, 3), "xor mode");
    solid_mode();
    BITMAP* c16 = random_bitmap(40, 30, 9, 16);
    BITMAP* p16 = random_bitmap(24, 18, 10, 16);
    expect_paths_match(c16, p16, sprite_at(3, 3), "16-bit");
    expect_paths_match(c16, nullptr, sprite_at(1, 1), "16-bit self");

    // Sub-bitmaps sharing the canvas' memory, drawn one pixel right of where they lie: a square
    // one, and one-row ones in the canvas' last row (whose first row is also their last), the
    // last of them ending where the canvas' memory ends.
    const struct {
        int x, y, w, h;
    } subs[] = {{4, 4, 20, 20}, {0, 29, 40, 1}, {3, 29, 30, 1}, {10, 29, 30, 1}};
    for (const auto& sub : subs)
        for (bool hue : {false, true}) {
            if (hue)
                set_hue_blender(256, 256, 256, 7);
            else
                set_trans_blender(155, 0, 255, 40);
            expect_paths_match(
                canvas, nullptr,
                [&](BITMAP* d, BITMAP*) {
                    BITMAP* s = create_sub_bitmap(d, sub.x, sub.y, sub.w, sub.h);
                    raster::draw_trans_sprite(d, s, sub.x + 1, sub.y);
                    destroy_bitmap(s);
                },
                std::string(hue ? "hue" : "trans") + " sub-bitmap " + std::to_string(sub.w) + "x" +
                    std::to_string(sub.h) + " at " + std::to_string(sub.x) + "," +
                    std::to_string(sub.y));
        }

    // Pixels laid out differently: the add and hue blenders read channels by Allegro's shifts.
    _rgb_r_shift_24 = 0;
    _rgb_b_shift_24 = 16;
    for (bool hue : {false, true}) {
        if (hue)
            set_hue_blender(256, 256, 256, 7);
        else
            set_add_blender(0, 0, 0, 90);
        expect_paths_match(canvas, pic, sprite_at(3, 3),
                           hue ? "hue, other shifts" : "add, other shifts");
    }
    _rgb_r_shift_24 = 16;
    _rgb_b_shift_24 = 0;
    destroy_bitmap(c16);
    destroy_bitmap(p16);
    destroy_bitmap(canvas);
    destroy_bitmap(pic);
}

TEST_P(Raster, RepeatedSelfBlendsCompoundAsAllegro)
{
    // The differences of a single pass compound; fifty passes of each smear must still agree.
    BITMAP* b = random_bitmap(64, 33, 11);
    std::mt19937 rng(12);
    int offsets[50][2];
    for (auto& o : offsets) {
        o[0] = static_cast<int>(rng() % 7) - 3;
        o[1] = static_cast<int>(rng() % 7) - 3;
    }
    expect_paths_match(
        b, nullptr,
        [&](BITMAP* d, BITMAP*) {
            set_trans_blender(300, 300, 300, 30);
            for (const auto& o : offsets)
                raster::draw_trans_sprite(d, d, o[0], o[1]);
        },
        "trans smear");
    expect_paths_match(
        b, nullptr,
        [&](BITMAP* d, BITMAP*) {
            for (int i = 0; i < 50; ++i) {
                set_add_blender(80, i * 5, 20, 10 + i * 3);
                raster::draw_trans_sprite(d, d, -5, 5);
            }
        },
        "add smear");
    expect_paths_match(
        b, nullptr,
        [&](BITMAP* d, BITMAP*) {
            set_hue_blender(256, 256, 256, 7);
            for (int i = 0; i < 50; ++i)
                raster::draw_trans_sprite(d, d, 1, 0);
        },
        "hue smear");
    destroy_bitmap(b);
}

TEST_P(Raster, LinesMatchAllegroWithItsClipping)
{
    BITMAP* b = random_bitmap(45, 31, 13);
    std::mt19937 rng(14);
    auto coord = [&](int size) { return static_cast<int>(rng() % (size + 80)) - 40; };
    int lines[400][4];
    for (auto& l : lines) {
        l[0] = coord(45);
        l[1] = coord(31);
        // Every fourth line horizontal or vertical, the rest in all eight directions.
        const int kind = static_cast<int>(rng() % 8);
        l[2] = kind == 0 ? l[0] : coord(45);
        l[3] = kind == 1 ? l[1] : coord(31);
    }
    auto draw_all = [&](BITMAP* d, BITMAP*) {
        int colour = 0x123456;
        for (const auto& l : lines)
            raster::fastline(d, l[0], l[1], l[2], l[3], colour += 0x010203);
    };
    expect_paths_match(b, nullptr, draw_all, "lines, full clip");
    const struct {
        int l, t, r, b;
    } clips[] = {{6, 0, 44, 30}, {0, 5, 44, 30}, {0, 0, 35, 30}, {0, 0, 44, 22}, {10, 8, 11, 9}};
    for (const auto& c : clips) {
        set_clip_rect(b, c.l, c.t, c.r, c.b);
        expect_paths_match(b, nullptr, draw_all,
                           "lines, clip " + std::to_string(c.l) + "," + std::to_string(c.t) + "," +
                               std::to_string(c.r) + "," + std::to_string(c.b));
    }
    set_clip_rect(b, 0, 0, 44, 30);

    // Unclipped lines inside the bitmap.
    set_clip_state(b, 0);
    expect_paths_match(
        b, nullptr,
        [](BITMAP* d, BITMAP*) {
            raster::fastline(d, 2, 30, 44, 0, 0xABCDEF);
            raster::fastline(d, 40, 3, 40, 28, 0x00FF00);
            raster::fastline(d, 44, 7, 0, 7, 0x0000FF);
        },
        "lines unclipped");
    set_clip_state(b, 1);

    drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
    expect_paths_match(b, nullptr, draw_all, "lines, xor mode");
    solid_mode();
    BITMAP* b16 = random_bitmap(45, 31, 15, 16);
    expect_paths_match(b16, nullptr, draw_all, "lines, 16-bit");
    destroy_bitmap(b16);
    destroy_bitmap(b);
}

TEST_P(Raster, RectanglesMatchAllegroWithItsClipping)
{
    // Corners in either order, inside, across and wholly outside each edge of the clip.
    BITMAP* b = random_bitmap(41, 29, 16);
    std::mt19937 rng(17);
    int rects[300][4];
    for (auto& r : rects)
        for (int i = 0; i < 4; ++i)
            r[i] = static_cast<int>(rng() % ((i % 2 ? 29 : 41) + 30)) - 15;
    auto draw_all = [&](BITMAP* d, BITMAP*) {
        int colour = 0x10FEDC;
        for (const auto& r : rects)
            raster::rectfill(d, r[0], r[1], r[2], r[3], colour += 0x030201);
    };
    expect_paths_match(b, nullptr, draw_all, "rectangles, full clip");
    set_clip_rect(b, 5, 3, 30, 20);
    expect_paths_match(b, nullptr, draw_all, "rectangles, clip 5,3,30,20");
    set_clip_rect(b, 0, 0, 40, 28);
    set_clip_state(b, 0);
    expect_paths_match(
        b, nullptr,
        [](BITMAP* d, BITMAP*) {
            raster::rectfill(d, 40, 28, 0, 0, 0x123456);
            raster::rectfill(d, 3, 20, 9, 4, 0xFF00FF);
        },
        "rectangles unclipped");
    set_clip_state(b, 1);
    drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
    expect_paths_match(b, nullptr, draw_all, "rectangles, xor mode");
    solid_mode();
    destroy_bitmap(b);
}

TEST_P(Raster, StretchesMatchAllegroWithItsClipping)
{
    // Enlarged and reduced by whole and uneven factors, across each edge of the clip, opaque and
    // masked. (Allegro reads outside the source for areas that reach out of it: not compared.)
    BITMAP* dst = random_bitmap(53, 37, 18);
    BITMAP* src = random_bitmap(23, 17, 19);
    std::mt19937 rng(20);
    int areas[120][8];
    for (auto& a : areas) {
        a[0] = static_cast<int>(rng() % 12);  // sx, sy, sw, sh
        a[1] = static_cast<int>(rng() % 9);
        a[2] = 1 + static_cast<int>(rng() % (23 - a[0]));
        a[3] = 1 + static_cast<int>(rng() % (17 - a[1]));
        a[4] = static_cast<int>(rng() % 80) - 20;  // dx, dy, dw, dh
        a[5] = static_cast<int>(rng() % 60) - 15;
        a[6] = static_cast<int>(rng() % 70);
        a[7] = static_cast<int>(rng() % 50);
    }
    auto draw_all = [&](BITMAP* d, BITMAP* s) {
        for (const auto& a : areas) {
            raster::stretch_blit(s, d, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
            raster::stretch_sprite(d, s, a[5], a[4], a[7] + 1, a[6] + 1);
        }
    };
    expect_paths_match(dst, src, draw_all, "stretches, full clip");
    set_clip_rect(dst, 7, 4, 40, 30);
    expect_paths_match(dst, src, draw_all, "stretches, clip 7,4,40,30");
    set_clip_rect(dst, 0, 0, 52, 36);
    set_clip_state(dst, 0);
    expect_paths_match(
        dst, src,
        [](BITMAP* d, BITMAP* s) {
            raster::stretch_blit(s, d, 2, 3, 20, 13, 0, 0, 53, 37);
            raster::stretch_sprite(d, s, 5, 4, 11, 30);
        },
        "stretches unclipped");
    set_clip_state(dst, 1);
    destroy_bitmap(src);
    destroy_bitmap(dst);
}

// Effects fill areas through writable_rows and read them through readable_rows where those allow,
// and through putpixel and getpixel elsewhere: whatever the bitmap, clipping and drawing mode, the
// pixels and the values read must be the library's.
TEST_P(Raster, DirectRowsOnlyWhereTheyGiveTheLibrarysPixels)
{
    auto fill = [](BITMAP* d, BITMAP*) {
        const raster::Rows rows = raster::writable_rows(d, 3, 2, 30, 20);
        for (int y = 2; y < 20; ++y)
            for (int x = 3; x < 30; ++x) {
                const int c = (x * 7 + y * 13) * 0x010101 ^ 0x5A;
                if (rows)
                    rows.row(y)[x] = static_cast<uint32_t>(c);
                else
                    putpixel(d, x, y, c);
            }
    };
    auto reads_match = [](BITMAP* b, const std::string& what) {
        const raster::Rows rows = raster::readable_rows(b, 3, 2, 30, 20);
        for (int y = 2; y < 20; ++y)
            for (int x = 3; x < 30; ++x)
                if (rows && static_cast<int>(rows.row(y)[x]) != getpixel(b, x, y))
                    return ::testing::AssertionFailure() << what << ": read at " << x << "," << y;
        return ::testing::AssertionSuccess();
    };
    BITMAP* b = random_bitmap(37, 23, 21);
    expect_paths_match(b, nullptr, fill, "fill, whole bitmap");
    EXPECT_TRUE(reads_match(b, "whole bitmap"));
    EXPECT_TRUE(raster::readable_rows(b, 3, 2, 30, 20)) << "a plain 32-bit bitmap is read directly";
    // Clipping rectangles that cut the area on each side, and one that holds it.
    const struct {
        int l, t, r, b;
    } clips[] = {{4, 0, 36, 22}, {0, 3, 36, 22}, {0, 0, 28, 22}, {0, 0, 36, 18}, {3, 2, 29, 19}};
    for (const auto& c : clips) {
        set_clip_rect(b, c.l, c.t, c.r, c.b);
        const std::string what = "clip " + std::to_string(c.l) + "," + std::to_string(c.t) + "," +
                                 std::to_string(c.r) + "," + std::to_string(c.b);
        expect_paths_match(b, nullptr, fill, "fill, " + what);
        EXPECT_TRUE(raster::readable_rows(b, 3, 2, 30, 20))
            << what << ": getpixel ignores clipping";
    }
    set_clip_rect(b, 0, 0, 36, 22);
    EXPECT_FALSE(raster::writable_rows(b, 0, 0, 38, 23)) << "area beyond the bitmap";
    EXPECT_FALSE(raster::readable_rows(b, 0, -1, 37, 23)) << "area beyond the bitmap";
    drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
    expect_paths_match(b, nullptr, fill, "fill, xor mode");
    solid_mode();
    raster::set_path(Path::allegro);
    EXPECT_FALSE(raster::readable_rows(b, 3, 2, 30, 20))
        << "the library's path reads through getpixel";
    raster::set_path(g_path);
    for (int depth : {16, 24}) {
        BITMAP* other = random_bitmap(37, 23, 22, depth);
        expect_paths_match(other, nullptr, fill, "fill, " + std::to_string(depth) + "-bit");
        EXPECT_TRUE(reads_match(other, std::to_string(depth) + "-bit"));
        destroy_bitmap(other);
    }
    destroy_bitmap(b);
}

}  // namespace
