#include "effects/intro.h"

#include "frame/exits.h"
#include "frame/stage.h"
#include "raster/raster.h"

namespace {
constexpr int kLogoFrames = 500;  // the still logo, one frame a tick
}

bool run_intro(Stage& s)
{
    Pictures& p = s.pics;
    s.effu = 0;
    s.host.install_tick();
    fill_stairs_bitmaps(p);
    draw_sprite(p.canvas, p.logoImage, 0, 80);

    // The still logo: one frame a tick. Esc held while it waits ends the show as the main
    // loop's wait does.
    s.host.begin_phase(Phase::Logo);
    for (int n = 0; n < kLogoFrames; n++) {
        if (!s.host.wait_tick(true)) {
            exit_deinit_then_windowed(s.host);
            return false;
        }
        s.host.present(p.canvas);
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
        s.host.wait_tick();
        s.host.present(p.canvas);
    }
    return true;
}
