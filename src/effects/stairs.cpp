#include "effects/stairs.h"

#include <cmath>
#include <cstdlib>

#include "effects/scene_end.h"
#include "host/sequencer.h"
#include "host/stage.h"
#include "raster/raster.h"

StretchRect stair_rect(int step, int p, double s)
{
    StretchRect r;
    r.x = 300 - 5 * step - p / 4;
    r.y = static_cast<int>(40.0 * s + 110.0 + step * step + (p * step) / 10);
    r.w = static_cast<int>(7.9 * step + 60.0 + p / 2);
    r.h = 4 * step + 8;
    return r;
}

StretchRect riser_rect(int step, int p, double s)
{
    StretchRect r;
    r.x = 300 - 5 * step - p / 4;
    r.y = static_cast<int>(40.0 * s + 96.0 - (step - 15) + (20 - step) + step * step +
                           (p * step) / 10);
    r.w = 10 * step + p / 2 + 30;
    r.h = 2 * step - 20;
    return r;
}

void Stairs::setup_tiles(ShowRandom& random)
{
    for (int i = 0; i < 100; i++) {
        dropd[i] = static_cast<float>(std::sin(static_cast<double>(i)) - 0.5);
        drops[i] = static_cast<float>(0.1);
        dropz[i] = static_cast<float>(random.next() / 80);
        dropy[i] = static_cast<float>(random.next() / 200);
        dropa[i] = static_cast<float>(random.next() / 500);
        dropx[i] = static_cast<float>(random.next() / 2000 - 10);
    }
}

StretchRect Stairs::tile_substep(int i, int rnd)
{
    dropx[i] =
        static_cast<float>(static_cast<double>(dropx[i]) + static_cast<double>(dropd[i]) / 8.0);
    dropz[i] = static_cast<float>(static_cast<double>(dropz[i]) + static_cast<double>(drops[i]));
    dropa[i] = static_cast<float>(static_cast<double>(dropa[i]) + 0.001);
    if (static_cast<double>(dropy[i]) > static_cast<double>(rnd / 10))
        dropa[i] = static_cast<float>(-0.5);
    dropy[i] = static_cast<float>(static_cast<double>(dropy[i]) + static_cast<double>(dropa[i]));
    if (static_cast<double>(std::abs(static_cast<int>(dropx[i]))) >
        static_cast<double>(dropz[i]) / 3.5 + 40.0)
        dropd[i] = -dropd[i];
    if (static_cast<double>(dropz[i]) > 400.0) {
        dropz[i] = 0;
        dropx[i] = 0;
        dropd[i] = static_cast<float>(std::sin(static_cast<double>(i)) - 0.3);
    }
    const double z = dropz[i];
    const int k = static_cast<int>(z / 4.0 + 10.0);
    return {static_cast<int>(static_cast<double>(dropx[i]) + 310.0),
            static_cast<int>((z + 150.0) + static_cast<double>(dropy[i])), k, k};
}

bool Stairs::frame(Stage& s)
{
    Pictures& pics = s.pics;
    BITMAP* canvas = pics.canvas;

    porras_liuku += 1;
    if (porras_liuku == 22)
        porras_liuku = 0;

    const double bob = std::sin(s.laiskuri / 20.0);
    draw_sprite(canvas, pics.titleImage, 0, static_cast<int>(40.0 * bob));

    // The translucent copy uses whatever blender is current: the last stair's from the previous
    // frame, or the one the previous phase left.
    const int jy = s.random.next() / 1000 - 5;
    const int jx = s.random.next() / 1000 - 5;
    raster::draw_trans_sprite(canvas, pics.titleImage, jx, jy);

    const int p = porras_liuku;
    for (step = 0; step <= 19; step++) {
        for (drop = 0; drop <= 19; drop++) {
            const StretchRect t = tile_substep(drop, s.random.next());
            raster::stretch_sprite(canvas, pics.tileImage, t.x, t.y, t.w, t.h);
        }
        set_trans_blender(155, 0, 255, s.random.next() / 500);
        const StretchRect st = stair_rect(step, p, bob);
        raster::stretch_sprite(canvas, pics.stairsBitmap, st.x, st.y, st.w, st.h);
        if (step > 10) {
            const StretchRect r = riser_rect(step, p, bob);
            raster::stretch_sprite(canvas, pics.stairs2Bitmap, r.x, r.y, r.w, r.h);
        }
    }

    s.host.poll_music();
    paint_letterbox(canvas);
    s.host.present(canvas);
    return finish_frame(s.host);
}
