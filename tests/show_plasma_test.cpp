// Scene 1: the plasma's cells, its springs, the relief threshold in each depth, the turn and Esc.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "frame/show.h"
#include "frame/tick.h"
#include "show_support.h"

namespace {

using Event = HeadlessHost::Event;

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

TEST(PlasmaCells, BiasesAreSubtractedBeforeTruncation)
{
    for (int c : {0, 40, 159}) {
        const PlasmaCell base = plasma_cell(c, 7, 160, 80, 3, 0, 0);
        EXPECT_EQ(base.red, 255 - base.q);
        EXPECT_EQ(base.blue, 256 - base.q);
        // The biases only shift the colour (the rings move with plasm, so compare one point's
        // colour formula at one q): 255 - q - 0.3 truncates to 254 - q, 256 - q - 0.006 to 255 - q.
        const PlasmaCell shifted = plasma_cell(c, 7, 160, 80, 3, 0.6f, 0.012f);
        EXPECT_EQ(shifted.red, 254 - shifted.q);
        EXPECT_EQ(shifted.blue, 255 - shifted.q);
        const PlasmaCell far = plasma_cell(c, 7, 160, 80, 3, 97.0f, 68.0f);
        EXPECT_EQ(far.red, 206 - far.q);   // 255 - q - 48.5
        EXPECT_EQ(far.blue, 222 - far.q);  // 256 - q - 34
    }
    // Green peaks at q = 128 and falls to 64 at q = 192; every cell stays within 0..192.
    for (int pano = 0; pano < 480; pano += 37)
        for (int c = 0; c < 160; c += 3)
            for (int r = 0; r < 80; r += 3) {
                const PlasmaCell cell = plasma_cell(c, r, 160, 80, static_cast<float>(pano), 0, 0);
                ASSERT_GE(cell.q, 0);
                ASSERT_LE(cell.q, 192);
                ASSERT_EQ(cell.green, cell.q <= 128 ? cell.q : 256 - cell.q);
            }
}

TEST(PlasmaSprings, SequencesRangesAndStrictTests)
{
    Plasma pl;
    std::vector<float> plasm, plusm;
    float plasm_max = 0, plasm_min = 0, plusm_max = 0, plusm_min = 0;
    int first_above_50 = 0;
    for (int frame = 1; frame <= 480; frame++) {
        // What the plasma of this frame sees.
        plasm.push_back(pl.plasm);
        plusm.push_back(pl.plusm);
        if (!first_above_50 && pl.plasm > 50)
            first_above_50 = frame;
        plasm_max = std::max(plasm_max, pl.plasm);
        plasm_min = std::min(plasm_min, pl.plasm);
        plusm_max = std::max(plusm_max, pl.plusm);
        plusm_min = std::min(plusm_min, pl.plusm);
        EXPECT_EQ(pl.pano, static_cast<float>(frame - 1));
        pl.update_parameters();
    }
    const std::vector<double> plasm_start = {0, 0, 0.2, 0.6, 1.2, 2.0};
    const std::vector<double> plusm_start = {0, 0, 0.004, 0.012, 0.024, 0.04};
    for (size_t k = 0; k < plasm_start.size(); k++) {
        EXPECT_NEAR(plasm[k], plasm_start[k], 1e-6) << k;
        EXPECT_NEAR(plusm[k], plusm_start[k], 1e-7) << k;
    }
    EXPECT_EQ(first_above_50, 24);
    EXPECT_GE(plasm_min, 0.0f);
    EXPECT_LT(plasm_max, 97.5f);
    EXPECT_GT(plasm_max, 96.0f);
    EXPECT_GE(plusm_min, 0.0f);
    EXPECT_LT(plusm_max, 68.5f);
    EXPECT_GT(plusm_max, 67.0f);

    // Exactly at the centre counts as below: the velocity still grows.
    float pos = 49.8f, vel = 0.2f;
    spring_step(pos, vel, 50.0, 0.2);
    EXPECT_EQ(pos, 50.0f);
    EXPECT_EQ(vel, static_cast<float>(0.2f + 0.2));
    pos = 50.0f;
    vel = 0.0f;
    spring_step(pos, vel, 50.0, 0.2);
    EXPECT_EQ(vel, 0.2f);
    pos = 50.0f;
    vel = 0.0001f;
    spring_step(pos, vel, 50.0, 0.2);
    EXPECT_EQ(vel, static_cast<float>(0.0001f - 0.2));
    pos = 34.0f;
    vel = 0.0f;
    spring_step(pos, vel, 34.0, 0.004);
    EXPECT_EQ(vel, 0.004f);
}

TEST(PlasmaTurn, WrapsFrom254ToZero)
{
    EXPECT_EQ(next_turn(0), 2);
    EXPECT_EQ(next_turn(252), 254);
    EXPECT_EQ(next_turn(254), 0);
    int k = 0;
    for (int n = 1; n <= 128; n++) {
        k = next_turn(k);
        ASSERT_TRUE(k % 2 == 0 && k >= 0 && k <= 254);
    }
    EXPECT_EQ(k, 0);  // one full turn every 128 frames
}

// Relief over synthetic pictures of one depth: height and colour pictures and a marked canvas.
struct Relief {
    HeadlessHost& host;
    BITMAP* canvas;
    BITMAP* height;
    BITMAP* colour;
    int mark;

    Relief(HeadlessHost& h, int depth) : host(h)
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
    HeadlessHost host;
    for (int depth : {32, 24}) {
        SCOPED_TRACE(depth);
        Plasma pl;
        Relief rel(host, depth);
        putpixel(rel.height, 10, 10, 3932160);  // red 60: not above fixed-point 60
        host.polls = 0;
        EXPECT_TRUE(rel.run(pl).empty());
        EXPECT_EQ(host.polls, 55696);

        putpixel(rel.height, 10, 10, 3932161);  // one more: viiva 26, dash 314..317 on row 120
        const auto changed = rel.run(pl);
        const std::vector<std::pair<int, int>> dash = {{314, 120}, {315, 120}, {316, 120}, {317, 120}};
        EXPECT_EQ(changed, dash);
        EXPECT_EQ(getpixel(rel.canvas, 314, 120), getpixel(rel.colour, 10, 10));
        EXPECT_EQ(pl.mapx, 246.0f);
        EXPECT_EQ(pl.mapy, 246.0f);

        // The brightest sample shifts 111 columns; the last sample point is (245, 245).
        clear_to_color(rel.canvas, rel.mark);
        putpixel(rel.height, 10, 10, 0);
        putpixel(rel.height, 245, 245, 0xFFFFFF);
        putpixel(rel.height, 9, 9, 0xFFFFFF);    // outside the sampled square
        putpixel(rel.height, 246, 246, 0xFFFFFF);
        const auto last = rel.run(pl);
        ASSERT_EQ(last.size(), 4u);
        EXPECT_EQ(last.front(), std::make_pair(464, 355));
        EXPECT_EQ(last.back(), std::make_pair(467, 355));
        EXPECT_EQ(pl.viiva, 111.0f);
        EXPECT_EQ(getpixel(rel.canvas, 467, 355), getpixel(rel.colour, 245, 245));
    }
}

TEST(PlasmaRelief, LaterColumnsCoverEarlierOnes)
{
    HeadlessHost host;
    Plasma pl;
    Relief rel(host, 32);
    // Sample (100, 50) with shift 26 spans 404..407; the later column (102, 50) with shift 29
    // spans 403..406 and covers all of it but 407.
    putpixel(rel.height, 100, 50, 3932161);
    putpixel(rel.height, 102, 50, 29 * 150000);
    rel.run(pl);
    EXPECT_EQ(getpixel(rel.canvas, 403, 160), getpixel(rel.colour, 102, 50));
    EXPECT_EQ(getpixel(rel.canvas, 406, 160), getpixel(rel.colour, 102, 50));
    EXPECT_EQ(getpixel(rel.canvas, 407, 160), getpixel(rel.colour, 100, 50));
    EXPECT_EQ(getpixel(rel.canvas, 402, 160), rel.mark);
}

TEST(PlasmaRelief, SilentIn16BitDepth)
{
    HeadlessHost host;
    Plasma pl;
    Relief rel(host, 16);
    clear_to_color(rel.height, 0xFFFF);  // the largest packed value there is
    host.polls = 0;
    EXPECT_TRUE(rel.run(pl).empty());
    EXPECT_EQ(host.polls, 55696);
}

// A show with the bitmaps scene 1 reads.
struct PlasmaScene : ::testing::Test {
    HeadlessHost host;
    std::unique_ptr<Show> show;

    void SetUp() override
    {
        show = std::make_unique<Show>(host);
        Pictures& p = show->pics;
        p.canvas = create_bitmap(640, 480);
        clear_to_color(p.canvas, makecol(10, 20, 30));
        p.face1Rotated = create_bitmap(256, 256);
        p.face2Rotated = create_bitmap(256, 256);
        clear_to_color(p.face1Rotated, 0);
        clear_to_color(p.face2Rotated, 0);
        p.face1Image = create_bitmap(256, 256);
        p.face2Image = create_bitmap(256, 256);
        clear_to_color(p.face1Image, makecol(200, 0, 0));  // height 200 * 65536: viiva 87
        clear_to_color(p.face2Image, makecol(0, 255, 0));
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
    speed_counter = 1;
    ASSERT_TRUE(pl.frame(*show));
    EXPECT_EQ(host.presents, 1);
    EXPECT_EQ(host.polls, 55696);
    EXPECT_EQ(speed_counter.load(), 0);
    EXPECT_EQ(pl.kartanpyoritys, 2);
    EXPECT_EQ(pl.pano, 1.0f);
    // Blocks of the first frame; nothing above row 80 or below 399 is touched.
    for (int y = 80; y <= 83; y++)
        for (int x = 0; x <= 3; x++)
            EXPECT_EQ(getpixel(canvas, x, y), makecol(129, 126, 130));
    EXPECT_EQ(getpixel(canvas, 160, 240), makecol(142, 113, 143));
    EXPECT_EQ(getpixel(canvas, 639, 399), makecol(148, 107, 149));
    EXPECT_EQ(getpixel(canvas, 0, 79), makecol(10, 20, 30));
    EXPECT_EQ(getpixel(canvas, 639, 400), makecol(10, 20, 30));
    // The faces were black when the relief read them; now they are turned copies.
    EXPECT_EQ(getpixel(show->pics.face1Rotated, 128, 128), makecol(200, 0, 0));
    EXPECT_EQ(getpixel(show->pics.face2Rotated, 128, 128), makecol(0, 255, 0));

    // The second frame's relief reads them: the sample (128, 128) draws 128 + 330 - 87 = 371..374.
    speed_counter = 1;
    ASSERT_TRUE(pl.frame(*show));
    EXPECT_EQ(host.polls, 2 * 55696);
    EXPECT_EQ(getpixel(canvas, 371, 238), makecol(0, 255, 0));
    EXPECT_EQ(getpixel(canvas, 374, 238), makecol(0, 255, 0));
    EXPECT_EQ(pl.kartanpyoritys, 4);
}

TEST_F(PlasmaScene, EscBeforeThePresentEndsWithDeinitOnly)
{
    host.install_tick();
    host.esc = [](const HeadlessHost& h) { return h.polls > 1; };  // only the scene's own test
    show->effu = 1;
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(host.presents, 0);
    EXPECT_EQ(host.polls, 1 + 55696);
    EXPECT_TRUE(host.has(Event::Deinit));
    EXPECT_FALSE(host.has(Event::Windowed));
    EXPECT_EQ(speed_counter.load(), 1);
    EXPECT_EQ(show->plasma.kartanpyoritys, 2);  // the frame ran to its end before the test
}

}  // namespace
