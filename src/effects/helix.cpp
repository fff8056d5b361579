#include "effects/helix.h"

#include <cmath>
#include <cstdlib>

#include "effects/spring.h"
#include "host/exits.h"
#include "host/sequencer.h"
#include "host/stage.h"
#include "raster/raster.h"

void helix_square_lines(float pokale, int c, int x, int y, HelixLine out[8])
{
    const int q = x / 3;
    for (int row = 0; row < 2; row++) {
        const double b = (row == 0 ? 450.0 : 451.0) - static_cast<double>(pokale);
        HelixLine* l = out + 4 * row;
        l[0] = {c + x, static_cast<int>(b + y), c - 3 * y, static_cast<int>(b + q), false};
        l[1] = {c + x, static_cast<int>(b + y), c + 3 * y, static_cast<int>(b - q), true};
        l[2] = {c + 3 * y, static_cast<int>(b - q), c - x, static_cast<int>(b - y), false};
        l[3] = {c - 3 * y, static_cast<int>(b + q), c - x, static_cast<int>(b - y), true};
    }
}

HelixColours helix_colours(float pokale)
{
    const double k = pokale;
    HelixColours h;
    h.a = std::abs(static_cast<int>(k * 1.1 - 255.0));
    h.c_red = 255 - h.a;
    h.c_green = static_cast<int>(k / 2.0);
    h.d_red = h.a / 2;
    h.d_green = static_cast<int>(k / 4.0);
    return h;
}

WaveStrip wave_strip(float pokale, float aalto, float pokale_m)
{
    const double k = pokale;
    const double s = std::sin(k / 50.0 + aalto);
    const double d = 100.0 * std::sin(static_cast<double>(pokale_m) / 100.0) + 50.0;
    const int t = static_cast<int>(100.0 * std::sin(static_cast<double>(aalto) - k / d));
    WaveStrip w;
    w.dw = static_cast<int>(50.0 * s + 800.0);
    w.dx = static_cast<int>(50.0 * s - 50.0);
    w.sy = static_cast<int>((100 - t) + k);
    w.dy = static_cast<int>(2.0 * k + 80.0);
    return w;
}

void Helix::advance_angles()
{
    const double m = pokale_m;
    old_i = static_cast<float>(static_cast<double>(old_i) + 3.14159265 / (1000.0 - m) -
                               m / 10000.0 - 0.1);
    i = old_i;
    spring_step(pokale_m, pokale_v, 100.0, 0.01);
}

void Helix::next_square()
{
    i = static_cast<float>(static_cast<double>(i) + 0.0062831853);
    pokale_x = static_cast<int>(120.0 * std::cos(static_cast<double>(i)));
    pokale_y = static_cast<int>(30.0 * std::sin(static_cast<double>(i)));
    pokale_x = static_cast<int>(pokale_x + 50.0 * std::sin(2.0 * static_cast<double>(aalto)));
    const HelixColours h = helix_colours(pokale);
    pokale_c = makecol(h.c_red, h.c_green, 0);
    pokale_d = makecol(h.d_red, h.d_green, 0);
}

bool Helix::frame(Stage& s)
{
    Pictures& pics = s.pics;
    BITMAP* canvas = pics.canvas;
    BITMAP* aux = pics.auxCanvas;

    // Factors above 255 are passed on as they are: Allegro's blend then overshoots the source.
    set_trans_blender(255, 255, 510, 355);
    advance_angles();

    for (pokale = 0; pokale < 430; pokale = static_cast<float>(static_cast<double>(pokale) + 1.0)) {
        next_square();
        const int w = static_cast<int>(100.0 * std::sin(static_cast<double>(old_i) / 10.0));
        HelixLine lines[8];
        helix_square_lines(pokale, 320 + w, pokale_x, pokale_y, lines);
        for (const HelixLine& l : lines)
            raster::fastline(canvas, l.x1, l.y1, l.x2, l.y2, l.in_c ? pokale_c : pokale_d);
        if (s.host.esc_held()) {
            exit_from_frame(s.host);
            return false;
        }
    }

    s.host.poll_music();
    raster::draw_trans_sprite(aux, canvas, 0, -10);
    paint_letterbox(aux);
    s.host.present(aux);
    clear_to_color(canvas, makecol(255, 0, 255));
    aalto = static_cast<float>(static_cast<double>(aalto) + 0.1);

    for (pokale = 0; pokale < 200; pokale = static_cast<float>(static_cast<double>(pokale) + 1.0)) {
        const WaveStrip w = wave_strip(pokale, aalto, pokale_m);
        raster::stretch_blit(pics.tolmoImage, aux, 0, w.sy, 320, 2, w.dx, w.dy, w.dw, 4);
    }

    s.host.take_tick();
    return true;
}
