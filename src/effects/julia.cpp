#include "effects/julia.h"

#include <allegro.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/scene_end.h"
#include "frame/stage.h"
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

namespace {

// Eight samples side by side in one vector; every lane sees the very double operations of
// Julia::escape_count, in the same order, so the counts are the same.
constexpr int kLanes = 8;
typedef double Lanes __attribute__((vector_size(kLanes * sizeof(double))));
typedef long long LaneMask __attribute__((vector_size(kLanes * sizeof(long long))));

// Escape counts of eight samples iterated in lock step; a lane stops counting when it escapes or
// reaches the limit (at least 1), the others go on until every lane has stopped.
__attribute__((target_clones("avx512f", "avx2", "default")))
void count_lanes(const double* start_re, const double* start_im, double cr, double ci, int limit,
                 int* counts)
{
    Lanes re, im;
    std::memcpy(&re, start_re, sizeof re);
    std::memcpy(&im, start_im, sizeof im);
    // x - Lanes{} puts x in every lane (x - 0.0 is x exactly).
    const Lanes c_re = cr - Lanes{};
    const Lanes c_im = ci - Lanes{};
    const Lanes bound = 0.8 - Lanes{};
    const LaneMask lim = limit - LaneMask{};
    LaneMask active = -1 - LaneMask{};
    LaneMask count = {};
    for (;;) {
        const Lanes next_re = re * re - im * im + c_re;
        const Lanes next_im = (re + re) * im - c_im;
        const LaneMask escaped = next_re * next_re + next_im * next_im > bound;
        // Lanes that stopped keep their last iterate, so nothing they compute can overflow.
        re = active != 0 ? next_re : re;
        im = active != 0 ? next_im : im;
        const LaneMask stepped = active & ~escaped;
        count -= stepped;  // true lanes are -1
        active = stepped & (count < lim);
        long long any = 0;
        for (int k = 0; k < kLanes; k++)
            any |= active[k];
        if (any == 0)
            break;
    }
    for (int k = 0; k < kLanes; k++)
        counts[k] = static_cast<int>(count[k]);
}

}  // namespace

void escape_counts(const double* re, const double* im, int n, double cRe, double cIm, int limit,
                   int* counts)
{
    if (limit <= 0) {
        for (int k = 0; k < n; k++)
            counts[k] = 0;
        return;
    }
    int k = 0;
    for (; k + kLanes <= n; k += kLanes)
        count_lanes(re + k, im + k, cRe, cIm, limit, counts + k);
    if (k < n) {
        // The tail fills its empty lanes with copies of its last sample.
        double tail_re[kLanes], tail_im[kLanes];
        int tail_counts[kLanes];
        for (int j = 0; j < kLanes; j++) {
            tail_re[j] = re[std::min(k + j, n - 1)];
            tail_im[j] = im[std::min(k + j, n - 1)];
        }
        count_lanes(tail_re, tail_im, cRe, cIm, limit, tail_counts);
        for (int j = 0; k + j < n; j++)
            counts[k + j] = tail_counts[j];
    }
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
    if (raster::fast_paths()) {
        escape_counts(starts_re_.data(), starts_im_.data(), n, cRe, cIm, maxIterations, counts_.data());
    } else {
        for (int k = 0; k < n; k++) {
            newRe = starts_re_[k];
            newIm = starts_im_[k];
            counts_[k] = escape_count();
        }
    }
    for (int k = 0; k < n; k++) {
        const Sample& q = samples_[k];
        s.color = julia_colour(counts_[k]);
        rectfill(p.canvas, 2 * q.x, 2 * q.y, 2 * q.x + 3, 2 * q.y + 2, s.color);
    }
    if (n > 0 && raster::fast_paths()) {
        // The iterates of the frame's last sample stay behind, as if each had been iterated alone.
        newRe = starts_re_[n - 1];
        newIm = starts_im_[n - 1];
        escape_count();
    }

    s.host.poll_music();
    draw_sprite(p.canvas, p.afroImage, 0, 0);
    s.host.present(p.canvas);
    clear_to_color(p.canvas, 0);
    return finish_frame(s.host);
}
