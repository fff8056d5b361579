// Scene 3, the textured tunnel: the tunnel pass, the spring, the seam and the frame's values.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "show/show.h"
#include "show_support.h"

namespace {

// A face3 stand-in whose every pixel tells where it came from.
int face_pixel(int x, int y)
{
    return (x << 16) | (y << 8) | 0x33;
}

// A show with stand-in pictures and tunnel tables built from the telling face picture.
struct SceneShow {
    TempDir dir;
    SpyHost host;
    std::unique_ptr<Show> s;

    SceneShow()
    {
        s = show_on_stand_ins(host, dir);
        BITMAP* face = create_bitmap_ex(32, 256, 256);
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++)
                putpixel(face, x, y, face_pixel(x, y));
        build_tunnel_tables(*s->tables, face);
        destroy_bitmap(face);
        clear_to_color(s->pics.canvas, 0);
        clear_to_color(s->pics.auxCanvas, makecol(255, 0, 255));
        host.set_owed(0);
    }
};

TEST(Tunnel, FirstVisitFollowsTheTableOfFrameValues)
{
    SceneShow show;
    Show& s = *show.s;
    struct Row {
        int n;
        double animation;
        int dz, da;
        double paini, painiStep;
        int kak, alpha, px, py, firstW, firstX, secondW, height;
    };
    const Row rows[] = {
        {1, 0.01, 2, 0, 0.0, 0.1, 180, 10, 269, 230, 0, 91, 91, 122},
        {2, 0.02, 5, 1, 0.1, 0.2, 170, 10, 268, 229, 5, 88, 88, 124},
        {3, 0.03, 7, 1, 0.3, 0.3, 160, 10, 267, 229, 10, 84, 84, 127},
        {45, 0.45, 115, 28, 99.0, 4.5, 57, 59, 226, 131, 115, 53, 53, 224},
        {46, 0.46, 117, 29, 103.5, 4.4, 57, 61, 225, 126, 116, 53, 53, 226},
        {90, 0.90, 230, 57, 202.5, 0.0, 159, 111, 191, 27, 26, 204, 204, 307},
        {135, 1.35, 345, 86, 103.5, -4.5, 75, 61, 172, 126, 154, 110, 110, 354},
        {160, 1.60, 409, 102, 21.0, -2.0, 134, 20, 170, 208, 68, 200, 200, 359},
    };
    size_t next = 0;
    for (int n = 1; n <= 160; n++) {
        const long draws = s.random.draws();
        const long presents = show.host.presents(), polls = show.host.polls;
        const long owed = show.host.owed();
        ASSERT_TRUE(s.tunnel.frame(s));
        // One random draw, one poll, one present and one tick per frame.
        ASSERT_EQ(s.random.draws(), draws + 1);
        ASSERT_EQ(show.host.polls, polls + 1);
        ASSERT_EQ(show.host.presents(), presents + 1);
        ASSERT_EQ(show.host.owed(), owed - 1);
        if (next == std::size(rows) || rows[next].n != n)
            continue;
        const Row& r = rows[next++];
        SCOPED_TRACE(::testing::Message() << "frame " << n);
        const TunnelLayout l = tunnel_layout(s.animation, s.tunnel.paini, s.tunnel.kak);
        EXPECT_NEAR(s.animation, r.animation, 1e-4);
        EXPECT_EQ(l.depthOffset, r.dz);
        EXPECT_EQ(l.angleOffset, r.da);
        EXPECT_NEAR(s.tunnel.paini, r.paini, 1e-3);
        EXPECT_NEAR(s.tunnel.painiStep, r.painiStep, 1e-3);
        EXPECT_EQ(s.tunnel.kak, r.kak);
        EXPECT_EQ(l.alpha, r.alpha);
        EXPECT_EQ(l.spriteX, r.px);
        EXPECT_EQ(l.spriteY, r.py);
        EXPECT_EQ(l.firstW, r.firstW);
        EXPECT_EQ(l.firstX, r.firstX);
        EXPECT_EQ(l.secondW, r.secondW);
        EXPECT_EQ(l.height, r.height);
    }
    EXPECT_EQ(next, std::size(rows));
}

TEST(Tunnel, FirstFramePixelsComeStraightFromTheTexture)
{
    SceneShow show;
    Show& s = *show.s;
    BITMAP* presented = create_bitmap_ex(32, 640, 480);
    show.host.on_iteration = [&](BITMAP* b, Phase, long) {
        blit(b, presented, 0, 0, 0, 0, 640, 480);
    };
    ASSERT_TRUE(s.tunnel.frame(s));

    // Depth -8 + 2 is column 250, angle -109 + 0 row 147; the trail above (0, 80) is black.
    EXPECT_EQ(getpixel(presented, 0, 80), face_pixel(250, 147));
    // Letterbox painted after the present.
    EXPECT_EQ(getpixel(s.pics.canvas, 0, 80), 0);
    EXPECT_EQ(getpixel(s.pics.canvas, 639, 400), 0);
    // auxCanvas is magenta again for the next frame.
    EXPECT_EQ(getpixel(s.pics.auxCanvas, 10, 10), makecol(255, 0, 255));
    EXPECT_EQ(getpixel(s.pics.auxCanvas, 300, 200), makecol(255, 0, 255));

    // The pass alone: the centre reads depth 0 and angle 20, texel (2, 20), at canvas (320, 240).
    clear_to_color(s.pics.canvas, 0x777777);
    draw_face_tunnel(s.pics.canvas, *s.tables, 2, 0);
    EXPECT_EQ(getpixel(s.pics.canvas, 320, 240), face_pixel(2, 20));
    EXPECT_EQ(getpixel(s.pics.canvas, 0, 80), face_pixel(250, 147));
    EXPECT_EQ(getpixel(s.pics.canvas, 0, 79), 0x777777);
    EXPECT_EQ(getpixel(s.pics.canvas, 639, 400), 0x777777);
    destroy_bitmap(presented);
}

// Both tunnel passes write straight into the rows only where putpixel would leave the very same
// pixels. Under a drawing mode other than solid, or a clipping rectangle that cuts into the view
// from any side, each pixel must be what putpixel makes of the solid, unclipped result: the old
// pixel XORed with it, or the old pixel outside the rectangle.
TEST(TunnelPasses, DirectRowsOnlyWherePutpixelGivesTheSame)
{
    SceneShow show;
    const TunnelTables& t = *show.s->tables;
    constexpr int kOld = 0x5A5A5A5A;  // no texel and no pattern colour has these top bits
    struct Case {
        const char* name;
        int cl, ct, cr, cb;  // clipping rectangle, inclusive
        bool xor_mode;
    };
    const Case cases[] = {
        {"solid, unclipped", 0, 0, 639, 479, false},
        {"xor mode", 0, 0, 639, 479, true},
        {"clipped at the top", 0, 123, 639, 479, false},
        {"clipped at the bottom", 0, 0, 639, 350, false},
        {"clipped at the left", 7, 0, 639, 479, false},
        {"clipped at the right", 0, 0, 600, 479, false},
    };
    for (int pass = 0; pass < 2; pass++) {
        auto draw = [&](BITMAP* b) {
            if (pass == 0)
                draw_face_tunnel(b, t, 409, 102);
            else
                draw_xor_tunnel(b, t, -123, 77);
        };
        BITMAP* plain = create_bitmap_ex(32, 640, 480);
        clear_to_color(plain, kOld);
        draw(plain);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << (pass == 0 ? "face tunnel, " : "xor tunnel, ") << c.name);
            BITMAP* b = create_bitmap_ex(32, 640, 480);
            clear_to_color(b, kOld);
            set_clip_rect(b, c.cl, c.ct, c.cr, c.cb);
            if (c.xor_mode)
                drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
            draw(b);
            solid_mode();
            long wrong = 0;
            for (int y = 0; y < 480; y++)
                for (int x = 0; x < 640; x++) {
                    const int drawn = getpixel(plain, x, y);
                    const bool inside = x >= c.cl && x <= c.cr && y >= c.ct && y <= c.cb;
                    int expected = kOld;
                    if (drawn != kOld && inside)
                        expected = c.xor_mode ? kOld ^ drawn : drawn;
                    wrong += getpixel(b, x, y) != expected;
                }
            EXPECT_EQ(wrong, 0);
            destroy_bitmap(b);
        }
        destroy_bitmap(plain);
    }
}

TEST(Tunnel, SpringAndSeamWrapExactly)
{
    SceneShow show;
    Show& s = *show.s;
    struct Case {
        int kak;
        float paini;
        int kak_after;
        float step_after;
    };
    // The spring step is 0 going in, so paini stays as given and the seam moves by (paini-100)/10.
    const Case cases[] = {
        {178, 200.0f, 0, -0.1f},    // 188 wraps to exactly 0, not 8 or 1
        {2, 0.0f, 180, 0.1f},       // -8 wraps to exactly 180
        {170, 200.0f, 180, -0.1f},  // 180 itself stays
        {0, 90.0f, 180, 0.1f},      // -1 wraps
        {1, 99.5f, 0, 0.1f},        // 0.95 truncates to 0, which stays
        {50, 109.9f, 50, -0.1f},    // below 110 the seam does not move right
        {50, 110.0f, 51, -0.1f},
        {50, 100.0f, 50, 0.1f},  // exactly 100 is not above: the step grows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "kak " << c.kak << " paini " << c.paini);
        s.tunnel.kak = c.kak;
        s.tunnel.paini = c.paini;
        s.tunnel.painiStep = 0;
        ASSERT_TRUE(s.tunnel.frame(s));
        EXPECT_EQ(s.tunnel.kak, c.kak_after);
        EXPECT_FLOAT_EQ(s.tunnel.painiStep, c.step_after);
    }
}

}  // namespace
