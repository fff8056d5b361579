// Scene 0: stair and riser geometry, the tile rules at their edges, the random draws and Esc.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "frame/show.h"
#include "frame/tick.h"
#include "show_support.h"

namespace {

using Event = HeadlessHost::Event;

// A show with just the bitmaps scene 0 reads, in plain colours.
struct StairsScene : ::testing::Test {
    HeadlessHost host;
    std::unique_ptr<Show> show;

    void SetUp() override
    {
        show = std::make_unique<Show>(host);
        Pictures& p = show->pics;
        p.canvas = create_bitmap(640, 480);
        clear_to_color(p.canvas, makecol(10, 20, 30));
        p.titleImage = create_bitmap(640, 480);
        clear_to_color(p.titleImage, makecol(90, 60, 120));
        p.tileImage = create_bitmap(32, 32);
        clear_to_color(p.tileImage, makecol(0, 200, 200));
        p.stairsBitmap = create_bitmap(272, 57);
        clear_to_color(p.stairsBitmap, makecol(128, 128, 128));
        p.stairs2Bitmap = create_bitmap(272, 20);
        clear_to_color(p.stairs2Bitmap, makecol(200, 100, 0));
        show->stairs.setup_tiles(show->random);
        set_trans_blender(300, 300, 300, 30);
    }
    void TearDown() override
    {
        Pictures& p = show->pics;
        for (BITMAP* b : {p.canvas, p.titleImage, p.tileImage, p.stairsBitmap, p.stairs2Bitmap})
            destroy_bitmap(b);
    }
};

// A single tile with everything zero but what a test sets; drops 0 keeps its nearness fixed.
Stairs still_tile()
{
    Stairs st;
    st.drops[0] = 0;
    return st;
}

TEST(StairGeometry, BothEndsOfTheSlide)
{
    // step, p, stair X Y W H, riser Y2 W2 H2 (riser X is the stair's).
    struct Row {
        int step, p, x, y, w, h, y2, w2, h2;
    };
    const std::vector<Row> rows = {
        {0, 0, 300, 110, 60, 8, 0, 0, 0},      {0, 21, 295, 110, 70, 8, 0, 0, 0},
        {1, 0, 295, 111, 67, 12, 0, 0, 0},     {1, 21, 290, 113, 77, 12, 0, 0, 0},
        {10, 0, 250, 210, 139, 48, 0, 0, 0},   {10, 21, 245, 231, 149, 48, 0, 0, 0},
        {11, 0, 245, 231, 146, 52, 230, 140, 2}, {11, 21, 240, 254, 156, 52, 253, 150, 2},
        {15, 0, 225, 335, 178, 68, 326, 180, 10}, {15, 21, 220, 366, 188, 68, 357, 190, 10},
        {19, 0, 205, 471, 210, 84, 454, 220, 18}, {19, 21, 200, 510, 220, 84, 493, 230, 18},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "step " << r.step << " p " << r.p);
        const StretchRect st = stair_rect(r.step, r.p, 0.0);
        EXPECT_EQ(st.x, r.x);
        EXPECT_EQ(st.y, r.y);
        EXPECT_EQ(st.w, r.w);
        EXPECT_EQ(st.h, r.h);
        if (r.step > 10) {
            const StretchRect rs = riser_rect(r.step, r.p, 0.0);
            EXPECT_EQ(rs.x, r.x);
            EXPECT_EQ(rs.y, r.y2);
            EXPECT_EQ(rs.w, r.w2);
            EXPECT_EQ(rs.h, r.h2);
        }
    }
}

TEST(StairGeometry, RiserEndsOnTheStairsFirstRowAndBothBob)
{
    for (double s : {0.0, 0.5, 1.0, std::sin(37 / 20.0)}) {
        for (int p = 0; p <= 21; p++) {
            for (int step = 11; step <= 19; step++) {
                const StretchRect st = stair_rect(step, p, s);
                const StretchRect rs = riser_rect(step, p, s);
                EXPECT_EQ(rs.y + rs.h - 1, st.y) << "s " << s << " p " << p << " step " << step;
            }
        }
    }
    EXPECT_EQ(stair_rect(0, 0, 1.0).y, 150);
    EXPECT_EQ(stair_rect(0, 0, -1.0).y, 70);
    EXPECT_EQ(stair_rect(3, 7, -0.49).y, 101);  // -19.6 + 110 + 9 + 2 = 101.4, truncated
}

TEST(TileRules, BounceNeedsTheOffsetStrictlyAboveTheDraw)
{
    Stairs st = still_tile();
    st.dropy[0] = 100;
    st.dropa[0] = 0.25f;
    st.tile_substep(0, 1009);  // 1009 / 10 = 100: equal, no kick
    EXPECT_FLOAT_EQ(st.dropa[0], static_cast<float>(0.25 + 0.001));
    EXPECT_FLOAT_EQ(st.dropy[0], static_cast<float>(100.0 + st.dropa[0]));

    st.dropy[0] = 100;
    st.tile_substep(0, 999);  // 99: kicked upward
    EXPECT_EQ(st.dropa[0], -0.5f);
    EXPECT_EQ(st.dropy[0], 99.5f);

    st.dropy[0] = 0;
    st.dropa[0] = 0;
    st.tile_substep(0, 0);  // a zero offset is never kicked
    EXPECT_FLOAT_EQ(st.dropa[0], 0.001f);
}

TEST(TileRules, SideTurnUsesTheTruncatedOffset)
{
    // A speed too small to move the offset, so only its sign shows the turn.
    const float tiny = 1e-20f;
    Stairs st = still_tile();  // dropz 0: walls at +-40
    st.dropd[0] = tiny;
    st.dropx[0] = 40.9f;       // truncated 40: no turn
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], tiny);
    st.dropx[0] = 41.0f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], -tiny);

    st.dropx[0] = -40.9f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], -tiny);
    st.dropx[0] = -41.0f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], tiny);

    // The wall widens with nearness: at 350 it is at 140.
    st.dropz[0] = 350;
    st.dropx[0] = 140.99f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], tiny);
    st.dropx[0] = 141.0f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropd[0], -tiny);

    // A real speed moves the tile by an eighth of it per sub-step.
    st.dropd[0] = 1.0f;
    st.dropx[0] = 10.0f;
    st.tile_substep(0, 0);
    EXPECT_EQ(st.dropx[0], 10.125f);
}

TEST(TileRules, RespawnAboveNearness400KeepsHeightAndSpeed)
{
    Stairs st = still_tile();
    st.dropz[3] = 400;
    st.drops[3] = 0;
    st.dropx[3] = 5;
    st.dropy[3] = -20;
    const StretchRect at400 = st.tile_substep(3, 0);
    EXPECT_EQ(st.dropz[3], 400.0f);
    EXPECT_EQ(at400.w, 110);
    EXPECT_EQ(at400.h, 110);
    EXPECT_EQ(at400.x, 315);
    EXPECT_EQ(at400.y, static_cast<int>(550.0 + st.dropy[3]));

    // 399.9 + 0.1 lands on exactly 400 in float: drawn at full size, no respawn.
    st.dropz[4] = 399.9f;
    st.drops[4] = 0.1f;
    st.dropx[4] = 7;
    EXPECT_EQ(st.tile_substep(4, 0).w, 110);
    EXPECT_EQ(st.dropz[4], 400.0f);
    EXPECT_EQ(st.dropx[4], 7.0f);
    st.tile_substep(4, 0);  // 400.1: respawn
    EXPECT_EQ(st.dropz[4], 0.0f);
    EXPECT_EQ(st.dropx[4], 0.0f);
    EXPECT_EQ(st.dropd[4], static_cast<float>(std::sin(4.0) - 0.3));

    // Starting nearness 409 (rand() / 80 at its largest) respawns in the first sub-step.
    Stairs fresh;
    fresh.dropz[3] = 409;
    fresh.drops[3] = 0.1f;
    fresh.dropx[3] = 6;
    fresh.dropd[3] = static_cast<float>(std::sin(3.0) - 0.5);
    fresh.dropy[3] = 30;
    fresh.dropa[3] = 2;
    const StretchRect t = fresh.tile_substep(3, 32767);
    EXPECT_EQ(fresh.dropz[3], 0.0f);
    EXPECT_EQ(fresh.dropx[3], 0.0f);
    EXPECT_EQ(fresh.dropd[3], static_cast<float>(std::sin(3.0) - 0.3));
    EXPECT_FLOAT_EQ(fresh.dropa[3], static_cast<float>(2.0 + 0.001));
    EXPECT_FLOAT_EQ(fresh.dropy[3], static_cast<float>(30.0 + fresh.dropa[3]));
    EXPECT_EQ(t.x, 310);
    EXPECT_EQ(t.y, static_cast<int>(150.0 + fresh.dropy[3]));
    EXPECT_EQ(t.w, 10);
}

TEST(TileRules, SetupDrawsFourPerTileInOrder)
{
    ShowRandom random, oracle;
    Stairs st;
    st.setup_tiles(random);
    EXPECT_EQ(random.draws(), 400);
    for (int i = 0; i < 100; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(st.dropd[i], static_cast<float>(std::sin(i) - 0.5));
        EXPECT_EQ(st.drops[i], 0.1f);
        EXPECT_EQ(st.dropz[i], static_cast<float>(oracle.next() / 80));
        EXPECT_EQ(st.dropy[i], static_cast<float>(oracle.next() / 200));
        EXPECT_EQ(st.dropa[i], static_cast<float>(oracle.next() / 500));
        EXPECT_EQ(st.dropx[i], static_cast<float>(oracle.next() / 2000 - 10));
    }
}

TEST_F(StairsScene, FrameDraws422TimesMovesTwentyTilesAndSlides)
{
    Stairs& st = show->stairs;
    const Stairs before = st;
    // Replay the tiles' draws: 2 jitter draws, then per stair 20 bounce draws and one alpha.
    Stairs oracle = before;
    ShowRandom rnd = show->random;
    rnd.next();
    rnd.next();
    for (int step = 0; step < 20; step++) {
        for (int i = 0; i < 20; i++)
            oracle.tile_substep(i, rnd.next());
        rnd.next();
    }

    show->laiskuri = 1;
    speed_counter = 1;
    const long draws = show->random.draws();
    ASSERT_TRUE(st.frame(*show));
    EXPECT_EQ(show->random.draws() - draws, 422);
    EXPECT_EQ(speed_counter.load(), 0);
    EXPECT_EQ(host.polls, 1);
    EXPECT_EQ(host.presents, 1);
    EXPECT_EQ(st.porras_liuku, 1);
    for (int i = 0; i < 100; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(st.dropx[i], oracle.dropx[i]);
        EXPECT_EQ(st.dropy[i], oracle.dropy[i]);
        EXPECT_EQ(st.dropz[i], oracle.dropz[i]);
        EXPECT_EQ(st.dropa[i], oracle.dropa[i]);
        EXPECT_EQ(st.dropd[i], oracle.dropd[i]);
        if (i >= 20)
            EXPECT_EQ(st.dropz[i], before.dropz[i]);
    }

    std::vector<int> phases;
    for (int n = 2; n <= 23; n++) {
        show->laiskuri = n;
        ASSERT_TRUE(st.frame(*show));
        phases.push_back(st.porras_liuku);
    }
    EXPECT_EQ(phases[19], 21);  // frame 21
    EXPECT_EQ(phases[20], 0);   // frame 22
    EXPECT_EQ(phases[21], 1);
    EXPECT_EQ(show->random.draws() - draws, 23 * 422);
}

TEST_F(StairsScene, FrameBobsTheTitleAndBarsTheCanvas)
{
    // A title 300 rows high shows the bob: its plain copy starts at trunc(40 sin(laiskuri / 20)),
    // the jittered copy at rand() / 1000 - 5 <= 27, so row 330 is title only when the bob is down.
    Pictures& p = show->pics;
    destroy_bitmap(p.titleImage);
    p.titleImage = create_bitmap(640, 300);
    const int title = makecol(90, 60, 120);
    const int old_colour = makecol(10, 20, 30);
    clear_to_color(p.titleImage, title);
    BITMAP* shown = create_bitmap(640, 480);
    host.on_present = [&](BITMAP* b, Phase, long) { blit(b, shown, 0, 0, 0, 0, 640, 480); };

    // Column 620 lies right of every stair and tile.
    show->laiskuri = 31;  // bob 39: title rows 39..338
    speed_counter = 1;
    ASSERT_TRUE(show->stairs.frame(*show));
    EXPECT_EQ(getpixel(shown, 620, 330), title);
    EXPECT_EQ(getpixel(shown, 620, 380), old_colour);

    clear_to_color(p.canvas, old_colour);
    show->laiskuri = 94;  // bob -39: title rows -39..260
    speed_counter = 1;
    ASSERT_TRUE(show->stairs.frame(*show));
    EXPECT_EQ(getpixel(shown, 620, 250), title);
    EXPECT_EQ(getpixel(shown, 620, 330), old_colour);

    for (int x : {0, 320, 639}) {
        EXPECT_EQ(getpixel(shown, x, 80), 0);
        EXPECT_EQ(getpixel(shown, x, 400), 0);
        EXPECT_NE(getpixel(shown, x, 81), 0);
        EXPECT_NE(getpixel(shown, x, 399), 0);
    }
    destroy_bitmap(shown);
}

TEST_F(StairsScene, EscAfterThePresentEndsWithDeinitOnly)
{
    host.install_tick();
    host.esc = [](const HeadlessHost& h) { return h.presents > 0; };  // the scene's own test
    show->effu = 0;
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(host.presents, 1);
    EXPECT_TRUE(host.has(Event::Deinit));
    EXPECT_FALSE(host.has(Event::Windowed));
    EXPECT_EQ(speed_counter.load(), 1);  // the tick of the ended frame is not consumed
    EXPECT_EQ(show->random.draws(), 400 + 422);
}

}  // namespace
