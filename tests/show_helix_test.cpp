// Scene 2: the first frame's square, lines and strips, the truncation cases, the oscillator over
// the three visits, the layering of lines and wave, and Esc after every square.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "show/show.h"
#include "show_support.h"

namespace {

using Event = SpyHost::Event;

TEST(HelixValues, FirstSquareOfTheShow)
{
    SpyHost host;  // makecol needs the 32-bit layout
    Helix h;
    h.advance_angles();
    EXPECT_EQ(h.old_i, -0x1.8cbb66p-4f);  // -0.0968584: pi / 1000 - 0.1
    EXPECT_EQ(h.pokale_m, 0.0f);
    EXPECT_EQ(h.pokale_v, 0.01f);

    h.pokale = 0;
    h.next_square();
    EXPECT_EQ(h.i, -0x1.72ffp-4f);  // -0.0905752: one step of 0.0062831853 on
    EXPECT_EQ(h.pokale_x, 119);
    EXPECT_EQ(h.pokale_y, -2);
    EXPECT_EQ(h.pokale_c, makecol(0, 0, 0));
    EXPECT_EQ(h.pokale_d, makecol(127, 0, 0));

    HelixLine l[8];
    helix_square_lines(0, 320, h.pokale_x, h.pokale_y, l);
    const int expected[4][4] = {
        {439, 448, 326, 489}, {439, 448, 314, 411}, {314, 411, 201, 452}, {326, 489, 201, 452}};
    const bool in_c[4] = {false, true, false, true};  // the first colour, pokale_c
    for (int k = 0; k < 8; k++) {
        SCOPED_TRACE(k + 1);
        const int* e = expected[k % 4];
        const int down = k / 4;  // lines 5..8 lie one row lower
        EXPECT_EQ(l[k].x1, e[0]);
        EXPECT_EQ(l[k].y1, e[1] + down);
        EXPECT_EQ(l[k].x2, e[2]);
        EXPECT_EQ(l[k].y2, e[3] + down);
        EXPECT_EQ(l[k].in_c, in_c[k % 4]);
    }
}

TEST(HelixValues, TruncationCases)
{
    // q = X / 3 truncates toward zero: X -5 gives q -1 (line 1 ends at b + q = 449).
    HelixLine l[8];
    helix_square_lines(0, 320, -5, 0, l);
    EXPECT_EQ(l[0].y2, 449);
    EXPECT_EQ(l[1].y2, 451);
    // The top square sits at row 450 - 429 = 21 (and 22).
    helix_square_lines(429, 320, 0, 7, l);
    EXPECT_EQ(l[0].y1, 28);
    EXPECT_EQ(l[4].y1, 29);
    EXPECT_EQ(l[0].x2, 320 - 21);

    // The colour truncates before the absolute value: -253.9 gives 253, not 254.
    struct Row {
        int pokale, a, c_red, c_green, d_red, d_green;
    };
    const std::vector<Row> rows = {
        {0, 255, 0, 0, 127, 0},    {1, 253, 2, 0, 126, 0},        {231, 0, 255, 115, 0, 57},
        {232, 0, 255, 116, 0, 58}, {429, 216, 39, 214, 108, 107},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.pokale);
        const HelixColours c = helix_colours(static_cast<float>(r.pokale));
        EXPECT_EQ(c.a, r.a);
        EXPECT_EQ(c.c_red, r.c_red);
        EXPECT_EQ(c.c_green, r.c_green);
        EXPECT_EQ(c.d_red, r.d_red);
        EXPECT_EQ(c.d_green, r.d_green);
    }
    // 10 x 1.1 lies within rounding of 11: double precision gives 244, wider intermediates 243.
    const int a10 = helix_colours(10).a;
    EXPECT_TRUE(a10 == 244 || a10 == 243) << a10;
}

TEST(HelixValues, FirstFramesWaveStrips)
{
    // After the line loop of the first frame aalto is 0.1 and pokale_m still 0.
    const WaveStrip first = wave_strip(0, 0.1f, 0);
    EXPECT_EQ(first.sy, 91);
    EXPECT_EQ(first.dx, -45);
    EXPECT_EQ(first.dy, 80);
    EXPECT_EQ(first.dw, 804);
    const WaveStrip last = wave_strip(199, 0.1f, 0);
    EXPECT_EQ(last.sy, 232);
    EXPECT_EQ(last.dx, -90);
    EXPECT_EQ(last.dy, 478);
    EXPECT_EQ(last.dw, 759);
    // Every strip covers columns 0..639 and reads source rows 0..399, whatever the phase (the
    // strips repeat every 2 pi of it) and wherever the oscillator swings (0..199).
    for (int phase = 0; phase < 629; phase++)
        for (int m = 0; m < 200; m += 11)
            for (int k = 0; k < 200; k++) {
                const WaveStrip w =
                    wave_strip(static_cast<float>(k), phase / 100.0f, static_cast<float>(m));
                ASSERT_LE(w.dx, 0);
                ASSERT_GE(w.dx + w.dw, 640);
                ASSERT_GE(w.sy, 0);
                ASSERT_LE(w.sy, 399);
            }
}

TEST(HelixValues, OscillatorAndAnglesOverTheThreeVisits)
{
    Helix h;
    h.pokale_m = 100;  // exactly 100 is not above: the velocity still grows
    h.advance_angles();
    EXPECT_EQ(h.pokale_m, 100.0f);
    EXPECT_EQ(h.pokale_v, 0.01f);

    Helix run;
    struct End {
        float pokale_m, old_i;
    };
    std::vector<End> ends;
    float peak = 0;
    for (int frame = 1; frame <= 480; frame++) {
        const float before = run.old_i;
        run.advance_angles();
        ASSERT_LT(run.old_i - before, -0.0968f);
        ASSERT_GT(run.old_i - before, -0.1162f);
        EXPECT_EQ(run.i, run.old_i);
        peak = std::max(peak, run.pokale_m);
        if (frame % 160 == 0)
            ends.push_back({run.pokale_m, run.old_i});
    }
    // About {124, -16.14}, {192, -34.39}, {36, -51.79}; the swing peaks near 199.
    const End expected[3] = {{0x1.ef1ea6p+6f, -0x1.024818p+4f},
                             {0x1.7f8f4ep+7f, -0x1.13239cp+5f},
                             {0x1.1d99a4p+5f, -0x1.9e53dcp+5f}};
    for (int v = 0; v < 3; v++) {
        SCOPED_TRACE(v + 1);
        EXPECT_EQ(ends[v].pokale_m, expected[v].pokale_m);
        EXPECT_EQ(ends[v].old_i, expected[v].old_i);
    }
    EXPECT_EQ(peak, 0x1.8d9eaap+7f);
}

// A show with the bitmaps scene 2 reads; the wave picture's rows are told apart by colour.
struct HelixScene : ::testing::Test {
    SpyHost host;
    std::unique_ptr<Show> show;

    static int row_colour(int r) { return makecol(r & 255, r >> 8, 77); }

    void SetUp() override
    {
        show = std::make_unique<Show>(host);
        Pictures& p = show->pics;
        p.canvas = create_bitmap(640, 480);
        p.auxCanvas = create_bitmap(640, 480);
        p.tolmoImage = create_bitmap(320, 401);
        clear_to_color(p.canvas, makecol(255, 0, 255));
        clear_to_color(p.auxCanvas, 0);
        for (int r = 0; r < 401; r++)
            hline(p.tolmoImage, 0, r, 319, row_colour(r));
    }
    void TearDown() override
    {
        Pictures& p = show->pics;
        for (BITMAP* b : {p.canvas, p.auxCanvas, p.tolmoImage})
            destroy_bitmap(b);
    }
};

TEST_F(HelixScene, FirstFrameShowsLinesThenLeavesTheWave)
{
    BITMAP* shown = create_bitmap(640, 480);
    host.on_iteration = [&](BITMAP* b, Phase, long) { blit(b, shown, 0, 0, 0, 0, 640, 480); };
    host.set_owed(1);
    ASSERT_TRUE(show->helix.frame(*show));
    EXPECT_EQ(host.presents(), 1);
    EXPECT_EQ(host.polls, 1);
    EXPECT_EQ(host.esc_tests, 430);
    EXPECT_EQ(host.owed(), 0);
    EXPECT_EQ(show->helix.aalto, 0.1f);
    EXPECT_EQ(show->helix.pokale, 200.0f);

    // Shown: bars, and the lines over the black the aux canvas held. With no sway yet the column
    // spans columns 200..440 (corner offsets up to 120); everything beside it stays black.
    EXPECT_EQ(getpixel(shown, 320, 80), 0);
    EXPECT_EQ(getpixel(shown, 320, 400), 0);
    long inside = 0, outside = 0;
    for (int y = 81; y <= 399; y++)
        for (int x = 0; x < 640; x++)
            if (getpixel(shown, x, y) != 0)
                (x >= 200 && x <= 440 ? inside : outside)++;
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 241 * 319 / 2);

    // Left behind: an all-magenta canvas and the wave: rows 80, 81 from source row 91, rows
    // 478, 479 from source row 232, every column covered; the bars' rows 0..79 stay black.
    BITMAP* aux = show->pics.auxCanvas;
    for (int x : {0, 320, 639}) {
        EXPECT_EQ(getpixel(show->pics.canvas, x, 300), makecol(255, 0, 255));
        EXPECT_EQ(getpixel(aux, x, 79), 0);
        EXPECT_EQ(getpixel(aux, x, 80), row_colour(91));
        EXPECT_EQ(getpixel(aux, x, 81), row_colour(91));
        EXPECT_EQ(getpixel(aux, x, 478), row_colour(232));
        EXPECT_EQ(getpixel(aux, x, 479), row_colour(232));
    }

    // The next frame shows its lines over that wave, then replaces it.
    host.set_owed(1);
    ASSERT_TRUE(show->helix.frame(*show));
    EXPECT_EQ(getpixel(shown, 600, 81), row_colour(91));
    EXPECT_EQ(getpixel(shown, 600, 399), getpixel(shown, 600, 398));
    destroy_bitmap(shown);
}

TEST_F(HelixScene, EscIsTestedAfterEverySquareBeforeThePresent)
{
    for (long at : {1L, 430L}) {
        SCOPED_TRACE(at);
        host.esc_tests = 0;
        host.esc = [at](const SpyHost& h) { return h.esc_tests >= at; };
        host.set_owed(1);
        EXPECT_FALSE(show->helix.frame(*show));
        EXPECT_EQ(host.esc_tests, at);
        EXPECT_EQ(host.presents(), 0);
        EXPECT_EQ(host.polls, 0);
        EXPECT_EQ(host.owed(), 1);
    }
    EXPECT_TRUE(host.has(Event::Deinit));
    EXPECT_FALSE(host.has(Event::Windowed));
}

TEST_F(HelixScene, EscInTheMainLoopEndsWithDeinitOnly)
{
    host.install_tick();
    host.esc = [](const SpyHost& h) { return h.esc_tests >= 3; };  // the first square's test
    show->effu = 2;
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(host.presents(), 0);
    EXPECT_EQ(host.events, (std::vector<Event>{Event::InstallTick, Event::Deinit}));
}

}  // namespace
