// The show's run from the preamble to its end on the headless host: start-up order, the intro and
// its smear's pixels, the main loop's pacing and every way out.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "show/show.h"
#include "show_support.h"

namespace {

using Event = SpyHost::Event;

// A show on stand-in pictures, ready to run from the intro on.
struct ShowFixture : ::testing::Test {
    TempDir dir;
    SpyHost host;
    std::unique_ptr<Show> show;

    void SetUp() override
    {
        write_stand_in_pictures(dir.path());
        show = std::make_unique<Show>(host);
        ASSERT_TRUE(run_preamble(*show, dir.path(), probed_here(dir.path())));
        start_clock(*show);
    }

    // Esc held from the n-th Esc test on.
    void esc_from_test(long n)
    {
        host.esc = [n](const SpyHost& h) { return h.esc_tests >= n; };
    }
};

TEST_F(ShowFixture, PreambleStartsMusicAndDrawsTheTilesBeforeTheTick)
{
    EXPECT_EQ(host.events, (std::vector<Event>{Event::MusicStart, Event::InstallTick}));
    EXPECT_EQ(host.music_path, dir.path() + "/80S5.IT");
    EXPECT_EQ(show->random.draws(), 400);
    EXPECT_EQ(show->plasma.plasma_w, 160);
    EXPECT_EQ(show->plasma.plasma_h, 80);
    EXPECT_EQ(show->tables->tunnel_w, 640);
    EXPECT_EQ(show->tables->tunnel_h, 320);
    EXPECT_EQ(host.polls, 0);
}

TEST_F(ShowFixture, IntroHoldsTheLogoThenSmearsTwoPassesATick)
{
    host.ticks_per_present = 0.25;  // a present costs a quarter tick
    long first_smear_draw = -1;
    host.on_iteration = [&](BITMAP*, Phase p, long n) {
        if (p == Phase::Smear && n == 1)
            first_smear_draw = show->random.draws() - 1;  // two draws precede the first present
    };
    ASSERT_TRUE(run_intro(*show));
    EXPECT_EQ(show->laiskuri, 600);
    EXPECT_EQ(show->effu, 0);
    EXPECT_EQ(first_smear_draw, 401);
    EXPECT_EQ(show->random.draws(), 400 + 1200);
    EXPECT_EQ(host.phase(), Phase::Smear);
    EXPECT_EQ(host.phase_iteration(), 600);
    // The logo's 708 presents of 5 ms put 209 on the screen, the smear every second of its 600.
    // Every shown frame took one tick: the host waited for three in four, a present brought the
    // fourth; the passed ones cost nothing.
    EXPECT_EQ(host.presents(), 209 + 300);
    EXPECT_EQ(host.passes, 708 - 209 + 300);
    EXPECT_EQ(host.idles, 509 - (509 - 1) / 4);
    EXPECT_EQ(host.ticks(), 509 + host.owed());
    EXPECT_EQ(host.polls, 0) << "nothing polls before the main loop";
    EXPECT_EQ(host.esc_tests, 209 + 209 - (209 - 1) / 4 + 600)
        << "the logo tests Esc before each shown frame and in each turn of its wait";

    // The translucency blender (alpha 30) is left current for scene 0.
    BITMAP* src = create_bitmap(1, 1);
    BITMAP* dst = create_bitmap(1, 1);
    clear_to_color(src, makecol(255, 255, 255));
    clear_to_color(dst, 0);
    draw_trans_sprite(dst, src, 0, 0);
    const int left = getpixel(dst, 0, 0);
    clear_to_color(dst, 0);
    set_trans_blender(0, 0, 0, 30);
    draw_trans_sprite(dst, src, 0, 0);
    EXPECT_EQ(left, getpixel(dst, 0, 0));
    destroy_bitmap(src);
    destroy_bitmap(dst);
}

// Allegro's translucency blender for 24/32-bit pixels at alpha n: x is the source, y the
// destination, red and blue worked in one word.
int trans_blend(uint32_t x, uint32_t y, uint64_t n)
{
    if (n)
        n++;
    const uint64_t rb = (uint64_t{x & 0xFF00FF} - (y & 0xFF00FF)) * n / 256 + y;
    const uint64_t g = (uint64_t{x & 0xFF00} - (y & 0xFF00)) * n / 256 + (y & 0xFF00);
    return static_cast<int>((rb & 0xFF00FF) | (g & 0xFF00));
}

// The first smear frames against a smear worked out here: the logo (a gradient) at (0, 80) on
// black, then per frame dy and dx from the 401st draw of the 15-bit generator on, the canvas
// blended onto itself at (dx, dy) at alpha 30, in place from the top row down, left to right.
TEST_F(ShowFixture, SmearFramesBlendTheCanvasOntoItselfAtTheDrawnOffsets)
{
    BITMAP* logo = show->pics.logoImage;
    for (int y = 0; y < logo->h; y++)
        for (int x = 0; x < logo->w; x++)
            putpixel(logo, x, y, makecol(x & 255, (y * 3) & 255, (x * y) & 127));
    std::vector<int> ref(640 * 480, 0);
    for (int y = 0; y < logo->h; y++)
        for (int x = 0; x < logo->w; x++)
            ref[(80 + y) * 640 + x] = getpixel(logo, x, y);

    ReplayRandom draws(400);  // past the tile set-up
    auto draw = [&draws] { return draws.next(); };
    const int kFrames = 5;  // offsets (dx, dy): (3, 0), (-3, -3), (-1, 0), (-2, -3), (-2, 2)
    std::vector<long> mismatches;
    host.on_iteration = [&](BITMAP* canvas, Phase p, long n) {
        if (p != Phase::Smear || n > kFrames)
            return;
        const int dy = draw() / 5000 - 3;
        const int dx = draw() / 5000 - 3;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) {
                const int sx = x - dx, sy = y - dy;
                if (sx < 0 || sx >= 640 || sy < 0 || sy >= 480 || ref[sy * 640 + sx] == 0xFF00FF)
                    continue;
                ref[y * 640 + x] = trans_blend(ref[sy * 640 + sx], ref[y * 640 + x], 30);
            }
        long wrong = 0;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                wrong += getpixel(canvas, x, y) != ref[y * 640 + x];
        mismatches.push_back(wrong);
    };
    ASSERT_TRUE(run_intro(*show));
    EXPECT_EQ(mismatches, std::vector<long>(kFrames, 0)) << "pixels that differ, per smear frame";
}

// A host slower than the clock shows the intro's frames back to back, and what it then owes is
// forgotten: the main loop's first frame is the first on time, and its tick is the only one owed.
TEST_F(ShowFixture, SlowIntroOwesTheMainLoopNothing)
{
    host.ticks_per_present = 1.5;
    long owed_at_loop_1 = -1;
    host.on_iteration = [&](BITMAP*, Phase p, long n) {
        if (p == Phase::Loop && n == 1)
            owed_at_loop_1 = host.owed();
    };
    host.esc = [](const SpyHost& h) {
        return h.phase() == Phase::Loop && h.phase_iteration() >= 1;
    };
    EXPECT_EQ(run_show(host, dir.path(), probed_here(dir.path())), 0);
    EXPECT_EQ(host.presents(), 209 + 300 + 1);
    EXPECT_EQ(host.idles, 1 + 1) << "the logo's first frame and the main loop's first wait";
    EXPECT_EQ(owed_at_loop_1, 1);
}

// The still logo waits for each of its ticks; Esc held there ends the show as the main loop's wait
// does, before the smear's first frame.
TEST_F(ShowFixture, EscWhileTheLogoWaitsLeavesThroughTheWindow)
{
    esc_from_test(199);  // two tests a frame: before its wait and when its tick has come
    EXPECT_FALSE(run_intro(*show));
    EXPECT_EQ(host.phase(), Phase::Logo);
    EXPECT_EQ(host.presents(), 99);
    EXPECT_EQ(host.phase_iteration(), 335) << "the 100th shown present is iteration 336";
    EXPECT_EQ(show->laiskuri, 0);
    const std::vector<Event> expected = {Event::MusicStart, Event::InstallTick, Event::Deinit,
                                         Event::Windowed};
    EXPECT_EQ(host.events, expected);
}

// A show running behind its clock never waits, yet Esc ends each hold before its next shown frame
// (a late hold once ignored Esc to its end): the still logo and the credits' pause.
TEST_F(ShowFixture, EscEndsALateHoldBeforeItsNextFrame)
{
    for (const Phase hold : {Phase::Logo, Phase::Pause}) {
        SCOPED_TRACE(hold == Phase::Logo ? "logo" : "pause");
        SpyHost late;
        late.ticks_per_present = 1.5;
        long presents_at_esc = -1, owed_at_esc = 0;
        late.esc = [&](const SpyHost& h) {
            if (h.phase() != hold || h.phase_iteration() < 100)
                return false;
            if (presents_at_esc < 0) {
                presents_at_esc = h.presents();
                owed_at_esc = late.owed();
            }
            return true;
        };
        EXPECT_EQ(run_show(late, dir.path(), probed_here(dir.path())), 0);
        EXPECT_EQ(late.phase(), hold);
        EXPECT_EQ(late.presents(), presents_at_esc) << "a frame was shown after Esc";
        EXPECT_LT(late.phase_iteration(), 100 + 4);
        EXPECT_GT(owed_at_esc, 0) << "the hold ran behind its clock";
    }
}

TEST_F(ShowFixture, EscWhileTheLoopWaitsLeavesThroughTheWindow)
{
    ASSERT_TRUE(run_intro(*show));
    host.set_owed(0);
    // Each frame follows one turn of the wait; Esc is held from the third turn, after frame 2.
    const long idles0 = host.idles;
    host.esc = [idles0](const SpyHost& h) { return h.idles >= idles0 + 3; };
    host.begin_phase(Phase::Loop);
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(show->laiskuri, 2) << "two frames ran before the wait that saw Esc";
    const auto n = host.events.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(host.events[n - 2], Event::Deinit);
    EXPECT_EQ(host.events[n - 1], Event::Windowed);
}

TEST_F(ShowFixture, OwedTicksRunFramesBackToBackWithoutTheWaitsEscTest)
{
    ASSERT_TRUE(run_intro(*show));
    host.set_owed(10);
    host.begin_phase(Phase::Loop);
    const long before = host.esc_tests;
    esc_from_test(before + 3);  // the loop's first test, then two scene frames' tests
    EXPECT_EQ(run_main_loop(*show), 0);
    EXPECT_EQ(show->laiskuri, 2) << "Esc is seen inside the second frame, not in a wait";
    EXPECT_EQ(host.events.back(), Event::Deinit);
    EXPECT_FALSE(host.has(Event::Windowed));
}

TEST(RunShow, UnusablePictureEndsBeforeTheShowWithAMessage)
{
    TempDir dir;
    SpyHost host;
    write_stand_in_pictures(dir.path());
    fs::remove(dir.file("tolmo.jpg"));
    EXPECT_EQ(run_show(host, dir.path(), probed_here(dir.path())), 1);
    EXPECT_EQ(host.events, std::vector<Event>{Event::Fatal});
    EXPECT_NE(host.fatal_message().find("tolmo.jpg"), std::string::npos);
    EXPECT_EQ(host.presents(), 0);
}

TEST(RunShow, WholeShowRunsToItsEndByItself)
{
    TempDir dir;
    SpyHost host;
    write_stand_in_pictures(dir.path());
    long loop_frames = 0, fewest_polls = 1 << 30, polls_before = 0;
    host.on_iteration = [&](BITMAP*, Phase p, long) {
        if (p != Phase::Loop)
            return;
        loop_frames++;
        fewest_polls = std::min(fewest_polls, host.polls - polls_before);
        polls_before = host.polls;
    };
    EXPECT_EQ(run_show(host, dir.path(), probed_here(dir.path())), 0);
    EXPECT_EQ(loop_frames, 2099);
    EXPECT_EQ(host.polls_outside_loop, 0);
    EXPECT_GE(fewest_polls, 2) << "the loop head and the scene each poll the music";
    EXPECT_EQ(host.volumes.size(), 900u);
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[host.events.size() - 2], Event::Windowed);
    EXPECT_EQ(host.events.back(), Event::Deinit);
}

}  // namespace
