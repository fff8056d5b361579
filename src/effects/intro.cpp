#include "effects/intro.h"

#include "frame/exits.h"
#include "frame/stage.h"
#include "frame/tick.h"
#include "raster/raster.h"

namespace {
// The logo phase counts down 500 presents plus one per tick that arrives meanwhile. On a machine
// that presents slower than the tick the count never falls, so the phase also ends after this many.
constexpr long kLogoPhaseTickLimit = 500;
}

bool run_intro(Stage& s)
{
    Pictures& p = s.pics;
    s.effu = 0;
    s.host.install_tick();
    fill_stairs_bitmaps(p);
    draw_sprite(p.canvas, p.logoImage, 0, 80);

    s.host.begin_phase(Phase::Logo);
    speed_counter = 500;
    const long start = s.host.ticks_since_install();
    while (speed_counter.load() > 0) {
        s.host.present(p.canvas);
        speed_counter.fetch_sub(1);
        if (s.host.ticks_since_install() - start >= kLogoPhaseTickLimit) {
            speed_counter = 0;  // a slow machine owes nothing for the logo phase
            break;
        }
    }

    set_trans_blender(300, 300, 300, 30);
    s.host.begin_phase(Phase::Smear);
    while (s.laiskuri <= 599) {
        s.laiskuri += 1;
        if (s.host.esc_held()) {
            exit_windowed_then_deinit(s.host);
            return false;
        }
        const int dy = s.random.next() / 5000 - 3;
        const int dx = s.random.next() / 5000 - 3;
        raster::draw_trans_sprite(p.canvas, p.canvas, dx, dy);
        s.host.present(p.canvas);
    }
    return true;
}
