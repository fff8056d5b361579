#include "show/show.h"

#include <cassert>
#include <memory>

#include "host/exits.h"
#include "host/sequencer.h"

bool run_preamble(Show& s, const std::string& data_dir, const ProbeResult& probe)
{
    std::string error;
    if (!load_pictures(s.pics, probe.pictures, error)) {
        s.host.report_fatal("cannot start: " + error);
        return false;
    }
    build_tunnel_tables(*s.tables, s.pics.face3Image);
    s.plasma.plasma_w = 160;
    s.plasma.plasma_h = 80;
    s.host.start_music(probe.music, module_file(data_dir),
                       probe.module_problem.empty() ? probe.module_fault : probe.module_problem);
    s.stairs.setup_tiles(s.random);
    return true;
}

void start_clock(Show& s)
{
    s.effu = 0;
    s.host.install_tick();
    fill_stairs_bitmaps(s.pics);
}

int run_main_loop(Show& s)
{
    s.laiskuri = 0;
    int announced = -1;    // the scene the host last heard of
    bool test_esc = true;  // the outer Esc test runs only while no frame is owed
    for (;;) {
        if (test_esc && s.host.esc_held()) {
            exit_deinit_then_windowed(s.host);
            return 0;
        }
        if (s.host.owed() <= 0) {
            s.host.idle();
            test_esc = true;
            continue;
        }
        test_esc = false;

        s.host.poll_music();
        s.laiskuri += 1;
        for (int n = sequencer_step(s.laiskuri, s.effu, s.kierros); n > 0; n--)
            paint_letterbox(s.pics.canvas);
        if (s.effu != announced) {
            announced = s.effu;
            s.host.begin_scene(announced);
        }

        // One scene block at most runs: only scene 4 changes effu, to 5, which is tested before it.
        assert(s.effu >= 0 && s.effu <= 6);
        if (s.effu == 6)
            return run_ending(s);
        if (s.effu == 5 && !s.xorTunnel.frame(s))
            return 0;
        if (s.effu == 4 && !s.julia.frame(s))
            return 0;
        if (s.effu == 3 && !s.tunnel.frame(s))
            return 0;
        if (s.effu == 2 && !s.helix.frame(s))
            return 0;
        if (s.effu == 1 && !s.plasma.frame(s))
            return 0;
        if (s.effu == 0 && !s.stairs.frame(s))
            return 0;
    }
}

int run_show(Host& host, const std::string& data_dir, const ProbeResult& probe)
{
    auto s = std::make_unique<Show>(host);
    if (!run_preamble(*s, data_dir, probe))
        return 1;
    start_clock(*s);
    if (!run_intro(*s))
        return 0;
    // The main loop starts on time: the intro's frames each took their own tick.
    host.clear_owed();
    host.begin_phase(Phase::Loop);
    return run_main_loop(*s);
}
