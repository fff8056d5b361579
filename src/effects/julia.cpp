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
    double re = newRe, im = newIm;
    double pre = oldRe, pim = oldIm;
    const double cr = cRe, ci = cIm;
    const int limit = maxIterations;
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
    newRe = re;
    newIm = im;
    oldRe = pre;
    oldIm = pim;
    return i;
}

bool Julia::frame(Stage& s)
{
    Pictures& p = s.pics;

    maxIterations = maxIterations + 1;
    zoom = static_cast<float>(zoom + (zoom / 20.0 + 0.001));
    h = 240;
    w = 320;
    cRe = -0.7;
    cIm = 0.27015;
    moveX = static_cast<float>(-0.488);
    moveY = static_cast<float>(0.14);

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
            starts_re_.push_back(((x - w / 2) * 1.5) / ((zoom * 3.5) * w) + moveX);
            starts_im_.push_back((y - h / 2) / ((zoom * 3.5) * h) + moveY);
            y = y + 2;
        }
    }
    const int n = static_cast<int>(samples_.size());
    counts_.resize(samples_.size());
    const bool lanes = raster::escape_counts(starts_re_.data(), starts_im_.data(), n, cRe, cIm,
                                             maxIterations, counts_.data());
    if (!lanes) {
        for (int k = 0; k < n; k++) {
            newRe = starts_re_[k];
            newIm = starts_im_[k];
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
