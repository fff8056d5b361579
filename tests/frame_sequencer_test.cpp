// The scene timeline: which scene each main-loop frame runs and where the letterbox is painted;
// the show's random generator and the hash of a frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "host/frame_log.h"
#include "host/headless_allegro.h"
#include "host/sequencer.h"
#include "host/show_random.h"
#include "show_visits.h"

namespace {

struct Visit {
    int effu, kierros, first, last;
};

// Runs the sequencer frame by frame. Scene 4 ends itself when its zoom passes its limit, in the
// show at frames 1445 and 2080 (its first visit is ended by the clock); the show timeline runs
// the real scene.
struct Timeline {
    std::vector<Visit> visits;
    std::vector<int> letterbox_frames;
    int ending_frame = 0;
    int kierros_at_ending = 0;

    Timeline()
    {
        const std::vector<int> julia_ends = {1445, 2080};
        int effu = 0, kierros = 0;
        for (int laiskuri = 1; laiskuri < 5000; laiskuri++) {
            if (sequencer_step(laiskuri, effu, kierros) > 0)
                letterbox_frames.push_back(laiskuri);
            if (effu == 6) {
                ending_frame = laiskuri;
                kierros_at_ending = kierros;
                return;
            }
            if (visits.empty() || visits.back().effu != effu || visits.back().kierros != kierros)
                visits.push_back({effu, kierros, laiskuri, laiskuri});
            visits.back().last = laiskuri;
            if (effu == 4 && std::count(julia_ends.begin(), julia_ends.end(), laiskuri))
                effu = 5;
        }
    }
};

TEST(Sequencer, ThreeCyclesRunTheFixedTimeline)
{
    const Timeline t;
    const std::vector<SceneVisit>& expected = show_visits();
    ASSERT_EQ(t.visits.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.visits[i].effu, expected[i].scene);
        EXPECT_EQ(t.visits[i].kierros, expected[i].kierros);
        EXPECT_EQ(t.visits[i].first, expected[i].first);
        EXPECT_EQ(t.visits[i].last, expected[i].last);
    }
    EXPECT_EQ(t.ending_frame, kEndingFrame);
    EXPECT_EQ(t.kierros_at_ending, 3);
}

// Painted on every switch but scene 4's own, black over rows 0..80 and 400..479.
TEST(Sequencer, LetterboxOnEverySwitchButScene4sOwnOverRows0To80And400To479)
{
    const Timeline t;
    const std::vector<int> expected = {160,  320,  480,  640,  800,  840,  960,  1120,
                                       1280, 1440, 1500, 1600, 1760, 1920, 2080, 2100};
    EXPECT_EQ(t.letterbox_frames, expected);
    start_headless_allegro();
    BITMAP* b = create_bitmap_ex(32, 640, 480);
    clear_to_color(b, 0x123456);
    paint_letterbox(b);
    for (int x : {0, 639})
        for (int y : {0, 80, 81, 399, 400, 479})
            EXPECT_EQ(getpixel(b, x, y), y <= 80 || y >= 400 ? 0 : 0x123456) << x << "," << y;
    destroy_bitmap(b);
}

TEST(Sequencer, SingleStepRules)
{
    int effu = 5, kierros = 0;
    EXPECT_EQ(sequencer_step(839, effu, kierros), 0);
    EXPECT_EQ(effu, 5);
    EXPECT_EQ(sequencer_step(840, effu, kierros), 1);  // 60 rule ends the cycle
    EXPECT_EQ(effu, 0);
    EXPECT_EQ(kierros, 1);

    effu = 2;  // the 60 rule is scene 5's alone
    EXPECT_EQ(sequencer_step(900, effu, kierros), 0);
    EXPECT_EQ(effu, 2);

    effu = 5, kierros = 2;  // the last cycle ends in the ending, which stays
    EXPECT_EQ(sequencer_step(2100, effu, kierros), 1);
    EXPECT_EQ(effu, 6);
    EXPECT_EQ(kierros, 3);
}

TEST(ShowRandom, FifteenBitSequenceFromStateOne)
{
    ShowRandom r;
    const int first[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int v : first)
        EXPECT_EQ(r.next(), v);
    EXPECT_EQ(r.draws(), 10);
    int lo = 32767, hi = 0;
    for (int i = 0; i < 100000; i++) {
        const int v = r.next();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 32767);
}

// A frame's hash covers its own pixels and nothing beside them: a 640x480 frame drawn inside a
// wider bitmap hashes as its copy on its own, whatever surrounds it, at 32 and 16 bits; a
// changed pixel, the last one included, changes it.
TEST(FrameHash, OnlyTheFramesOwnPixels)
{
    start_headless_allegro(32);
    for (int depth : {32, 16}) {
        SCOPED_TRACE(depth);
        BITMAP* wide = create_bitmap_ex(depth, 700, 490);
        BITMAP* frame = create_sub_bitmap(wide, 0, 0, 640, 480);
        BITMAP* alone = create_bitmap_ex(depth, 640, 480);
        clear_to_color(wide, makecol_depth(depth, 255, 255, 255));
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                putpixel(frame, x, y, makecol_depth(depth, x & 255, y & 255, (x ^ y) & 255));
        blit(frame, alone, 0, 0, 0, 0, 640, 480);
        const uint64_t h = frame_hash(alone);
        EXPECT_EQ(frame_hash(frame), h);
        rectfill(wide, 640, 0, 699, 489, makecol_depth(depth, 1, 2, 3));
        rectfill(wide, 0, 480, 699, 489, makecol_depth(depth, 4, 5, 6));
        EXPECT_EQ(frame_hash(frame), h);
        putpixel(alone, 639, 479, makecol_depth(depth, 9, 9, 9));
        EXPECT_NE(frame_hash(alone), h);
        destroy_bitmap(alone);
        destroy_bitmap(frame);
        destroy_bitmap(wide);
    }
}

}  // namespace
