// The small sprite pictures of the stairs scene: the step tread, its riser
// strip and the hopping chrome ball.
#include <cmath>

#include "pictures.h"

namespace artgen {

Picture paint_stair()
{
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
void shade_masked(Picture& pic, int ss, Inside inside, Shade f)
{
    for (int y = 0; y < pic.h(); ++y)
        for (int x = 0; x < pic.w(); ++x) {
            Col acc;
            int n = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    double px = x + (sx + 0.5) / ss, py = y + (sy + 0.5) / ss;
                    if (!inside(px, py))
                        continue;
                    acc = acc + f(px, py);
                    ++n;
                }
            pic.at(x, y) = (2 * n < ss * ss) ? kMagenta : acc * (1.0 / n);
        }
}

}  // namespace

Picture paint_riser()
{
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
        c = c + rgb(1.0, 0.25, 0.70) * std::exp(-r * r / 5.0) +
            rgb(0.4, 0.05, 0.3) * std::exp(-r / 5.0);
        return c;
    });
    return pic;
}

Picture paint_tile()
{
    // A chrome ball: it mirrors a sunset sky over a neon grid floor, with a
    // hard highlight and a cyan rim light, like an 80s poster sphere.
    const int n = 64;
    Picture pic(n, n);
    const double c = n / 2.0, R = n / 2.0 - 1.0;
    shade_masked(
        pic, 4, [&](double x, double y) { return std::hypot(x - c, y - c) < R; },
        [&](double x, double y) {
            double nx = (x - c) / R, ny = (c - y) / R;
            double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
            // Reflection of a ray from the viewer (looking down -z).
            double rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
            Col col;
            if (ry > -0.05) {
                double t = clamp01(ry + 0.05);
                col = ramp({rgb(1.0, 0.70, 0.35), rgb(1.0, 0.30, 0.55), rgb(0.45, 0.15, 0.60),
                            rgb(0.10, 0.10, 0.35)},
                           std::pow(t, 0.6));
            } else {
                // Floor: grid lines in perspective, fading into the horizon.
                double gz = rz / (-ry), gx = rx / (-ry);
                double fx = std::fabs(gx * 2.0 - std::floor(gx * 2.0 + 0.5));
                double fz = std::fabs(gz * 2.0 - std::floor(gz * 2.0 + 0.5));
                double line = std::max(smooth(0.12, 0.02, fx), smooth(0.12, 0.02, fz)) *
                              smooth(-0.05, -0.3, ry);
                col = mix(rgb(0.10, 0.02, 0.18), rgb(0.25, 0.05, 0.30), smooth(-1.0, -0.05, ry));
                col = col + rgb(0.25, 0.90, 1.0) * (0.9 * line);
            }
            // Hot horizon line, highlight, rim light and a dark edge.
            col = col + rgb(1.0, 0.85, 0.9) * (0.8 * std::exp(-std::fabs(ry + 0.05) / 0.03));
            double hl = std::hypot(nx + 0.38, ny - 0.42);
            col = col + rgb(1, 1, 1) * smooth(0.16, 0.06, hl);
            double edge = 1 - nz;
            col = col +
                  rgb(0.2, 0.9, 1.0) * (0.8 * smooth(0.5, 0.95, edge) * smooth(-0.2, 0.5, nx - ny));
            return col * (0.35 + 0.65 * smooth(0.99, 0.9, edge + 0.0));
        });
    return pic;
}

}  // namespace artgen
