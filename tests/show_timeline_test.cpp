// The whole show run headless with the real scenes: which scene draws each main-loop frame, where
// the letterbox is painted, how the scene clocks carry over, and the ending at frame 2100.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "show/show.h"
#include "show_support.h"
#include "show_visits.h"

namespace {

constexpr int kMarker = 0x13579B;

// Paints a marker into the canvas corners at every loop-head poll, before the sequencer runs,
// so that a frame's present tells whether the letterbox was painted in between.
class MarkingHost : public SpyHost {
public:
    Show* show = nullptr;
    long head_polls = 0;

    void begin_phase(Phase p) override
    {
        SpyHost::begin_phase(p);
        awaiting_head_poll_ = true;
    }
    void present(BITMAP* frame) override
    {
        awaiting_head_poll_ = true;
        SpyHost::present(frame);
    }
    void poll_music() override
    {
        SpyHost::poll_music();
        if (phase() == Phase::Loop && awaiting_head_poll_ && show) {
            awaiting_head_poll_ = false;
            head_polls++;
            putpixel(show->pics.canvas, 0, 0, kMarker);
            putpixel(show->pics.canvas, 0, 479, kMarker);
        }
    }

private:
    bool awaiting_head_poll_ = true;
};

struct Frame {
    int laiskuri, scene, kierros;
    bool marked;  // both corner markers survived to the present
    float animation, paini, zoom, aalto;
};

struct Visit {
    int scene, kierros, first, last;
};

struct ShowRun {
    TempDir dir;
    MarkingHost host;
    std::unique_ptr<Show> s;
    std::vector<Frame> frames;
    int result = -1;
    int kierros_at_ending = -1, effu_at_ending = -1;
    long head_polls_at_ending = -1;

    ShowRun()
    {
        write_stand_in_pictures(dir.path());
        s = std::make_unique<Show>(host);
        host.show = s.get();
        host.on_iteration = [&](BITMAP*, Phase phase, long) {
            Show& sh = *s;
            if (phase != Phase::Loop) {
                if (kierros_at_ending < 0 && host.in_loop()) {
                    kierros_at_ending = sh.kierros;
                    effu_at_ending = sh.effu;
                    head_polls_at_ending = host.head_polls;
                }
                return;
            }
            // The scene the show announced: scene 4 moves effu on within its own last frame.
            const int scene = host.scene();
            const bool marked = getpixel(sh.pics.canvas, 0, 0) == kMarker &&
                                getpixel(sh.pics.canvas, 0, 479) == kMarker;
            frames.push_back({sh.laiskuri, scene, sh.kierros, marked, sh.animation, sh.tunnel.paini,
                              sh.julia.zoom, sh.helix.aalto});
        };
        // Esc in the ending's first fade pass: the ending has started, and its slow blur is spared.
        host.esc = [](const SpyHost& h) { return h.phase() == Phase::Fade; };
        if (!run_preamble(*s, dir.path(), probed_here(dir.path())))
            return;
        start_clock(*s);
        if (!run_intro(*s))
            return;
        host.begin_phase(Phase::Loop);
        result = run_main_loop(*s);
    }

    std::vector<Visit> visits() const
    {
        std::vector<Visit> v;
        for (const Frame& f : frames) {
            if (v.empty() || v.back().scene != f.scene || v.back().kierros != f.kierros)
                v.push_back({f.scene, f.kierros, f.laiskuri, f.laiskuri});
            v.back().last = f.laiskuri;
        }
        return v;
    }
};

void check_visits(const ShowRun& r)
{
    for (size_t i = 0; i < r.frames.size(); i++)
        ASSERT_EQ(r.frames[i].laiskuri, static_cast<int>(i) + 1) << "one present per frame";

    const std::vector<SceneVisit>& expected = show_visits();
    const std::vector<Visit> v = r.visits();
    ASSERT_EQ(v.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        SCOPED_TRACE(::testing::Message() << "visit " << i);
        EXPECT_EQ(v[i].scene, expected[i].scene);
        EXPECT_EQ(v[i].kierros, expected[i].kierros);
        EXPECT_EQ(v[i].first, expected[i].first);
        EXPECT_EQ(v[i].last, expected[i].last);
    }
}

void check_letterbox(const ShowRun& r)
{
    const std::set<int> switches = {160,  320,  480,  640,  800,  840,  960, 1120,
                                    1280, 1440, 1500, 1600, 1760, 1920, 2080};
    for (const Frame& f : r.frames) {
        SCOPED_TRACE(::testing::Message() << "laiskuri " << f.laiskuri);
        if (switches.count(f.laiskuri)) {
            EXPECT_FALSE(f.marked);
        } else if (f.scene >= 3) {  // these scenes leave both corners alone
            EXPECT_TRUE(f.marked);
        }
    }
    // 1446 and 2081: scene 5 took over from scene 4 without bars.
    EXPECT_TRUE(r.frames[1445].marked);
    EXPECT_TRUE(r.frames[2080].marked);
}

void check_ending(const ShowRun& r)
{
    EXPECT_EQ(r.kierros_at_ending, 3);
    EXPECT_EQ(r.effu_at_ending, 6);
    EXPECT_EQ(r.head_polls_at_ending, 2100);
    EXPECT_EQ(r.host.phase(), Phase::Fade);
    EXPECT_EQ(r.host.phase_iteration(), 0);  // Esc came in the first fade pass, before its present
    ASSERT_FALSE(r.host.events.empty());
    EXPECT_EQ(r.host.events.back(), SpyHost::Event::Deinit);
}

void check_clocks(const ShowRun& r)
{
    auto at = [&](int laiskuri) -> const Frame& { return r.frames[laiskuri - 1]; };
    // The shared clock at the end of each tunnel visit.
    EXPECT_NEAR(at(639).animation, 1.60, 0.01);
    EXPECT_NEAR(at(839).animation, 0.40, 0.01);
    EXPECT_NEAR(at(1439).animation, 2.00, 0.01);
    EXPECT_NEAR(at(1499).animation, 0.38, 0.01);
    EXPECT_NEAR(at(2079).animation, 1.98, 0.01);
    EXPECT_NEAR(at(2099).animation, 1.41, 0.01);
    // The spring in the first frame of each scene 3 visit.
    EXPECT_NEAR(at(480).paini, 0.0, 0.05);
    EXPECT_NEAR(at(1280).paini, 19.0, 0.05);
    EXPECT_NEAR(at(1920).paini, 78.0, 0.05);
    // Scene 2's wave phase after each visit: 0.1 a frame, summed in double and stored as float.
    EXPECT_EQ(at(480).aalto, 0x1.00001ap+4f);   // 16.0000248
    EXPECT_EQ(at(1280).aalto, 0x1.00002cp+5f);  // 32.0000839
    EXPECT_EQ(at(1920).aalto, 0x1.7fffacp+5f);  // 47.9998398
    // Scene 4's zoom as each visit leaves it (the last two reduced by 4), grown in double and
    // stored as float, and its limit, which grew once per frame: 160 + 6 + 1.
    EXPECT_EQ(at(799).zoom, 0x1.88da9ap+5f);   // 49.106739
    EXPECT_EQ(at(1445).zoom, 0x1.ee8428p+5f);  // 61.8145294
    EXPECT_EQ(at(2080).zoom, 0x1.e74004p+5f);  // 60.9062576
    EXPECT_EQ(r.s->julia.max_iterations, 1667);
}

// One run of the whole show, intro included, serves every check; it takes a while.
TEST(ShowTimeline, ThreeCyclesOfRealScenesThenTheEnding)
{
    const ShowRun r;
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.frames.size(), 2099u);
    {
        SCOPED_TRACE("scene of every frame");
        check_visits(r);
    }
    {
        SCOPED_TRACE("letterbox");
        check_letterbox(r);
    }
    {
        SCOPED_TRACE("ending");
        check_ending(r);
    }
    {
        SCOPED_TRACE("clocks");
        check_clocks(r);
    }
}

// Esc held at a frame of each of the two tunnels and the Julia zoom: the frame presents first,
// then ends the program without the windowed mode and without consuming its tick.
TEST(ShowTimeline, EscEndsTunnelAndJuliaFramesAfterTheirPresent)
{
    start_headless_allegro(32);
    TempDir dir;
    write_stand_in_pictures(dir.path());
    for (int scene = 3; scene <= 5; scene++) {
        SCOPED_TRACE(scene);
        SpyHost host;
        host.esc = [](const SpyHost&) { return true; };
        auto s = std::make_unique<Show>(host);
        ASSERT_TRUE(run_preamble(*s, dir.path(), probed_here(dir.path())));
        s->effu = scene;
        host.set_owed(0);
        const bool went_on = scene == 3   ? s->tunnel.frame(*s)
                             : scene == 4 ? s->julia.frame(*s)
                                          : s->xorTunnel.frame(*s);
        EXPECT_FALSE(went_on);
        EXPECT_EQ(host.presents(), 1);
        EXPECT_EQ(host.esc_tests, 1);
        EXPECT_TRUE(host.has(SpyHost::Event::Deinit));
        EXPECT_FALSE(host.has(SpyHost::Event::Windowed));
        EXPECT_EQ(host.owed(), 0);
    }
}

}  // namespace
