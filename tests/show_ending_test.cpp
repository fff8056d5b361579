// The ending: the credit lines in textBitmap, the block cells, the music fade, the pause's bound
// and the two ways out.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "effects/ending.h"
#include "frame/show.h"
#include "frame/tick.h"
#include "show_support.h"

namespace {

using Event = HeadlessHost::Event;

// A show on stand-in pictures, past its preamble, standing where the main loop hands over.
struct EndingRun {
    TempDir dir;
    HeadlessHost host;
    std::unique_ptr<Show> s;
    long pause_presents = 0, fade_presents = 0;

    EndingRun()
    {
        write_stand_in_pictures(dir.path());
        s = std::make_unique<Show>(host);
        EXPECT_TRUE(run_preamble(*s, dir.path()));
        host.install_tick();
        s->effu = 6;
        s->kierros = 3;
        s->laiskuri = 2100;
        host.on_present = [this](BITMAP*, Phase phase, long n) {
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

int count_white(BITMAP* b, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            n += getpixel(b, x, y) == makecol(255, 255, 255);
    return n;
}

TEST(Ending, ScanRowsFollowThePassCount)
{
    EXPECT_EQ(ending_scan_row(0), -1);
    EXPECT_EQ(ending_scan_row(100), -1);
    EXPECT_EQ(ending_scan_row(101), 0);
    EXPECT_EQ(ending_scan_row(102), 1);
    EXPECT_EQ(ending_scan_row(103), 1);
    EXPECT_EQ(ending_scan_row(104), 2);
    EXPECT_EQ(ending_scan_row(198), 49);
    EXPECT_EQ(ending_scan_row(199), 49);
    EXPECT_EQ(ending_scan_row(200), -1);
    EXPECT_EQ(ending_scan_row(900), -1);
    // The credit lines (text rows 13..44) are stamped at passes 126..189.
    EXPECT_EQ(ending_scan_row(126), 13);
    EXPECT_EQ(ending_scan_row(189), 44);
}

TEST(Ending, WhitePixelBecomesOneSevenColumnCell)
{
    start_headless_allegro(32);
    BITMAP* text = create_bitmap(320, 160);
    BITMAP* canvas = create_bitmap(640, 480);
    clear_to_color(text, makecol(255, 0, 255));
    clear_to_color(canvas, makecol(1, 2, 3));
    putpixel(text, 100, 20, makecol(255, 255, 255));
    putpixel(text, 101, 21, makecol(255, 255, 255));  // another row: must not be stamped
    int x = -1;
    stamp_block_row(canvas, text, x, 20);
    EXPECT_EQ(x, 320);

    const int dark = makecol(80, 40, 40), bright = makecol(80, 240, 240), bg = makecol(1, 2, 3);
    for (int row = 159; row <= 168; row++) {
        SCOPED_TRACE(row);
        const bool inside = row >= 160 && row <= 167;
        EXPECT_EQ(getpixel(canvas, 157, row), bg);
        EXPECT_EQ(getpixel(canvas, 158, row), inside ? dark : bg);
        for (int col = 159; col <= 163; col++)
            EXPECT_EQ(getpixel(canvas, col, row), inside ? bright : bg) << col;
        EXPECT_EQ(getpixel(canvas, 164, row), inside ? dark : bg);
        EXPECT_EQ(getpixel(canvas, 165, row), bg);
    }
    // Only that one cell changed.
    int changed = 0;
    for (int yy = 0; yy < 480; yy++)
        for (int xx = 0; xx < 640; xx++)
            changed += getpixel(canvas, xx, yy) != bg;
    EXPECT_EQ(changed, 7 * 8);

    // A run of two: the right cell overdraws the left one's dark edge; red restarts every 8.
    clear_to_color(canvas, bg);
    putpixel(text, 103, 20, makecol(255, 255, 255));
    putpixel(text, 104, 20, makecol(255, 255, 255));
    stamp_block_row(canvas, text, x, 20);
    EXPECT_EQ(getpixel(canvas, 3 * 103 - 142, 160), makecol(140, 40, 40));
    EXPECT_EQ(getpixel(canvas, 3 * 103 - 136, 160), makecol(0, 240, 240));  // under 104's core
    EXPECT_EQ(getpixel(canvas, 3 * 104 - 136, 160), makecol(0, 40, 40));
    destroy_bitmap(text);
    destroy_bitmap(canvas);
}

TEST(Ending, CreditLinesStandInTextBitmapAtTheirRowsAndColumns)
{
    EXPECT_STREQ(credit_line(1), "THIS WAS OUR FIRST");
    EXPECT_STREQ(credit_line(2), "WE ARE SORRY");
    EXPECT_STREQ(credit_line(3), "code: vorrinek");
    EXPECT_STREQ(credit_line(4), "music: krumo606");
    EXPECT_EQ(credit_line(0), nullptr);
    EXPECT_EQ(credit_line(5), nullptr);

    EndingRun run;
    run.host.esc = [](const HeadlessHost& h) { return h.phase == Phase::Fade; };
    ASSERT_EQ(run.run(), 0);
    BITMAP* t = run.s->pics.textBitmap;
    const int magenta = makecol(255, 0, 255), white = makecol(255, 255, 255);
    struct Box {
        int top, left, right;
    };
    const Box boxes[5] = {{}, {13, 88, 231}, {21, 112, 207}, {29, 104, 215}, {37, 100, 219}};
    // Everything outside the four lines' cells is still the black of creation.
    for (int yy = 0; yy < 160; yy++)
        for (int xx = 0; xx < 320; xx++) {
            bool in_line = false;
            for (int n = 1; n <= 4; n++)
                in_line |= yy >= boxes[n].top && yy <= boxes[n].top + 7 &&
                           xx >= boxes[n].left && xx <= boxes[n].right;
            const int c = getpixel(t, xx, yy);
            if (in_line) {
                ASSERT_TRUE(c == white || c == magenta) << xx << "," << yy;
            } else {
                ASSERT_EQ(c, 0) << xx << "," << yy;
            }
        }
    // Each line holds exactly its text, drawn left-aligned at its first column as a reference.
    BITMAP* ref = create_bitmap(320, 160);
    clear_to_color(ref, 0);
    for (int n = 1; n <= 4; n++) {
        SCOPED_TRACE(n);
        textout_ex(ref, font, credit_line(n), boxes[n].left, boxes[n].top, white, magenta);
        EXPECT_GT(count_white(t, boxes[n].left, boxes[n].top, boxes[n].right, boxes[n].top + 7), 100);
        for (int yy = boxes[n].top; yy <= boxes[n].top + 7; yy++)
            for (int xx = boxes[n].left; xx <= boxes[n].right; xx++)
                ASSERT_EQ(getpixel(t, xx, yy), getpixel(ref, xx, yy)) << xx << "," << yy;
    }
    destroy_bitmap(ref);
}

TEST(Ending, CompletedEndingFadesInNineHundredPassesThenLeavesWindowed)
{
    EndingRun run;
    // Esc held through the whole pause is not looked at there.
    run.host.esc = [](const HeadlessHost& h) { return h.phase == Phase::Pause; };
    const long draws0 = run.s->random.draws();
    ASSERT_EQ(run.run(), 0);

    EXPECT_EQ(run.pause_presents, 500);
    EXPECT_EQ(run.fade_presents, 900);
    EXPECT_EQ(run.host.esc_tests, 900);
    EXPECT_EQ(run.host.polls, 500 + 900);
    EXPECT_EQ(run.s->random.draws() - draws0, 1800);
    EXPECT_EQ(run.s->laiskuri, 900);
    EXPECT_LE(speed_counter.load(), 0);

    ASSERT_EQ(run.host.volumes.size(), 900u);
    EXPECT_EQ(run.host.volumes.front(), 1.0f);
    EXPECT_FLOAT_EQ(run.host.volumes.back(), 1.0f / 900.0f);
    for (size_t i = 0; i < 900; i++) {
        ASSERT_EQ(run.host.volumes[i], static_cast<float>(1.0 - static_cast<double>(i) / 900.0))
            << i;
        if (i > 0) {
            ASSERT_LT(run.host.volumes[i], run.host.volumes[i - 1]);
        }
    }

    const std::vector<Event> tail(run.host.events.end() - 2, run.host.events.end());
    EXPECT_EQ(tail, (std::vector<Event>{Event::Windowed, Event::Deinit}));
}

TEST(Ending, EscInTheFadeEndsBeforeThatPassesBlurWithoutTheWindow)
{
    EndingRun run;
    // Held from the 150th fade pass on: its Esc test comes after 149 fade presents.
    run.host.esc = [](const HeadlessHost& h) {
        return h.phase == Phase::Fade && h.phase_presents >= 149;
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
    const auto pattern = [](int xx, int yy) { return makecol(0, (yy * 97) & 255, (xx * 61) & 255); };
    for (int yy = 0; yy < 480; yy++)
        for (int xx = 0; xx < 640; xx++)
            putpixel(p.canvas, xx, yy, pattern(xx, yy));
    BITMAP* expected = create_bitmap(640, 480);
    BITMAP* first_fade = create_bitmap(640, 480);
    bool checked_pause = false;
    run.host.on_present = [&](BITMAP* b, Phase phase, long n) {
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
    int diff = 0;
    for (int yy = 0; yy < 480; yy++)
        for (int xx = 0; xx < 640; xx++)
            diff += getpixel(expected, xx, yy) != getpixel(first_fade, xx, yy);
    EXPECT_EQ(diff, 0);
    destroy_bitmap(expected);
    destroy_bitmap(first_fade);
}

TEST(Ending, PauseCountsTicksOnFastHostsAndIsBoundedOnSlowOnes)
{
    struct Case {
        double ticks_per_present;
        long pause_presents;
    };
    // A quarter tick per pass: 666 passes (500 plus the 166 ticks that came meanwhile), as if
    // unbounded. One tick or more per pass: the count never falls; the pause ends after 500 ticks.
    for (const Case c : {Case{0.0, 500}, Case{0.25, 666}, Case{1.0, 500}, Case{2.0, 250}}) {
        SCOPED_TRACE(c.ticks_per_present);
        EndingRun run;
        run.host.ticks_per_present = c.ticks_per_present;
        run.host.esc = [](const HeadlessHost& h) { return h.phase == Phase::Fade; };
        ASSERT_EQ(run.run(), 0);
        EXPECT_EQ(run.pause_presents, c.pause_presents);
        EXPECT_EQ(run.fade_presents, 0);
        EXPECT_LE(speed_counter.load(), 0);
        // The credits are all there whichever way the pause ended.
        BITMAP* t = run.s->pics.textBitmap;
        EXPECT_GT(count_white(t, 88, 13, 231, 20), 100);
        EXPECT_GT(count_white(t, 112, 21, 207, 28), 50);
        EXPECT_GT(count_white(t, 104, 29, 215, 36), 50);
        EXPECT_GT(count_white(t, 100, 37, 219, 44), 50);
    }
}

}  // namespace
