#include "effects/julia.h"

#include <allegro.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "effects/scene_end.h"
#include "host/stage.h"
#include "raster/raster.h"

int julia_colour(int i)
{
    return makecol(i, 128 - std::abs(i - 128), i);
}

int Julia::escape_count()
{
    // Locals keep the loop in registers; the order of every operation is the stored formula's.
    double re = new_re, im = new_im;
    double pre = old_re, pim = old_im;
    const double cr = c_re, ci = c_im;
    const int limit = max_iterations;
    int i = 0;
    while (i < limit) {
        pre = re;
        pim = im;
        re = pre * pre - pim * pim + cr;
        im = (pre + pre) * pim - ci;
        if (re * re + im * im > 0.8)
            break;
        i++;
    }
    new_re = re;
    new_im = im;
    old_re = pre;
    old_im = pim;
    return i;
}

bool Julia::frame(Stage& s)
{
    Pictures& p = s.pics;

    max_iterations = max_iterations + 1;
    zoom = static_cast<float>(zoom + (zoom / 20.0 + 0.001));
    h = 240;
    w = 320;
    c_re = -0.7;
    c_im = 0.27015;
    move_x = static_cast<float>(-0.488);
    move_y = static_cast<float>(0.14);

    // Past 64 the scene hands over to the next one, but still draws this frame, 4 zoom back.
    if (std::sqrt(static_cast<double>(zoom)) > 8) {
        s.effu = s.effu + 1;
        zoom = static_cast<float>(zoom - 4.0);
    }

    // Samples every second x and y; each is a 4x3 block at (2x, 2y), leaving row 2y + 3 black.
    // The starting points of the whole frame are gathered first, in drawing order, then iterated
    // several at a time, then drawn.
    const double root = std::sqrt(static_cast<double>(zoom));
    samples_.clear();
    starts_re_.clear();
    starts_im_.clear();
    for (int x = 0; x < w; x += 2) {
        int y = static_cast<int>(root + 40);
        while (h > (y + 40) + root) {
            samples_.push_back({x, y});
            starts_re_.push_back(((x - w / 2) * 1.5) / ((zoom * 3.5) * w) + move_x);
            starts_im_.push_back((y - h / 2) / ((zoom * 3.5) * h) + move_y);
            y = y + 2;
        }
    }
    const int n = static_cast<int>(samples_.size());
    counts_.resize(samples_.size());
    const bool lanes = raster::escape_counts(starts_re_.data(), starts_im_.data(), n, c_re, c_im,
                                             max_iterations, counts_.data());
    if (!lanes) {
        for (int k = 0; k < n; k++) {
            new_re = starts_re_[k];
            new_im = starts_im_[k];
            counts_[k] = escape_count();
        }
    }
    for (int k = 0; k < n; k++) {
        const Sample& q = samples_[k];
        raster::rectfill(p.canvas, 2 * q.x, 2 * q.y, 2 * q.x + 3, 2 * q.y + 2,
                         julia_colour(counts_[k]));
    }

    s.host.poll_music();
    draw_sprite(p.canvas, p.afroImage, 0, 0);
    s.host.present(p.canvas);
    clear_to_color(p.canvas, 0);
    return finish_frame(s.host);
}
