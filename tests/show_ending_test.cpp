// The ending: the credit lines in textBitmap, the block cells, the music fade, the pace of the
// pause and the fade, and the ways out.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "effects/ending.h"
#include "show/show.h"
#include "show_support.h"

namespace {

using Event = SpyHost::Event;

// A show on stand-in pictures, past its preamble, standing where the main loop hands over.
struct EndingRun {
    TempDir dir;
    SpyHost host;
    std::unique_ptr<Show> s;
    long pause_presents = 0, fade_presents = 0;

    EndingRun()
    {
        write_stand_in_pictures(dir.path());
        s = std::make_unique<Show>(host);
        EXPECT_TRUE(run_preamble(*s, dir.path(), probed_here(dir.path())));
        host.install_tick();
        s->effu = 6;
        s->kierros = 3;
        s->laiskuri = 2100;
        host.on_iteration = [this](BITMAP*, Phase phase, long n) {
            if (phase == Phase::Pause)
                pause_presents = n;
            if (phase == Phase::Pause && n > 5000)
                throw std::runtime_error("the pause does not end");
            if (phase == Phase::Fade)
                fade_presents = n;
        };
    }

    int run() { return run_ending(*s); }
};

// The four credit lines as they must stand in textBitmap: white on magenta over black, each drawn
// left-aligned at the first column its centred line occupies.
BITMAP* expected_text_bitmap()
{
    BITMAP* ref = create_bitmap(320, 160);
    clear_to_color(ref, 0);
    const int left[5] = {0, 88, 112, 104, 100};
    for (int n = 1; n <= 4; n++)
        textout_ex(ref, font, credit_line(n), left[n], 8 * n + 5, makecol(255, 255, 255),
                   makecol(255, 0, 255));
    return ref;
}

int differing_pixels(BITMAP* a, BITMAP* b)
{
    int n = 0;
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            n += getpixel(a, x, y) != getpixel(b, x, y);
    return n;
}

// The fade's passes stamp the text's rows in turn, two passes a row after the first hundred; a
// white pixel of the row becomes one cell of seven columns.
TEST(Ending, PassesStampTheirTextRowAsSevenColumnCells)
{
    // {laiskuri after the increment, text row}; the credit lines (rows 13..44) come at 126..189.
    const int cases[][2] = {{0, -1},   {100, -1}, {101, 0},  {102, 1},  {103, 1},  {104, 2},
                            {126, 13}, {189, 44}, {198, 49}, {199, 49}, {200, -1}, {900, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(ending_scan_row(c[0]), c[1]) << c[0];

    start_headless_allegro(32);
    BITMAP* text = create_bitmap(320, 160);
    BITMAP* canvas = create_bitmap(640, 480);
    BITMAP* expected = create_bitmap(640, 480);
    const int white = makecol(255, 255, 255), bg = makecol(1, 2, 3);
    clear_to_color(text, makecol(255, 0, 255));
    clear_to_color(canvas, bg);
    putpixel(text, 100, 20, white);
    putpixel(text, 101, 21, white);  // another row: not stamped
    stamp_block_row(canvas, text, 20);
    // Column 100, r = 80: 158 dark, 159..163 bright, 164 dark, over rows 160..167.
    clear_to_color(expected, bg);
    rectfill(expected, 158, 160, 164, 167, makecol(80, 40, 40));
    rectfill(expected, 159, 160, 163, 167, makecol(80, 240, 240));
    EXPECT_EQ(differing_pixels(canvas, expected), 0);

    // A run of two: the right cell overdraws the left one's dark edge; red restarts every 8.
    putpixel(text, 103, 20, white);
    putpixel(text, 104, 20, white);
    stamp_block_row(canvas, text, 20);
    EXPECT_EQ(getpixel(canvas, 3 * 103 - 142, 160), makecol(140, 40, 40));
    EXPECT_EQ(getpixel(canvas, 3 * 103 - 136, 160), makecol(0, 240, 240));
    EXPECT_EQ(getpixel(canvas, 3 * 104 - 136, 167), makecol(0, 40, 40));
    destroy_bitmap(text);
    destroy_bitmap(canvas);
    destroy_bitmap(expected);
}

TEST(Ending, CreditLinesStandInTextBitmapAtTheirRowsAndColumns)
{
    EXPECT_STREQ(credit_line(1), "THIS WAS OUR FIRST");
    EXPECT_STREQ(credit_line(2), "WE ARE SORRY");
    EXPECT_STREQ(credit_line(3), "code: vorrinek");
    EXPECT_STREQ(credit_line(4), "music: krumo606");
    EXPECT_EQ(credit_line(5), nullptr);

    EndingRun run;
    run.host.esc = [](const SpyHost& h) { return h.phase() == Phase::Fade; };
    ASSERT_EQ(run.run(), 0);
    BITMAP* expected = expected_text_bitmap();
    EXPECT_EQ(differing_pixels(run.s->pics.textBitmap, expected), 0);
    destroy_bitmap(expected);
}

TEST(Ending, CompletedEndingFadesInNineHundredPassesThenLeavesWindowed)
{
    EndingRun run;
    const long draws0 = run.s->random.draws();
    ASSERT_EQ(run.run(), 0);

    // The pause counts down 708 presents of 5 ms, 209 of them shown at a tick; the fade shows
    // every second of its 900 passes.
    EXPECT_EQ(run.pause_presents, 708);
    EXPECT_EQ(run.fade_presents, 900);
    EXPECT_EQ(run.host.presents(), 209 + 450);
    EXPECT_EQ(run.host.esc_tests, 2 * 209 + 900)
        << "two tests a shown frame of the pause (in its wait, and when its tick has come), one a "
           "pass";
    EXPECT_EQ(run.host.polls, 708 + 900);
    EXPECT_EQ(run.s->random.draws() - draws0, 1800);
    EXPECT_EQ(run.s->laiskuri, 900);

    // The music falls by 1/900 a pass, from full volume to 1/900, each figured in double.
    const std::vector<float>& v = run.host.volumes;
    ASSERT_EQ(v.size(), 900u);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[1], 0x1.ff6e5ep-1f);    // 0.99888891
    EXPECT_EQ(v[300], 0x1.555556p-1f);  // 2/3
    EXPECT_EQ(v[450], 0.5f);
    EXPECT_EQ(v[600], 0x1.555556p-2f);   // 1/3
    EXPECT_EQ(v[899], 0x1.234568p-10f);  // 1/900
    double sum = 0;
    for (size_t i = 0; i < v.size(); i++) {
        ASSERT_TRUE(i == 0 || v[i] < v[i - 1]) << i;
        sum += v[i];
    }
    EXPECT_EQ(sum, 0x1.c280000094p+8) << "450.5 and the float roundings of the 900 steps";

    const std::vector<Event> tail(run.host.events.end() - 3, run.host.events.end());
    EXPECT_EQ(tail, (std::vector<Event>{Event::MusicEnd, Event::Windowed, Event::Deinit}));
}

TEST(Ending, EscWhileThePauseWaitsLeavesThroughTheWindow)
{
    EndingRun run;
    // Held from the 100th frame's wait on (two tests a frame): 99 pause frames are shown
    // (iteration 336 would be the 100th), the credits are not written yet.
    run.host.esc = [](const SpyHost& h) { return h.phase() == Phase::Pause && h.esc_tests >= 199; };
    ASSERT_EQ(run.run(), 0);
    EXPECT_EQ(run.host.presents(), 99);
    EXPECT_EQ(run.pause_presents, 335);
    EXPECT_EQ(run.fade_presents, 0);
    EXPECT_TRUE(run.host.volumes.empty());
    const std::vector<Event> tail(run.host.events.end() - 2, run.host.events.end());
    EXPECT_EQ(tail, (std::vector<Event>{Event::Deinit, Event::Windowed}));
    EXPECT_FALSE(run.host.has(Event::MusicEnd));
}

TEST(Ending, EscInTheFadeEndsBeforeThatPassesBlurWithoutTheWindow)
{
    EndingRun run;
    // Held from the 150th fade pass on: its Esc test comes after 149 fade presents.
    run.host.esc = [](const SpyHost& h) {
        return h.phase() == Phase::Fade && h.phase_iteration() >= 149;
    };
    const long draws0 = run.s->random.draws();
    ASSERT_EQ(run.run(), 0);
    EXPECT_EQ(run.fade_presents, 149);
    EXPECT_EQ(run.host.volumes.size(), 150u);
    EXPECT_EQ(run.s->laiskuri, 150);
    EXPECT_EQ(run.s->random.draws() - draws0, 2 * 149);
    EXPECT_EQ(run.host.events.back(), Event::Deinit);
    EXPECT_FALSE(run.host.has(Event::Windowed));
}

TEST(Ending, LogoOverTheLastPictureThenTheFirstBlurDrawsRowBeforeColumn)
{
    EndingRun run;
    Pictures& p = run.s->pics;
    // A busy picture, so the blend shows at every pixel and the two offsets are told apart.
    const auto pattern = [](int xx, int yy) {
        return makecol(0, (yy * 97) & 255, (xx * 61) & 255);
    };
    for (int yy = 0; yy < 480; yy++)
        for (int xx = 0; xx < 640; xx++)
            putpixel(p.canvas, xx, yy, pattern(xx, yy));
    BITMAP* expected = create_bitmap(640, 480);
    BITMAP* first_fade = create_bitmap(640, 480);
    bool checked_pause = false;
    run.host.on_iteration = [&](BITMAP* b, Phase phase, long n) {
        if (phase == Phase::Pause && n == 1) {
            checked_pause = true;
            EXPECT_EQ(getpixel(b, 10, 79), pattern(10, 79));
            EXPECT_EQ(getpixel(b, 10, 100), getpixel(p.logoImage, 10, 20));
            EXPECT_EQ(getpixel(b, 10, 300), pattern(10, 300)) << "the logo is 200 rows tall";
            blit(b, expected, 0, 0, 0, 0, 640, 480);
        }
        if (phase == Phase::Fade && n == 1)
            blit(b, first_fade, 0, 0, 0, 0, 640, 480);
    };
    ShowRandom predicted = run.s->random;
    ASSERT_EQ(run.run(), 0);
    ASSERT_TRUE(checked_pause);

    const int jy = predicted.next() / 5000 - 3;
    const int jx = predicted.next() / 5000 - 3;
    ASSERT_NE(jx, jy) << "the stand-in sequence should give two different offsets here";
    set_trans_blender(300, 300, 300, 30);
    draw_trans_sprite(expected, expected, jx, jy);
    EXPECT_EQ(differing_pixels(expected, first_fade), 0);
    destroy_bitmap(expected);
    destroy_bitmap(first_fade);
}

// Each shown frame of the pause and the fade takes one tick: on a host that keeps up, the ending
// lasts its 209 + 450 shown frames in ticks; one that lags shows the same frames back to back,
// and one whose presents cost more than a tick never waits. The pause starts on time whatever the
// main loop owed, and the credits are there whichever way.
TEST(Ending, PauseAndFadeShowOneFrameATickAndStartOnTime)
{
    struct Case {
        double ticks_per_present;
        long owed_before;  // what the main loop left owed
        long idles;        // turns of the waits
    };
    for (const Case c :
         {Case{0.0, 0, 659}, Case{0.25, 40, 659 - (659 - 1) / 4}, Case{2.0, 40, 1}}) {
        SCOPED_TRACE(c.ticks_per_present);
        EndingRun run;
        run.host.ticks_per_present = c.ticks_per_present;
        run.host.set_owed(c.owed_before);
        ASSERT_EQ(run.run(), 0);
        EXPECT_EQ(run.pause_presents, 708);
        EXPECT_EQ(run.fade_presents, 900);
        EXPECT_EQ(run.host.presents(), 659);
        EXPECT_EQ(run.host.idles, c.idles);
        EXPECT_GE(run.host.ticks(), c.ticks_per_present * 659)
            << "presents that cost more than a tick add up";
        EXPECT_GE(run.host.ticks(), 659) << "a paced stretch lasts at least its frames in ticks";
        BITMAP* expected = expected_text_bitmap();
        EXPECT_EQ(differing_pixels(run.s->pics.textBitmap, expected), 0);
        destroy_bitmap(expected);
    }
}

}  // namespace
