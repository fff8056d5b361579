#include "effects/intro.h"

#include "host/exits.h"
#include "host/stage.h"
#include "raster/raster.h"

bool run_intro(Stage& s)
{
    Pictures& p = s.pics;
    draw_sprite(p.canvas, p.logoImage, 0, 80);

    // The still logo, counted down as a 5 ms present would count it; each present the screen
    // shows waits for its tick. Esc held while it waits ends the show as the main loop's wait does.
    s.host.begin_phase(Phase::Logo);
    for (HoldCounter hold; hold.running(); hold.next()) {
        if (!s.host.present_or_pass(p.canvas, hold.shown(), true)) {
            exit_deinit_then_windowed(s.host);
            return false;
        }
    }

    // The smear, two iterations a tick: the second of each pair is shown.
    set_trans_blender(300, 300, 300, 30);
    s.host.begin_phase(Phase::Smear);
    while (s.laiskuri <= kSmearIterations - 1) {
        s.laiskuri += 1;
        if (s.host.esc_held()) {
            exit_windowed_then_deinit(s.host);
            return false;
        }
        const int dy = s.random.next() / 5000 - 3;
        const int dx = s.random.next() / 5000 - 3;
        raster::draw_trans_sprite(p.canvas, p.canvas, dx, dy);
        s.host.present_or_pass(p.canvas, s.laiskuri % kIterationsPerTick == 0);
    }
    return true;
}
