#include "effects/ending.h"

#include <cmath>

#include "frame/exits.h"
#include "frame/stage.h"
#include "frame/tick.h"
#include "raster/raster.h"

namespace {

// The pause counts down 500 passes plus one per tick that arrives meanwhile. On a machine whose
// pass takes a tick or longer the count never falls, so the pause also ends after this many ticks.
constexpr long kPauseTickLimit = 500;

// Index 0 is unused: the lines are met as the pause counter passes 4, 3, 2 and 1.
const char* const kCreditLines[5] = {
    nullptr,
    "THIS WAS OUR FIRST",
    "WE ARE SORRY",
    "code: vorrinek",
    "music: krumo606",
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

void stamp_block_row(BITMAP* canvas, BITMAP* textBitmap, int& x, int y)
{
    const int white = makecol(255, 255, 255);
    for (x = 0; x <= 319; x++) {
        if (getpixel(textBitmap, x, y) != white)
            continue;
        // Red climbs 0, 20, ..., 140 across every 8 font columns.
        const int r = static_cast<int>(std::fmod(static_cast<double>(x), 8.0) * 20.0);
        // Dark left and right edges, then the bright core over the gap between them.
        rectfill(canvas, 3 * x - 142, 8 * y, 3 * x - 140, 8 * y + 7, makecol(r, 40, 40));
        rectfill(canvas, 3 * x - 138, 8 * y, 3 * x - 136, 8 * y + 7, makecol(r, 40, 40));
        rectfill(canvas, 3 * x - 141, 8 * y, 3 * x - 137, 8 * y + 7, makecol(r, 240, 240));
    }
}

int run_ending(Stage& s)
{
    Pictures& p = s.pics;

    s.laiskuri = 0;
    draw_sprite(p.canvas, p.logoImage, 0, 80);
    speed_counter = 500;

    // The pause: the picture stands still while the credits go, unseen, into textBitmap.
    s.host.begin_phase(Phase::Pause);
    const long start = s.host.ticks_since_install();
    int lowest_written = 5;  // the last line written; they come 4, 3, 2, 1
    while (speed_counter.load() > 0) {
        s.host.present(p.canvas);
        const int n = speed_counter.load();  // one read serves the test, the line and its row
        if (n >= 1 && n <= 4) {
            write_credit_line(p.textBitmap, n);
            lowest_written = n;
        }
        speed_counter.fetch_sub(1);
        s.host.poll_music();
        if (s.host.ticks_since_install() - start >= kPauseTickLimit) {
            // A slow machine: stop waiting, but the credits must still be there for the fade.
            for (int line = lowest_written - 1; line >= 1; line--)
                write_credit_line(p.textBitmap, line);
            speed_counter = 0;
            break;
        }
    }

    // The fade: blur, block letters for passes 101..199, music from full volume to almost nothing.
    set_trans_blender(300, 300, 300, 30);
    s.host.begin_phase(Phase::Fade);
    while (s.laiskuri <= 899) {
        s.host.poll_music();
        s.host.set_music_volume(static_cast<float>(1.0 - s.laiskuri / 900.0));
        s.laiskuri += 1;
        const int row = ending_scan_row(s.laiskuri);
        if (row >= 0) {
            s.y = row;
            stamp_block_row(p.canvas, p.textBitmap, s.x, s.y);
        }
        if (s.host.esc_held()) {
            exit_from_frame(s.host);
            return 0;
        }
        const int jy = s.random.next() / 5000 - 3;
        const int jx = s.random.next() / 5000 - 3;
        raster::draw_trans_sprite(p.canvas, p.canvas, jx, jy);
        s.host.present(p.canvas);
    }

    exit_windowed_then_deinit(s.host);
    return 0;
}
