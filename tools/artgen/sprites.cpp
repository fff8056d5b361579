// The small sprite pictures of the stairs scene: the step tread, its riser
// strip and the hopping tile.
#include <cmath>

#include "pictures.h"

namespace artgen {

Picture paint_stair() {
    // A tread seen from above. In the staircase each nearer step covers the
    // lower part of the one before, so the top rows carry the look: a cyan
    // light strip in the nosing along the top edge, then grooved violet
    // stone fading toward the bottom. The show burns it onto black at about
    // 60 %, so it is painted bright.
    Picture pic(272, 57);
    const double lip = 9.0;  // rows of the light strip
    pic.shade(3, [&](double x, double y) {
        double ends = std::min(std::fabs(x - 5.0), std::fabs(x - 267.0));
        if (y < lip) {
            double u = y / lip;
            double core = std::exp(-std::pow((u - 0.40) / 0.20, 2));
            Col strip = mix(rgb(0.15, 0.40, 0.70), rgb(0.60, 1.0, 1.0), core);
            strip = strip + rgb(0.5, 0.5, 0.4) * std::pow(core, 6);
            // Lamps along the strip.
            double lamp = std::fabs(std::fmod(x + 8.5, 17.0) - 8.5);
            strip = strip + rgb(0.4, 0.25, 0.5) * (smooth(2.5, 0.5, lamp) * core);
            // Its lower edge turns under into shade.
            strip = strip * (1.0 - 0.6 * smooth(0.72, 1.0, u));
            return strip;
        }
        double t = (y - lip) / (57.0 - lip);  // 0 under the strip, 1 at the bottom
        double grain = fbm(x / 60.0, y / 2.5, 11u, 4);
        double fine = vnoise(x / 3.0, y / 0.8, 12u);
        Col base = mix(rgb(0.78, 0.50, 1.0), rgb(0.42, 0.22, 0.66), std::pow(t, 0.8));
        base = base * (0.80 + 0.30 * grain + 0.08 * fine);
        // Cyan spill from the strip.
        base = base + rgb(0.10, 0.45, 0.55) * std::exp(-(y - lip) / 3.0);
        // Anti-slip grooves: dark lines with a lit lower lip.
        for (int g = 0; g < 3; ++g) {
            double gy = lip + 5.0 + g * 4.0;
            base = base * (1 - 0.55 * smooth(1.1, 0.2, std::fabs(y - gy)));
            base = base + rgb(0.25, 0.20, 0.35) * smooth(1.2, 0.3, std::fabs(y - gy - 1.3));
        }
        // Magenta pinstripes near both ends.
        base = over(base, rgb(1.0, 0.35, 0.85), smooth(1.2, 0.3, ends));
        return base;
    });
    return pic;
}

namespace {

// Fills pic from f, but pixels whose coverage (the fraction of sub-samples
// where inside() holds) is below one half become exact magenta, and covered
// pixels average only their inside sub-samples, so no colour is mixed with
// the mask colour.
template <class Inside, class Shade>
void shade_masked(Picture& pic, int ss, Inside inside, Shade f) {
    for (int y = 0; y < pic.h(); ++y)
        for (int x = 0; x < pic.w(); ++x) {
            Col acc;
            int n = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    double px = x + (sx + 0.5) / ss, py = y + (sy + 0.5) / ss;
                    if (!inside(px, py)) continue;
                    acc = acc + f(px, py);
                    ++n;
                }
            pic.at(x, y) = (2 * n < ss * ss) ? kMagenta : acc * (1.0 / n);
        }
}

}  // namespace

Picture paint_riser() {
    // The riser: a dark panel, slightly narrower at the top, with a row of
    // pink lamps and a lit upper lip.
    Picture pic(272, 20);
    auto inside = [](double x, double y) {
        double inset = 14.0 - 9.0 * (y / 20.0);
        return x > inset && x < 272.0 - inset;
    };
    shade_masked(pic, 3, inside, [](double x, double y) {
        double t = y / 20.0;
        Col c = mix(rgb(0.10, 0.04, 0.22), rgb(0.22, 0.08, 0.36), t);
        c = c * (0.85 + 0.3 * fbm(x / 30.0, y / 6.0, 21u, 3));
        // Vertical ribs.
        double rib = std::fabs(std::fmod(x, 12.0) - 6.0);
        c = c * (0.8 + 0.2 * smooth(0.5, 2.0, rib));
        // Upper lip catching the light.
        c = c + rgb(0.45, 0.30, 0.70) * smooth(2.5, 0.5, y);
        // Lamps.
        double lx = std::fmod(x + 12.0, 24.0) - 12.0, ly = y - 11.0;
        double r = std::sqrt(lx * lx + ly * ly);
        c = c + rgb(1.0, 0.25, 0.70) * std::exp(-r * r / 5.0) + rgb(0.4, 0.05, 0.3) * std::exp(-r / 5.0);
        return c;
    });
    return pic;
}

Picture paint_tile() {
    // A glossy rounded tile with a bevel and a small striped sun set in it.
    const int n = 64;
    Picture pic(n, n);
    const double c = n / 2.0, half = n / 2.0 - 1.5, rad = 12.0;
    auto sd = [=](double x, double y) { return sd_box(x, y, c, c, half - rad, half - rad) - rad; };
    shade_masked(pic, 4, [&](double x, double y) { return sd(x, y) < 0; }, [&](double x, double y) {
        double d = -sd(x, y);  // depth inside the edge
        // Face: diagonal cyan to violet to magenta.
        double t = (x + y) / (2.0 * n);
        Col face = ramp({rgb(0.20, 0.85, 1.0), rgb(0.38, 0.25, 0.90), rgb(1.0, 0.25, 0.75)}, t);
        // The sun emblem: a disk with horizontal cuts in its lower half.
        double su = x - c, sv = y - c + 2;
        double sr = std::sqrt(su * su + sv * sv);
        Col sun = ramp({rgb(1.0, 0.95, 0.55), rgb(1.0, 0.55, 0.30), rgb(1.0, 0.20, 0.55)}, clamp01((sv + 14) / 28));
        bool cut = sv > 0 && std::fmod(sv, 5.0) < 1.0 + sv / 8.0;
        double inSun = smooth(14.5, 13.5, sr) * (cut ? 0.0 : 1.0);
        face = over(face * (1.0 - 0.35 * smooth(22, 14, sr)), sun, inSun);
        // Gloss across the upper left.
        face = face + rgb(1, 1, 1) * (0.25 * smooth(0.45, 0.2, t) * smooth(0, 8, d));
        // Bevel: lit from the upper left.
        if (d < 5.0) {
            double gx = sd(x + 0.5, y) - sd(x - 0.5, y), gy = sd(x, y + 0.5) - sd(x, y - 0.5);
            double light = clamp01(0.5 - 0.5 * (gx + gy) / 1.41421356);
            Col bevel = mix(rgb(0.18, 0.05, 0.30), rgb(0.95, 0.90, 1.0), light);
            face = mix(bevel, face, smooth(3.5, 5.0, d));
        }
        // Dark rim so the tile stands out on any background.
        return face * (0.35 + 0.65 * smooth(0.3, 1.4, d));
    });
    return pic;
}

}  // namespace artgen
