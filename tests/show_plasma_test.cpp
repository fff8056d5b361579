// Scene 1: the plasma's cells, its springs, the relief threshold in each depth, the turn and Esc.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "show/show.h"
#include "show_support.h"

namespace {

using Event = SpyHost::Event;

TEST(PlasmaCells, FirstFrameOfTheShow)
{
    struct Row {
        int c, r;
        double d, value;
        int v, q, red, green, blue;
    };
    const std::vector<Row> rows = {
        {0, 0, 72.111, 506.835, 506, 126, 129, 126, 130},
        {40, 40, 100.0, 454.719, 454, 113, 142, 113, 143},
        {159, 79, 222.445, 430.792, 430, 107, 148, 107, 149},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "cell " << row.c << ", " << row.r);
        const PlasmaCell cell = plasma_cell(row.c, row.r, 160, 80, 0, 0, 0);
        EXPECT_NEAR(cell.d, row.d, 5e-4);
        EXPECT_NEAR(cell.value, row.value, 5e-4);
        EXPECT_EQ(cell.v, row.v);
        EXPECT_EQ(cell.q, row.q);
        EXPECT_EQ(cell.red, row.red);
        EXPECT_EQ(cell.green, row.green);
        EXPECT_EQ(cell.blue, row.blue);
    }
}

TEST(PlasmaSprings, SequencesRangesAndStrictTests)
{
    Plasma pl;
    std::vector<float> plasm, plusm;  // what the plasma of each of the show's 480 frames sees
    int first_above_50 = 0;
    for (int frame = 1; frame <= 480; frame++) {
        plasm.push_back(pl.plasm);
        plusm.push_back(pl.plusm);
        if (!first_above_50 && pl.plasm > 50)
            first_above_50 = frame;
        pl.update_parameters();
    }
    EXPECT_EQ(pl.pano, 480.0f);
    const double plasm_start[] = {0, 0, 0.2, 0.6, 1.2, 2.0};
    const double plusm_start[] = {0, 0, 0.004, 0.012, 0.024, 0.04};
    for (int k = 0; k < 6; k++) {
        EXPECT_NEAR(plasm[k], plasm_start[k], 1e-6) << k;
        EXPECT_NEAR(plusm[k], plusm_start[k], 1e-7) << k;
    }
    EXPECT_EQ(first_above_50, 24);
    EXPECT_GE(*std::min_element(plasm.begin(), plasm.end()), 0.0f);
    EXPECT_NEAR(*std::max_element(plasm.begin(), plasm.end()), 97, 0.5);
    EXPECT_GE(*std::min_element(plusm.begin(), plusm.end()), 0.0f);
    EXPECT_NEAR(*std::max_element(plusm.begin(), plusm.end()), 68, 0.5);

    // The new position is tested and equal counts as below: the velocity still grows. Values are
    // today's show's, whose frames the golden table pins.
    float pos = 49.8f, vel = 0.2f;
    spring_step(pos, vel, 50.0, 0.2);
    EXPECT_EQ(pos, 50.0f);
    EXPECT_EQ(vel, 0x1.99999ap-2f);  // 0.4
    pos = 50.0f;
    vel = 0.0001f;
    spring_step(pos, vel, 50.0, 0.2);
    EXPECT_EQ(vel, -0x1.99652cp-3f);  // -0.1999
    pos = 34.0f;
    vel = 0.0f;
    spring_step(pos, vel, 34.0, 0.004);
    EXPECT_EQ(vel, 0.004f);
}

// Relief over synthetic pictures of one depth: height and colour pictures and a marked canvas.
struct Relief {
    SpyHost& host;
    BITMAP* canvas;
    BITMAP* height;
    BITMAP* colour;
    int mark;

    Relief(SpyHost& h, int depth) : host(h)
    {
        canvas = create_bitmap_ex(depth, 640, 480);
        height = create_bitmap_ex(depth, 256, 256);
        colour = create_bitmap_ex(depth, 256, 256);
        mark = makecol_depth(depth, 1, 2, 3);
        clear_to_color(canvas, mark);
        clear_to_color(height, 0);
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++)
                putpixel(colour, x, y, makecol_depth(depth, x, y, 200));
    }
    ~Relief()
    {
        destroy_bitmap(canvas);
        destroy_bitmap(height);
        destroy_bitmap(colour);
    }
    // Runs the relief and lists the canvas pixels that changed, as (x, y).
    std::vector<std::pair<int, int>> run(Plasma& pl)
    {
        pl.draw_relief(host, canvas, height, colour);
        std::vector<std::pair<int, int>> changed;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (getpixel(canvas, x, y) != mark)
                    changed.push_back({x, y});
        return changed;
    }
};

TEST(PlasmaRelief, ThresholdIsStrictAndTheDashShiftsByTheHeight)
{
    SpyHost host;
    for (int depth : {32, 24}) {
        SCOPED_TRACE(depth);
        Plasma pl;
        Relief rel(host, depth);
        // Sample (10, 30), off the diagonal so that a read with x and y swapped shows.
        putpixel(rel.height, 10, 30, 3932160);  // red 60: not above fixed-point 60
        host.polls = 0;
        EXPECT_TRUE(rel.run(pl).empty());
        EXPECT_EQ(host.polls, 55696);

        putpixel(rel.height, 10, 30, 3932161);  // one more: viiva 26, dash 314..317 on row 140
        const auto changed = rel.run(pl);
        const std::vector<std::pair<int, int>> dash = {
            {314, 140}, {315, 140}, {316, 140}, {317, 140}};
        EXPECT_EQ(changed, dash);
        EXPECT_EQ(getpixel(rel.canvas, 314, 140), getpixel(rel.colour, 10, 30));
        EXPECT_EQ(pl.mapx, 246.0f);
        EXPECT_EQ(pl.mapy, 246.0f);

        // The brightest sample shifts 111 columns; the last sample point is (245, 245).
        clear_to_color(rel.canvas, rel.mark);
        putpixel(rel.height, 10, 30, 0);
        putpixel(rel.height, 245, 245, 0xFFFFFF);
        putpixel(rel.height, 9, 9, 0xFFFFFF);  // outside the sampled square
        putpixel(rel.height, 246, 246, 0xFFFFFF);
        const auto last = rel.run(pl);
        ASSERT_EQ(last.size(), 4u);
        EXPECT_EQ(last.front(), std::make_pair(464, 355));
        EXPECT_EQ(last.back(), std::make_pair(467, 355));
        EXPECT_EQ(pl.viiva, 111.0f);
        EXPECT_EQ(getpixel(rel.canvas, 467, 355), getpixel(rel.colour, 245, 245));
    }
}

TEST(PlasmaRelief, SilentIn16BitDepth)
{
    SpyHost host;
    Plasma pl;
    Relief rel(host, 16);
    clear_to_color(rel.height, 0xFFFF);  // the largest packed value there is
    host.polls = 0;
    EXPECT_TRUE(rel.run(pl).empty());
    EXPECT_EQ(host.polls, 55696);
}

// A show with the bitmaps scene 1 reads: black turned faces, a red height and a green colour face.
struct PlasmaScene : ::testing::Test {
    SpyHost host;
    std::unique_ptr<Show> show;

    void SetUp() override
    {
        show = std::make_unique<Show>(host);
        Pictures& p = show->pics;
        BITMAP** bitmaps[] = {&p.canvas, &p.face1Rotated, &p.face2Rotated, &p.face1Image,
                              &p.face2Image};
        const int colours[] = {makecol(10, 20, 30), 0, 0, makecol(200, 0, 0), makecol(0, 255, 0)};
        for (int k = 0; k < 5; k++) {
            *bitmaps[k] = k == 0 ? create_bitmap(640, 480) : create_bitmap(256, 256);
            clear_to_color(*bitmaps[k], colours[k]);
        }
        show->plasma.plasma_w = 160;
        show->plasma.plasma_h = 80;
    }
    void TearDown() override
    {
        Pictures& p = show->pics;
        for (BITMAP* b : {p.canvas, p.face1Rotated, p.face2Rotated, p.face1Image, p.face2Image})
            destroy_bitmap(b);
    }
};

TEST_F(PlasmaScene, FirstFramePlasmaThenTurnedFacesFeedTheNextRelief)
{
    Plasma& pl = show->plasma;
    BITMAP* canvas = show->pics.canvas;
    host.set_owed(1);
    ASSERT_TRUE(pl.frame(*show));
    EXPECT_EQ(host.presents(), 1);
    EXPECT_EQ(host.polls, 55696);
    EXPECT_EQ(host.owed(), 0);
    EXPECT_EQ(pl.kartanpyoritys, 2);
    // The table's blocks, from their first to their last pixel; rows 0..79 and 400..479 keep
    // what they held.
    EXPECT_EQ(getpixel(canvas, 0, 80), makecol(129, 126, 130));
    EXPECT_EQ(getpixel(canvas, 3, 83), makecol(129, 126, 130));
    EXPECT_EQ(getpixel(canvas, 160, 240), makecol(142, 113, 143));
    EXPECT_EQ(getpixel(canvas, 639, 399), makecol(148, 107, 149));
    EXPECT_EQ(getpixel(canvas, 0, 79), makecol(10, 20, 30));
    EXPECT_EQ(getpixel(canvas, 639, 400), makecol(10, 20, 30));
    // The faces were black when this relief read them; the next one reads the turned copies:
    // sample (128, 128) with height 200 << 16 (viiva 87) draws 371..374 on row 238.
    EXPECT_EQ(getpixel(show->pics.face1Rotated, 128, 128), makecol(200, 0, 0));
    EXPECT_NE(getpixel(canvas, 371, 238), makecol(0, 255, 0));
    host.set_owed(1);
    ASSERT_TRUE(pl.frame(*show));
    EXPECT_EQ(getpixel(canvas, 371, 238), makecol(0, 255, 0));
    EXPECT_EQ(getpixel(canvas, 374, 238), makecol(0, 255, 0));
}

TEST_F(PlasmaScene, EscBeforeThePresentEndsWithDeinitOnly)
{
    host.install_tick();
    host.esc = [](const SpyHost& h) { return h.polls > 1; };  // only the scene's own test
    show->effu = 1;
    show->plasma.kartanpyoritys = 254;
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(host.presents(), 0);
    EXPECT_EQ(host.polls, 1 + 55696);
    EXPECT_EQ(host.events, (std::vector<Event>{Event::InstallTick, Event::Deinit}));
    // The frame ran to its end before the test: the turn went on from 254, wrapping to 0.
    EXPECT_EQ(show->plasma.kartanpyoritys, 0);
}

}  // namespace
