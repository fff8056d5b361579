#include "effects/ending.h"

#include <cmath>

#include "host/exits.h"
#include "host/stage.h"
#include "raster/raster.h"

namespace {

// Index 0 is unused: the lines are written as the pause's frames left to show pass 4, 3, 2 and 1.
const char* const kCreditLines[5] = {
    nullptr, "THIS WAS OUR FIRST", "WE ARE SORRY", "code: vorrinek", "music: krumo606",
};

}  // namespace

const char* credit_line(int n)
{
    return n >= 1 && n <= 4 ? kCreditLines[n] : nullptr;
}

void write_credit_line(BITMAP* textBitmap, int n)
{
    textout_centre_ex(textBitmap, font, credit_line(n), 160, 8 * n + 5, makecol(255, 255, 255),
                      makecol(255, 0, 255));
}

int ending_scan_row(int laiskuri)
{
    if (laiskuri > 100 && laiskuri <= 199)
        return laiskuri / 2 - 50;
    return -1;
}

void stamp_block_row(BITMAP* canvas, BITMAP* textBitmap, int y)
{
    const int white = makecol(255, 255, 255);
    for (int x = 0; x <= 319; x++) {
        if (getpixel(textBitmap, x, y) != white)
            continue;
        // Red climbs 0, 20, ..., 140 across every 8 font columns.
        const int r = static_cast<int>(std::fmod(static_cast<double>(x), 8.0) * 20.0);
        // Dark left and right edges, then the bright core over the gap between them.
        raster::rectfill(canvas, 3 * x - 142, 8 * y, 3 * x - 140, 8 * y + 7, makecol(r, 40, 40));
        raster::rectfill(canvas, 3 * x - 138, 8 * y, 3 * x - 136, 8 * y + 7, makecol(r, 40, 40));
        raster::rectfill(canvas, 3 * x - 141, 8 * y, 3 * x - 137, 8 * y + 7, makecol(r, 240, 240));
    }
}

int run_ending(Stage& s)
{
    Pictures& p = s.pics;

    s.laiskuri = 0;
    draw_sprite(p.canvas, p.logoImage, 0, 80);

    // The pause: the picture stands still while the credits go, unseen, into textBitmap, counted
    // down as a 5 ms present would count it. It starts on time whatever the main loop owed; Esc
    // held while it waits for a tick ends the show as the main loop's wait does.
    s.host.clear_owed();
    s.host.begin_phase(Phase::Pause);
    for (HoldCounter hold; hold.running(); hold.next()) {
        if (!s.host.present_or_pass(p.canvas, hold.shown(), true)) {
            exit_deinit_then_windowed(s.host);
            return 0;
        }
        const long n = hold.count();
        if (n <= 4)
            write_credit_line(p.textBitmap, static_cast<int>(n));
        s.host.poll_music();
    }

    // The fade, two iterations a tick: blur, block letters for passes 101..199, music from full
    // volume to almost nothing.
    set_trans_blender(300, 300, 300, 30);
    s.host.begin_phase(Phase::Fade);
    while (s.laiskuri <= kFadeIterations - 1) {
        s.host.poll_music();
        const double faded = s.laiskuri / static_cast<double>(kFadeIterations);
        s.host.set_music_volume(static_cast<float>(1.0 - faded));
        s.laiskuri += 1;
        const int row = ending_scan_row(s.laiskuri);
        if (row >= 0)
            stamp_block_row(p.canvas, p.textBitmap, row);
        if (s.host.esc_held()) {
            exit_from_frame(s.host);
            return 0;
        }
        const int jy = s.random.next() / 5000 - 3;
        const int jx = s.random.next() / 5000 - 3;
        raster::draw_trans_sprite(p.canvas, p.canvas, jx, jy);
        s.host.present_or_pass(p.canvas, s.laiskuri % kIterationsPerTick == 0);
    }

    s.host.end_music();
    exit_windowed_then_deinit(s.host);
    return 0;
}
