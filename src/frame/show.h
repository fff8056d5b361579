// The show: every piece of state that outlives a frame, and the run from the preamble to the end.
#pragma once
#include <memory>
#include <string>

#include "assets/pictures.h"
#include "assets/tunnel_tables.h"
#include "effects/ending.h"
#include "effects/helix.h"
#include "effects/intro.h"
#include "effects/julia.h"
#include "effects/plasma.h"
#include "effects/stairs.h"
#include "effects/tunnel.h"
#include "effects/xor_tunnel.h"
#include "frame/host.h"
#include "frame/show_random.h"

struct Show {
    explicit Show(Host& h) : host(h), tables(std::make_unique<TunnelTables>()) {}

    Host& host;
    Pictures pics;
    std::unique_ptr<TunnelTables> tables;
    ShowRandom random;  // the one generator of the whole show

    int laiskuri = 0;  // frames since the main loop began (smear frames in the intro, passes in the ending)
    int effu = 0;      // current scene 0..5; 6 is the ending
    int kierros = 0;   // completed cycles of the six scenes
    int x = 0, y = 0;  // scratch counters of the afro key pass and the ending's text scan
    float animation = 0;  // scene clock shared by the two tunnels: +0.01 in one, -0.03 in the other
    int color = 0;        // scratch texel/colour of the tunnels and the Julia zoom

    Stairs stairs;
    Plasma plasma;
    Helix helix;
    Tunnel tunnel;
    Julia julia;
    XorTunnel xorTunnel;
};

// Everything after init: pictures, tables, music, tiles, tick, intro, main loop and ending.
// Returns main's result: 0 on every way the show ends, 1 when a picture is unusable.
int run_show(Host& host, const std::string& data_dir = "ruvo");

// The parts of run_show, for tests that start the show part-way.
bool run_preamble(Show& s, const std::string& data_dir);  // false: a picture is unusable
int run_main_loop(Show& s);                              // main's result

// Ways out of a frame, each in the order the show takes them. A frame that calls one returns false.
void exit_from_frame(Show& s);               // Esc in a scene or the fade: deinit, no mode change
void exit_windowed_then_deinit(Show& s);     // Esc in the smear, and the completed ending
void exit_deinit_then_windowed(Show& s);     // Esc while the main loop waits for a tick
