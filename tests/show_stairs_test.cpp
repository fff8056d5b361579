// Scene 0: stair and riser geometry, the tile rules at their edges, the random draws and Esc.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "show/show.h"
#include "show_support.h"

namespace {

using Event = SpyHost::Event;

TEST(StairGeometry, BothEndsOfTheSlideAndTheRisersJoin)
{
    // step, p, stair X Y W H, riser Y2 W2 H2 (riser X is the stair's; none up to step 10).
    const std::vector<std::vector<int>> rows = {
        {0, 0, 300, 110, 60, 8},
        {0, 21, 295, 110, 70, 8},
        {1, 0, 295, 111, 67, 12},
        {1, 21, 290, 113, 77, 12},
        {10, 0, 250, 210, 139, 48},
        {10, 21, 245, 231, 149, 48},
        {11, 0, 245, 231, 146, 52, 230, 140, 2},
        {11, 21, 240, 254, 156, 52, 253, 150, 2},
        {15, 0, 225, 335, 178, 68, 326, 180, 10},
        {15, 21, 220, 366, 188, 68, 357, 190, 10},
        {19, 0, 205, 471, 210, 84, 454, 220, 18},
        {19, 21, 200, 510, 220, 84, 493, 230, 18},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "step " << r[0] << " p " << r[1]);
        const StretchRect st = stair_rect(r[0], r[1], 0.0);
        EXPECT_EQ(std::vector<int>({st.x, st.y, st.w, st.h}),
                  std::vector<int>(r.begin() + 2, r.begin() + 6));
        if (r.size() > 6) {
            const StretchRect rs = riser_rect(r[0], r[1], 0.0);
            EXPECT_EQ(std::vector<int>({rs.x, rs.y, rs.w, rs.h}),
                      std::vector<int>({r[2], r[6], r[7], r[8]}));
        }
    }
    // The riser's last row is the stair's first, at every phase and bob.
    for (double s : {-1.0, -0.3, 0.0, 0.77, 1.0})
        for (int p = 0; p <= 21; p++)
            for (int step = 11; step <= 19; step++)
                ASSERT_EQ(riser_rect(step, p, s).y + riser_rect(step, p, s).h - 1,
                          stair_rect(step, p, s).y);
    EXPECT_EQ(stair_rect(0, 0, -1.0).y, 70);
    EXPECT_EQ(stair_rect(3, 7, -0.49).y, 101);  // -19.6 + 110 + 9 + 2 = 101.4
}

// Expected values below are today's show's, whose frames the golden table pins.
TEST(TileRules, StrictEdgesOfBounceSideTurnAndRespawn)
{
    Stairs st;  // drops 0 keeps nearness where a case puts it
    // Bounce: dropy must be strictly above rand() / 10.
    st.dropy[0] = 100;
    st.dropa[0] = 0.25f;
    st.tile_substep(0, 1009);
    EXPECT_EQ(st.dropa[0], 0x1.010624p-2f);  // 0.251
    st.dropy[0] = 100;
    st.tile_substep(0, 999);
    EXPECT_EQ(st.dropa[0], -0.5f);
    EXPECT_EQ(st.dropy[0], 99.5f);

    // Side turn on the truncated offset; a speed too small to move it shows the turn by its sign.
    const float tiny = 1e-20f;
    const struct {
        float z, x;
        bool turns;
    } sides[] = {{0, 40.9f, false}, {0, 41.0f, true},      {0, -40.9f, false},
                 {0, -41.0f, true}, {350, 140.99f, false}, {350, 141.0f, true}};
    for (const auto& c : sides) {
        st.dropz[1] = c.z;
        st.dropx[1] = c.x;
        st.dropd[1] = tiny;
        st.tile_substep(1, 0);
        EXPECT_EQ(st.dropd[1], c.turns ? -tiny : tiny) << c.z << " " << c.x;
    }

    // 399.9 + 0.1 is exactly 400 in float: no respawn, full size 110; above 400 respawns.
    st.dropz[4] = 399.9f;
    st.drops[4] = 0.1f;
    st.dropx[4] = 7;
    st.dropd[4] = 0;
    st.dropy[4] = -20;
    const StretchRect at400 = st.tile_substep(4, 0);
    EXPECT_EQ(st.dropz[4], 400.0f);
    EXPECT_EQ(std::vector<int>({at400.x, at400.y, at400.w, at400.h}),
              std::vector<int>({317, 530, 110, 110}));
    EXPECT_EQ(st.dropy[4], -0x1.3ffbe8p+4f);  // -19.999
    const StretchRect fresh = st.tile_substep(4, 32767);
    EXPECT_EQ(st.dropz[4], 0.0f);
    EXPECT_EQ(st.dropx[4], 0.0f);
    EXPECT_EQ(st.dropd[4], -0x1.0e8a9cp+0f);  // sin 4 - 0.3
    EXPECT_EQ(st.dropa[4], 0x1.0624dep-9f);   // 0.002: kept, and pulled as always
    EXPECT_EQ(st.dropy[4], -0x1.3ff3b6p+4f);  // -19.997
    EXPECT_EQ(std::vector<int>({fresh.x, fresh.w}), std::vector<int>({310, 10}));
}

TEST(TileRules, SetupDrawsFourPerTileInOrder)
{
    ShowRandom random;
    Stairs st;
    st.setup_tiles(random);
    EXPECT_EQ(random.draws(), 400);
    // {tile, dropd, dropz, dropy, dropa, dropx}; tile 0 takes the draws 41, 18467, 6334, 26500.
    const struct {
        int i;
        float d, z, y, a, x;
    } tiles[] = {
        {0, -0.5f, 0, 92, 12, 3},
        {1, 0x1.5daa92p-2f, 239, 78, 22, 4},  // dropd = sin i - 0.5
        {2, 0x1.a31edep-2f, 337, 122, 11, 4},
        {57, -0x1.05781cp-4f, 257, 98, 29, -3},
        {99, -0x1.7fcc04p+0f, 93, 141, 15, -6},
    };
    for (const auto& t : tiles) {
        SCOPED_TRACE(t.i);
        EXPECT_EQ(st.dropd[t.i], t.d);
        EXPECT_EQ(st.drops[t.i], 0.1f);
        EXPECT_EQ(std::vector<float>({st.dropz[t.i], st.dropy[t.i], st.dropa[t.i], st.dropx[t.i]}),
                  std::vector<float>({t.z, t.y, t.a, t.x}));
    }
}

// A show with just the bitmaps scene 0 reads, in plain colours.
struct StairsScene : ::testing::Test {
    SpyHost host;
    std::unique_ptr<Show> show;

    void SetUp() override
    {
        show = std::make_unique<Show>(host);
        Pictures& p = show->pics;
        BITMAP** bitmaps[] = {&p.canvas, &p.titleImage, &p.tileImage, &p.stairsBitmap,
                              &p.stairs2Bitmap};
        const int sizes[][2] = {{640, 480}, {640, 480}, {32, 32}, {272, 57}, {272, 20}};
        for (int k = 0; k < 5; k++) {
            *bitmaps[k] = create_bitmap(sizes[k][0], sizes[k][1]);
            clear_to_color(*bitmaps[k], makecol(40 * k, 100, 200 - 30 * k));
        }
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

TEST_F(StairsScene, FrameDraws422TimesMovesTwentyTilesAndSlides)
{
    Stairs& st = show->stairs;
    show->laiskuri = 1;
    host.set_owed(1);
    ASSERT_TRUE(st.frame(*show));
    EXPECT_EQ(show->random.draws(), 400 + 422);
    EXPECT_EQ(host.owed(), 0);
    EXPECT_EQ(host.polls, 1);
    EXPECT_EQ(host.presents(), 1);
    // 2 jitter draws, then per stair 20 bounce draws and one blender alpha: {x, y, z, d} of
    // tiles 0, 1 and 19 after 20 substeps; tile 20 stays as set up.
    const std::vector<std::vector<float>> moved = {
        {0x1.cp+0f, 0x1.4c35c8p+8f, 0x1.000002p+1f, -0x1p-1f},
        {0x1.36a2b8p+2f, 0x1.0e999ap+8f, 0x1.e2001p+7f, 0x1.5daa92p-2f},
        {-0x1.3c0278p+3f, 0x1.0a874cp+9f, 0x1.7a001p+7f, -0x1.668696p-2f},
        {-0x1p+0f, 0x1.f8p+5f, 0x1.eap+7f, 0x1.a6db1ep-2f},
    };
    const int moved_tiles[] = {0, 1, 19, 20};
    for (int k = 0; k < 4; k++) {
        const int i = moved_tiles[k];
        const std::vector<float> now = {st.dropx[i], st.dropy[i], st.dropz[i], st.dropd[i]};
        EXPECT_EQ(now, moved[k]) << i;
    }
    // Bars over rows 0..80 and 400..479.
    EXPECT_EQ(getpixel(show->pics.canvas, 639, 80), 0);
    EXPECT_EQ(getpixel(show->pics.canvas, 0, 400), 0);
    EXPECT_NE(getpixel(show->pics.canvas, 0, 81), 0);

    std::vector<int> phases = {st.porras_liuku};
    for (int n = 2; n <= 23; n++) {
        show->laiskuri = n;
        ASSERT_TRUE(st.frame(*show));
        phases.push_back(st.porras_liuku);
    }
    EXPECT_EQ(phases[0], 1);
    EXPECT_EQ(phases[20], 21);
    EXPECT_EQ(phases[21], 0);
    EXPECT_EQ(phases[22], 1);
}

// The title's translucent copy is jittered by two draws, y first: with every other sprite of the
// scene transparent and the title one white pixel, the copy lands where the 401st and 402nd draws
// (12 and 27 past -5) put it.
TEST_F(StairsScene, TitleCopyJittersByTheNextTwoDrawsYFirst)
{
    Pictures& p = show->pics;
    for (BITMAP* b : {p.titleImage, p.tileImage, p.stairsBitmap, p.stairs2Bitmap})
        clear_to_color(b, makecol(255, 0, 255));
    putpixel(p.titleImage, 100, 200, makecol(255, 255, 255));
    clear_to_color(p.canvas, 0);

    const int jy = 12, jx = 27;  // from the draws past the tile set-up

    show->laiskuri = 1;  // the title bobs by int(40 sin(1/20)) = 1 row
    host.set_owed(1);
    ASSERT_TRUE(show->stairs.frame(*show));
    std::vector<std::pair<int, int>> lit;
    for (int y = 81; y < 400; y++)
        for (int x = 0; x < 640; x++)
            if (getpixel(p.canvas, x, y) != 0)
                lit.push_back({x, y});
    EXPECT_EQ(lit, (std::vector<std::pair<int, int>>{{100, 201}, {100 + jx, 200 + jy}}));
}

TEST_F(StairsScene, EscAfterThePresentEndsWithDeinitOnly)
{
    host.install_tick();
    host.esc = [](const SpyHost& h) { return h.presents() > 0; };  // the scene's own test
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(host.presents(), 1);
    EXPECT_EQ(host.events, (std::vector<Event>{Event::InstallTick, Event::Deinit}));
    EXPECT_EQ(host.owed(), 1);  // the ended frame's tick is not consumed
}

}  // namespace
