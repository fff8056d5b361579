// Scene 4, the Julia zoom: the escape test, the colours, the first frame and the early end.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "show/show.h"
#include "show_support.h"

namespace {

// A show with stand-in pictures (the afro stand-in keys to all magenta, so it draws nothing).
struct SceneShow {
    TempDir dir;
    SpyHost host;
    std::unique_ptr<Show> s;
    BITMAP* presented = nullptr;  // copy of the last presented frame

    SceneShow()
    {
        s = show_on_stand_ins(host, dir);
        presented = create_bitmap_ex(32, 640, 480);
        host.on_iteration = [this](BITMAP* b, Phase, long) {
            blit(b, presented, 0, 0, 0, 0, 640, 480);
        };
        s->effu = 4;
        host.set_owed(0);
    }
    ~SceneShow() { destroy_bitmap(presented); }
};

TEST(Julia, EscapeTestIsStrict)
{
    Julia j;
    j.max_iterations = 100;
    // From z = 0 the first step lands on (c_re, -c_im), whose |z|^2 is exactly 0.8 here.
    const double re = 0.0078125, im = 0.89439307065951157;
    ASSERT_EQ(re * re + im * im, 0.8);
    j.c_re = re;
    j.c_im = im;
    j.new_re = j.new_im = 0;
    EXPECT_EQ(j.escape_count(), 1);  // 0.8 stays; the second step escapes
    EXPECT_EQ(j.old_re, re);
    EXPECT_EQ(j.old_im, -im);

    // One step further out escapes at once.
    const double im_up = std::nextafter(im, 1.0);
    ASSERT_GT(re * re + im_up * im_up, 0.8);
    j.c_im = im_up;
    j.new_re = j.new_im = 0;
    EXPECT_EQ(j.escape_count(), 0);

    // An orbit that never leaves runs to the limit.
    j.c_re = j.c_im = 0;
    j.new_re = 0.5;
    j.new_im = 0;
    EXPECT_EQ(j.escape_count(), 100);
}

TEST(Julia, CentreOrbitEscapesAfter291Steps)
{
    Julia j;
    j.max_iterations = 1501;
    j.c_re = -0.7;
    j.c_im = 0.27015;
    j.new_re = static_cast<float>(-0.488);
    j.new_im = static_cast<float>(0.14);
    EXPECT_EQ(j.escape_count(), 291);
}

// The frame's counts come from the lock-step iteration: on every path, every count must be the
// one-by-one count, in every lane and in a partly filled last vector, whether the orbit escapes or
// hits the limit.
TEST(Julia, LockStepCountsAreTheOneByOneCounts)
{
    std::vector<double> re, im;
    for (int k = 0; k < 37; k++) {
        re.push_back(-0.488 + (k % 7 - 3) * 0.013 + k * 1e-4);
        im.push_back(0.14 + (k / 7 - 2) * 0.021);
    }
    for (raster::Path path : {raster::Path::portable, raster::Path::avx2, raster::Path::avx512})
        for (int limit : {1, 40, 1501}) {
            SCOPED_TRACE(std::string(raster::path_name(path)) + " limit " + std::to_string(limit));
            raster::set_path(path);
            std::vector<int> counts(re.size(), -1);
            ASSERT_TRUE(raster::escape_counts(re.data(), im.data(), static_cast<int>(re.size()),
                                              -0.7, 0.27015, limit, counts.data()));
            int reached = 0;
            for (size_t k = 0; k < re.size(); k++) {
                Julia j;
                j.max_iterations = limit;
                j.c_re = -0.7;
                j.c_im = 0.27015;
                j.new_re = re[k];
                j.new_im = im[k];
                EXPECT_EQ(counts[k], j.escape_count()) << "sample " << k;
                reached += counts[k] == limit;
            }
            if (limit == 40) {
                EXPECT_GT(reached, 0) << "some orbits run to the limit";
            }
        }
    // On the library's path the effect iterates each point itself.
    raster::set_path(raster::Path::allegro);
    int untouched = -1;
    EXPECT_FALSE(raster::escape_counts(re.data(), im.data(), 1, -0.7, 0.27015, 40, &untouched));
    EXPECT_EQ(untouched, -1);
    raster::set_path(raster::best_path());
}

TEST(Julia, ColoursArePassedUnclamped)
{
    start_headless_allegro(32);
    EXPECT_EQ(julia_colour(0), 0x000000);
    EXPECT_EQ(julia_colour(128), 0x808080);
    EXPECT_EQ(julia_colour(129), 0x817F81);
    EXPECT_EQ(julia_colour(255), 0xFF01FF);
    EXPECT_EQ(julia_colour(256), makecol(256, 0, 256));
    EXPECT_EQ(julia_colour(256), 0x01000100);
    EXPECT_EQ(julia_colour(291), makecol(291, -35, 291));
    EXPECT_EQ(static_cast<unsigned>(julia_colour(291)), 0xFFFFDD23u);
}

TEST(Julia, FirstFrameIsBlackButTheCentreBlock)
{
    SceneShow show;
    Show& s = *show.s;
    clear_to_color(s.pics.canvas, 0x123456);  // what the previous scene left
    ASSERT_TRUE(s.julia.frame(s));
    EXPECT_EQ(s.julia.max_iterations, 1501);
    EXPECT_FLOAT_EQ(s.julia.zoom, 0.001f);
    EXPECT_EQ(s.effu, 4);
    EXPECT_EQ(show.host.presents(), 1);
    EXPECT_EQ(show.host.polls, 1);
    EXPECT_EQ(show.host.owed(), -1);

    BITMAP* f = show.presented;
    long wrong = 0;
    for (int x = 0; x < 320; x += 2) {
        for (int y = 40; y <= 198; y += 2) {
            const int expected = (x == 160 && y == 120) ? julia_colour(291) : 0;
            for (int py = 2 * y; py <= 2 * y + 2; py++)
                for (int px = 2 * x; px <= 2 * x + 3; px++)
                    wrong += getpixel(f, px, py) != expected;
            // The row under each row of blocks still shows the previous picture.
            wrong += getpixel(f, 2 * x, 2 * y + 3) != 0x123456;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(static_cast<unsigned>(getpixel(f, 321, 241)), 0xFFFFDD23u);
    // Outside the band nothing is drawn in this scene: no bars.
    EXPECT_EQ(getpixel(f, 100, 79), 0x123456);
    EXPECT_EQ(getpixel(f, 100, 400), 0x123456);
    // The canvas is left cleared for the next frame.
    EXPECT_EQ(getpixel(s.pics.canvas, 320, 240), 0);
    EXPECT_EQ(getpixel(s.pics.canvas, 100, 79), 0);

    // From the second frame on the gaps between block rows are black.
    ASSERT_TRUE(s.julia.frame(s));
    long lit = 0;
    for (int y = 40; y <= 198; y += 2)
        for (int x = 0; x < 640; x++)
            lit += getpixel(f, x, 2 * y + 3) != 0;
    EXPECT_EQ(lit, 0);
}

TEST(Julia, EndsItselfOnlyAbove64AndDrawsAtTheReducedZoom)
{
    SceneShow show;
    Show& s = *show.s;
    // 60.9514275 grows to exactly 64: sqrt is exactly 8, which is not above 8.
    s.julia.zoom = 60.9514275f;
    clear_to_color(s.pics.canvas, 0);
    ASSERT_TRUE(s.julia.frame(s));
    ASSERT_EQ(s.julia.zoom, 64.0f);
    EXPECT_EQ(s.effu, 4);
    // At sqrt 8 the sample rows are y = 48..190: canvas rows 96..382.
    EXPECT_EQ(getpixel(show.presented, 320, 94), 0);
    EXPECT_NE(getpixel(show.presented, 320, 96), 0);
    EXPECT_NE(getpixel(show.presented, 320, 382), 0);
    EXPECT_EQ(getpixel(show.presented, 320, 384), 0);

    // The next float up grows past 64: the scene ends and draws this frame 4 zoom back.
    s.julia.zoom = std::nextafter(60.9514313f, 100.0f);
    ASSERT_TRUE(s.julia.frame(s));
    EXPECT_EQ(s.effu, 5);
    EXPECT_GT(s.julia.zoom + 4.0, 64.0);
    EXPECT_LT(s.julia.zoom, 60.01f);
    // At sqrt 7.7 the sample rows are y = 47..191: canvas rows 94..384.
    EXPECT_EQ(getpixel(show.presented, 320, 92), 0);
    EXPECT_NE(getpixel(show.presented, 320, 94), 0);
    EXPECT_NE(getpixel(show.presented, 320, 384), 0);
    EXPECT_EQ(getpixel(show.presented, 320, 386), 0);
    EXPECT_EQ(show.host.presents(), 2);
}

}  // namespace
