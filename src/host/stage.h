// The stage every effect draws on: the state the effects share by design, and nothing of any
// one effect's own. The show owns one Stage and hands it to each effect's frame.
#pragma once
#include <memory>

#include "assets/pictures.h"
#include "assets/tunnel_tables.h"
#include "host/host.h"
#include "host/show_random.h"

struct Stage {
    explicit Stage(Host& h) : host(h), tables(std::make_unique<TunnelTables>()) {}
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    Host& host;  // the screen, the keyboard, the tick and the music
    Pictures pics;
    std::unique_ptr<TunnelTables> tables;
    ShowRandom random;  // the one generator of the whole show

    int laiskuri =
        0;  // frames since the main loop began (smear frames in the intro, passes in the ending)
    int effu = 0;         // current scene 0..5; 6 is the ending
    int kierros = 0;      // completed cycles of the six scenes
    float animation = 0;  // scene clock shared by the two tunnels: +0.01 in one, -0.03 in the other
};
