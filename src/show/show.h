// The show: the stage and every effect, and the run from the preamble to the end.
#pragma once
#include <string>

#include "effects/ending.h"
#include "effects/helix.h"
#include "effects/intro.h"
#include "effects/julia.h"
#include "effects/plasma.h"
#include "effects/stairs.h"
#include "effects/tunnel.h"
#include "effects/xor_tunnel.h"
#include "host/stage.h"
#include "show/probe.h"

// A Show is its Stage (what the effects share) plus each scene's own state. Only the run order
// below sees all of them; each scene's frame receives the Stage and its own object.
struct Show : Stage {
    explicit Show(Host& h) : Stage(h) {}

    Stairs stairs;
    Plasma plasma;
    Helix helix;
    Tunnel tunnel;
    Julia julia;
    XorTunnel xorTunnel;
};

// The module of the show in `data_dir`.
inline std::string module_file(const std::string& data_dir)
{
    return data_dir + "/80S5.IT";
}

// Everything after init: pictures (from the probe's decoded pixels), tables, music (with the
// probe's verdict on the module), tiles, tick, intro, main loop and ending. Returns main's
// result: 0 on every way the show ends, 1 when a picture is unusable.
int run_show(Host& host, const std::string& data_dir, const ProbeResult& probe);

// The parts of run_show, for tests that start the show part-way.
bool run_preamble(Show& s, const std::string& data_dir,
                  const ProbeResult& probe);  // false: a picture is unusable
// The last steps before the first frame: effu 0, the tick installed, then the stairs bitmaps
// filled (which leaves the burn blender current; the logo's draw does not blend).
void start_clock(Show& s);
int run_main_loop(Show& s);  // main's result
