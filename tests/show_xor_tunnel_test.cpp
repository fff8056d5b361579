// Scene 5, the XOR tunnel: colours of the pattern, the first frame and the black odd rows.
#include <gtest/gtest.h>

#include <memory>

#include "show/show.h"
#include "show_support.h"

namespace {

// A show with stand-in pictures, its tables built, a black canvas (as scene 4 leaves it) and the
// scene clock where the first scene 3 visit leaves it.
struct SceneShow {
    TempDir dir;
    SpyHost host;
    std::unique_ptr<Show> s;
    BITMAP* presented = nullptr;

    SceneShow()
    {
        s = show_on_stand_ins(host, dir);
        build_tunnel_tables(*s->tables, s->pics.face3Image);
        clear_to_color(s->pics.canvas, 0);
        s->animation = 1.6f;
        presented = create_bitmap_ex(32, 640, 480);
        host.on_iteration = [this](BITMAP* b, Phase, long) {
            blit(b, presented, 0, 0, 0, 0, 640, 480);
        };
        host.set_owed(0);
    }
    ~SceneShow() { destroy_bitmap(presented); }
};

TEST(XorTunnel, PatternColoursKeepTheirNegativeGreen)
{
    start_headless_allegro(32);
    EXPECT_EQ(xor_colour(0), 0x00FF00);
    EXPECT_EQ(xor_colour(32), 0x207F00);
    EXPECT_EQ(xor_colour(63), 0x3F0300);
    EXPECT_EQ(xor_colour(64), makecol(64, -1, 0));
    EXPECT_EQ(static_cast<unsigned>(xor_colour(64)), 0xFFFFFF00u);
    EXPECT_EQ(xor_colour(128), makecol(128, -257, 0));
    EXPECT_EQ(static_cast<unsigned>(xor_colour(128)), 0xFFFEFF00u);
    EXPECT_EQ(xor_colour(255), makecol(255, -765, 0));
    EXPECT_EQ(xor_colour(118), makecol(118, -217, 0));
}

// The first frame of the first visit, pixel by pixel where the tables say, then its last frame.
TEST(XorTunnel, FirstAndLastFrameOfTheFirstVisit)
{
    SceneShow show;
    Show& s = *show.s;
    ASSERT_TRUE(s.xorTunnel.frame(s));
    EXPECT_FLOAT_EQ(s.animation, 1.57f);
    EXPECT_EQ(static_cast<int>(s.animation * 256.0), 401);
    EXPECT_EQ(static_cast<int>(s.animation * 64.0), 100);
    EXPECT_EQ(show.host.presents(), 1);
    EXPECT_EQ(show.host.polls, 1);
    EXPECT_EQ(show.host.owed(), -1);
    EXPECT_EQ(s.random.draws(), 0);

    // (0, 0): u = (-16 + 401) & 255 = 129, v = (-109 + 100) & 255 = 247, c = 118. Nothing is
    // smeared onto column 0.
    EXPECT_EQ(getpixel(show.presented, 0, 80), xor_colour(118));
    EXPECT_EQ(getpixel(s.pics.canvas, 0, 80), 0);  // bars after the present

    // The pass alone: the centre gives u = 145, v = 120, c = 233 at canvas (320, 240).
    clear_to_color(s.pics.canvas, 0);
    draw_xor_tunnel(s.pics.canvas, *s.tables, 401, 100);
    EXPECT_EQ(getpixel(s.pics.canvas, 320, 240), xor_colour(233));
    EXPECT_EQ(getpixel(s.pics.canvas, 0, 80), xor_colour(118));
    EXPECT_EQ(getpixel(s.pics.canvas, 320, 241), 0);

    // The visit's last frame, past the animation's wrap: its odd rows and the bars stay black.
    for (int n = 1; n < 40; n++)
        ASSERT_TRUE(s.xorTunnel.frame(s));
    EXPECT_NEAR(s.animation, 0.40, 1e-3);
    long lit = 0;
    for (int x = 0; x < 640; x++)
        for (int y : {0, 79, 81, 241, 399, 400, 479})
            lit += getpixel(show.presented, x, y) != 0;
    EXPECT_EQ(lit, 0);
    EXPECT_NE(getpixel(show.presented, 320, 240), 0);
}

}  // namespace
