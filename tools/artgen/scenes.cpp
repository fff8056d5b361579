// The scene pictures: the word mark, the sunset title, the palm beach and the
// city evening.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace artgen {

namespace {

const double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------- logo

double sd_round_box(double x, double y, double cx, double cy, double hw, double hh, double r)
{
    return sd_box(x, y, cx, cy, hw - r, hh - r) - r;
}

// One letter of the word RUVO in a box of w x h with stroke half-width s,
// local coordinates (0,0) top-left.
double sd_letter(char ch, double x, double y, double w, double h, double s)
{
    switch (ch) {
    case 'R': {
        double stem = sd_box(x, y, s, h / 2, s, h / 2);
        double bh = h * 0.56;
        double bowl =
            std::fabs(sd_round_box(x, y, w / 2, bh / 2, w / 2 - s, bh / 2 - s, bh / 2 - s)) - s;
        bowl = std::max(bowl, -(x - s));  // the stem closes it
        double leg = sd_segment(x, y, w * 0.42, bh - s, w - s * 1.05, h - s) - s * 1.05;
        leg = std::max(leg, y - h);
        return std::min(std::min(stem, bowl), leg);
    }
    case 'U': {
        double ring =
            std::fabs(sd_round_box(x, y, w / 2, h / 2, w / 2 - s, h / 2 - s, w / 2 - s)) - s;
        double sides = std::min(sd_box(x, y, s, h * 0.3, s, h * 0.3),
                                sd_box(x, y, w - s, h * 0.3, s, h * 0.3));
        return std::min(std::max(ring, -(y - h * 0.5)), sides);
    }
    case 'V': {
        double a = sd_segment(x, y, s * 1.1, 0, w / 2, h - s) - s * 1.1;
        double b = sd_segment(x, y, w - s * 1.1, 0, w / 2, h - s) - s * 1.1;
        return std::max(std::min(a, b), std::max(-y, y - h));
    }
    default: {  // 'O'
        return std::fabs(sd_round_box(x, y, w / 2, h / 2, w / 2 - s, h / 2 - s, w / 2 - s * 0.6)) -
               s;
    }
    }
}

// The word RUVO, slanted, in a 520 x 170 box whose top-left is (0, 0).
double sd_word(double x, double y)
{
    const double w = 118, h = 170, gap = 16, s = 19;
    x += (y - h) * 0.16;  // italic slant
    double d = 1e9;
    const char* word = "RUVO";
    for (int i = 0; i < 4; ++i)
        d = std::min(d, sd_letter(word[i], x - i * (w + gap), y, w, h, s));
    return d;
}

// Chrome and neon rendering of the word at scale k with its box at (ox, oy);
// returns the colour and writes the coverage (0..1) into alpha.
Col word_look(double x, double y, double ox, double oy, double k, double& alpha)
{
    double lx = (x - ox) / k, ly = (y - oy) / k;
    double d = sd_word(lx, ly) * k;  // distance in picture pixels
    const double H = 170 * k;
    // Extrusion toward the lower right.
    double ext = 1e9;
    for (int i = 1; i <= 9; ++i)
        ext = std::min(ext, sd_word(lx - i * 1.1, ly - i * 1.1) * k);
    Col c{};
    alpha = 0;
    // Outer neon glow.
    double glow = std::exp(-std::max(0.0, std::min(d, ext)) / (9.0 * k + 2));
    Col glowCol = mix(rgb(1.0, 0.15, 0.75), rgb(0.2, 0.7, 1.0), clamp01((y - oy) / H));
    c = glowCol * (0.35 * glow);
    alpha = std::max(alpha, 0.35 * glow);
    // Extruded sides: deep violet, a magenta edge where they meet the face.
    double extCov = smooth(0.7, -0.7, ext);
    if (extCov > 0) {
        Col side = mix(rgb(0.62, 0.08, 0.55), rgb(0.34, 0.03, 0.30), clamp01((ly - 0) / 170));
        side = side + rgb(0.9, 0.2, 0.8) * smooth(1.6, 0.0, std::fabs(ext));
        c = over(c, side, extCov);
        alpha = std::max(alpha, extCov);
    }
    double cov = smooth(0.7, -0.7, d);
    if (cov > 0) {
        // Chrome: a night sky darkening upward above the horizon line, a
        // sunset ground glowing brighter toward the letters' feet below. The
        // first credit line is stamped over the word's top at the end: kept
        // dark there, it stands out once the picture is smeared, while the
        // bright ground keeps the word in view through the intro's smear.
        double t = clamp01(ly / 170.0);
        Col face;
        if (t < 0.52) {
            face = ramp({rgb(0.03, 0.03, 0.16), rgb(0.10, 0.16, 0.42), rgb(0.34, 0.50, 0.86),
                         rgb(0.82, 0.90, 1.0)},
                        t / 0.52);
        } else {
            double u = (t - 0.52) / 0.48;
            face = ramp({rgb(0.22, 0.02, 0.26), rgb(0.80, 0.10, 0.50), rgb(1.0, 0.42, 0.32),
                         rgb(1.0, 0.80, 0.56)},
                        u);
        }
        // Reflected streaks across the chrome.
        face = face * (0.9 + 0.1 * std::sin(lx * 0.05 + ly * 0.21));
        // Thin bright inner border.
        face = over(face, rgb(1.0, 0.85, 1.0), smooth(-1.6 * k - 0.6, -0.6, d) * 0.85);
        c = over(c, face, cov);
        alpha = std::max(alpha, cov);
    }
    return c;
}

// A four-pointed sparkle with a soft core.
Col sparkle(double x, double y, double cx, double cy, double size)
{
    double dx = std::fabs(x - cx), dy = std::fabs(y - cy);
    double rays = std::exp(-dx / (size * 0.06)) * std::exp(-dy / size) +
                  std::exp(-dy / (size * 0.06)) * std::exp(-dx / size);
    double core = std::exp(-(dx * dx + dy * dy) / (size * size * 0.02));
    return rgb(1, 0.9, 1) * (0.9 * rays + core);
}

}  // namespace

Picture paint_logo()
{
    Picture pic(640, 320);
    const double k = 0.98, ox = 74, oy = 60;
    pic.shade(3, [&](double x, double y) {
        double a;
        Col c = word_look(x, y, ox, oy, k, a);
        // The word mirrored in a glossy floor under its feet, fading with depth.
        const double floorY = oy + 172 * k + 10;
        if (y > floorY) {
            double ra;
            const Col mirrored = word_look(x, 2 * floorY - y, ox, oy, k, ra);
            c = c + mirrored * (0.95 * std::exp(-(y - floorY) / 50.0));
        }
        // Laser line under the word, brightest in the middle.
        double ly = 272.0;
        double beam =
            std::exp(-std::fabs(y - ly) / 3.0) * std::exp(-std::pow((x - 320) / 280.0, 2));
        double halo =
            std::exp(-std::fabs(y - ly) / 7.0) * std::exp(-std::pow((x - 320) / 200.0, 2)) * 0.4;
        c = c + rgb(0.3, 0.9, 1.0) * beam + rgb(0.8, 0.1, 0.7) * halo;
        // Scanline-like reflection of the word's glow on the floor line.
        c = c + sparkle(x, y, 118, 64, 80) * 1.0 + sparkle(x, y, 566, 226, 50) * 0.8;
        // A broad flare on the glint at the word's foot, kept clear of the credits'
        // lines, that the intro's smear takes longest to wear away.
        const double fd2 = (x - 570) * (x - 570) + (y - 232) * (y - 232);
        c = c + rgb(1.0, 0.80, 0.90) * (1.1 * std::exp(-fd2 / (2 * 18.0 * 18.0)));
        return c;
    });
    return pic;
}

// ---------------------------------------------------------------- title

namespace {

Col sunset_sky(double y, double horizon)
{
    double t = clamp01(y / horizon);
    return ramp({rgb8(6, 3, 26), rgb8(22, 8, 62), rgb8(70, 16, 112), rgb8(170, 30, 130),
                 rgb8(250, 90, 100), rgb8(255, 170, 110)},
                std::pow(t, 1.6));
}

// Sparse stars: one candidate per 9x9 cell.
double stars(double x, double y, uint32_t seed)
{
    int cx = static_cast<int>(std::floor(x / 9)), cy = static_cast<int>(std::floor(y / 9));
    double h = hash01(cx, cy, seed);
    if (h > 0.16)
        return 0;
    double sx = cx * 9 + 1.5 + 6 * hash01(cx, cy, seed + 1),
           sy = cy * 9 + 1.5 + 6 * hash01(cx, cy, seed + 2);
    double d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
    double b = 0.3 + 0.7 * hash01(cx, cy, seed + 3);
    return b * std::exp(-d2 / 0.35);
}

// Striped retro sun of radius R centred at (cx, cy); coverage into a.
Col retro_sun(double x, double y, double cx, double cy, double R, double& a)
{
    double d = std::hypot(x - cx, y - cy);
    double v = (y - (cy - R)) / (2 * R);  // 0 at the top, 1 at the bottom
    Col c =
        ramp({rgb8(255, 245, 150), rgb8(255, 205, 100), rgb8(255, 150, 80), rgb8(250, 70, 120)}, v);
    a = smooth(0.8, -0.8, d - R);
    // Cuts in the lower part grow thicker toward the horizon.
    double s = (y - (cy - 0.1 * R)) / (1.1 * R);
    if (s > 0) {
        double period = R * 0.16;
        double ph = std::fmod(y - (cy - 0.1 * R), period);
        double gap = period * (0.12 + 0.55 * s);
        a *= smooth(gap - 0.6, gap + 0.6, ph);
    }
    return c;
}

}  // namespace

// ---------------------------------------------------------------- palms

namespace {

// Nearest point of a quadratic Bezier (a polyline of n pieces): distance,
// curve parameter and on which side of the curve the point lies (+1 / -1).
double near_bezier(double x, double y, double ax, double ay, double bx, double by, double cx,
                   double cy, int n, double& tOut, double& side)
{
    double best = 1e9;
    tOut = 0;
    side = 1;
    double px = ax, py = ay;
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        double qx = u * u * ax + 2 * u * t * bx + t * t * cx,
               qy = u * u * ay + 2 * u * t * by + t * t * cy;
        double vx = qx - px, vy = qy - py;
        double s = clamp01(((x - px) * vx + (y - py) * vy) / (vx * vx + vy * vy));
        double d = std::hypot(x - px - vx * s, y - py - vy * s);
        if (d < best) {
            best = d;
            tOut = (i - 1 + s) / n;
            side = (vx * (y - py) - vy * (x - px)) >= 0 ? 1 : -1;
        }
        px = qx;
        py = qy;
    }
    return best;
}

// Distance to a quadratic Bezier; t receives the curve parameter of the nearest point.
double sd_bezier(double x, double y, double ax, double ay, double bx, double by, double cx,
                 double cy, int n, double& tOut)
{
    double side;
    return near_bezier(x, y, ax, ay, bx, by, cx, cy, n, tOut, side);
}

// Signed distance to one frond (negative inside): a thin midrib along the
// curve and narrow leaflets on both sides, leaning toward the tip, each
// tapering to a point; the leaflets are longest in the middle of the frond
// and short at its tip. The picture is stretched about 2.5 times wide and
// twice tall, so the leaflets are few and broad (three pixels at the base,
// eight apart) and lie close along the midrib: thin ones would turn into
// the teeth of a comb.
double frond(double x, double y, double ax, double ay, double bx, double by, double cx, double cy,
             double len, double reach, uint32_t seed)
{
    double t, side;
    double d = near_bezier(x, y, ax, ay, bx, by, cx, cy, 16, t, side);
    double rib = d - mixd(2.0, 0.8, t);
    if (d > reach + 2)
        return rib;
    // Local coordinates: s along the midrib, n away from it.
    double s = t * len, n = d;
    const double spacing = 8.0, cosA = 0.77, sinA = 0.64;
    double best = rib;
    // The leaflet through this point left the midrib about n * cot(a) behind.
    double s0 = s - n * cosA / sinA;
    int k0 = static_cast<int>(std::floor(s0 / spacing));
    for (int k = k0 - 1; k <= k0 + 1; ++k) {
        double base = (k + 0.5 * (side > 0 ? 0 : 1)) * spacing;
        double tb = base / len;
        if (tb < 0.06 || tb > 0.99)
            continue;
        double L = reach * std::sin(3.14159265 * std::pow(tb, 0.8)) *
                   (0.8 + 0.3 * hash01(k, side > 0 ? 1 : 2, seed));
        L = std::max(L, 5.0);
        // Leaflet from (base, 0) to (base + L cos a, L sin a); it bends
        // toward the tip a little along its length.
        double ex = base + L * cosA, ey = L * sinA;
        double tau = clamp01(((s - base) * (ex - base) + n * ey) / (L * L));
        double mx = base + (ex - base) * tau + 0.12 * L * tau * tau, my = ey * tau;
        double dd = std::hypot(s - mx, n - my);
        double width =
            3.0 * std::pow(1 - tau, 0.8) * std::pow(std::min(1.0, tau * 6 + 0.4), 0.5) + 0.3;
        best = std::min(best, dd - width);
    }
    return best;
}

// Signed distance to a palm silhouette (negative inside): a trunk from
// (bx, by) to the crown (cx, cy), six fronds arching out and down, and a
// knot of young leaves at the crown.
double palm(double x, double y, double bx, double by, double cx, double cy, double lean,
            double size, uint32_t seed)
{
    double t;
    double d = sd_bezier(x, y, bx, by, (bx + cx) / 2 + lean, (by + cy) / 2, cx, cy, 24, t);
    double best = d - size * (0.065 - 0.03 * t);
    // Quick reject: beyond the reach of every frond.
    if (std::hypot(x - cx, y - cy) > size * 1.75 && best > 0)
        return best;
    for (int f = 0; f < 6; ++f) {
        // Two fronds arch up either side of the top, two reach out, two droop;
        // none goes straight up, whose arch would fold back on itself.
        double ang = -kPi / 2 + (f - 2.5) * 0.52 + 0.16 * (hash01(f, 0, seed) - 0.5);
        double L = size * (0.8 + 0.35 * hash01(f, 1, seed));
        double ex = cx + std::cos(ang) * L * 1.1, ey = cy + std::sin(ang) * L * 0.5 + L * 0.6;
        double hx = cx + std::cos(ang) * L * 0.7, hy = cy + std::sin(ang) * L * 0.7 - L * 0.1;
        best = std::min(best,
                        frond(x, y, cx, cy, hx, hy, ex, ey, L * 1.2, size * 0.17, seed + 7u * f));
    }
    return std::min(best, std::hypot(x - cx, y - cy) - size * 0.06);
}

}  // namespace

Picture paint_tolmo()
{
    // Night beach: a big pink moon low over the sea, its light lying on the
    // water in broad horizontal bands that the show's ripple turns into
    // waves, palms leaning in from both sides. The show stretches the
    // picture about 2.5 times wide and twice tall, so round things are
    // painted 0.8 times as wide as they are tall.
    Picture pic(320, 404);
    const double horizon = 214, moonX = 214, moonY = 124, moonR = 50, squeeze = 0.8;
    pic.shade(3, [&](double x, double y) {
        Col c;
        if (y < horizon) {
            double t = y / horizon;
            c = ramp({rgb8(5, 4, 28), rgb8(20, 10, 66), rgb8(64, 20, 110), rgb8(150, 40, 140),
                      rgb8(240, 100, 140)},
                     std::pow(t, 1.4));
            c = c + rgb(1, 0.9, 1) * (stars(x * 1.6, y * 2, 61u) * (1 - smooth(40, 130, y)));
            double mx = (x - moonX) / squeeze, my = y - moonY;
            double dm = std::hypot(mx, my);
            c = c + rgb(0.9, 0.35, 0.6) * (0.5 * std::exp(-std::max(0.0, dm - moonR) / 30.0));
            // Moon: a few broad maria and craters lit from the upper left,
            // each a bowl whose wall toward the light lies in shadow while
            // the far wall and the raised lip toward the light catch it.
            double maria = fbm(mx / 30.0 + 3, my / 30.0 + 3, 62u, 2);
            Col moon = mix(rgb(1.0, 0.86, 0.90), rgb(0.93, 0.62, 0.80), smooth(0.52, 0.62, maria));
            struct Crater {
                double x, y, r;
            };
            const Crater craters[] = {
                {-18, -20, 10}, {17, 10, 13}, {-24, 20, 7}, {8, -30, 6}, {-2, 32, 5}};
            const double lx = -0.7, ly = -0.7;  // toward the light
            for (const Crater& k : craters) {
                double u = (mx - k.x) / k.r, v = (my - k.y) / k.r;
                double dk = std::hypot(u, v);
                if (dk > 1.35)
                    continue;
                double q = u * lx + v * ly;  // toward the light, -1..1 across the crater
                if (dk < 1.0) {
                    double wall = smooth(0.45, 1.0, dk);
                    moon = moon * (0.92 - 0.26 * smooth(-0.1, 0.7, q) * (0.3 + 0.7 * wall) +
                                   0.10 * smooth(0.1, -0.7, q) * wall);
                } else {
                    double lip = smooth(1.35, 1.05, dk);
                    moon = moon *
                           (1 + lip * (0.14 * smooth(-0.2, 0.6, q) - 0.10 * smooth(0.2, -0.6, q)));
                }
            }
            moon = moon * (0.78 + 0.22 * clamp01(1 - (my + moonR) / (2 * moonR)));
            c = over(c, moon, smooth(0.8, -0.8, dm - moonR));
            // Long thin bands of cloud with feathered edges, thin and wispy
            // where they cross the moon (streaked along their length, so a
            // stretch draws them out instead of into a slab), lit pink along
            // their lower edge near it.
            double dens = fbm(x / 110.0, y / 9.0, 63u, 2);
            double wisp = 0.45 + 0.55 * smooth(0.3, 0.7, fbm(x / 38.0, y / 2.2, 66u, 2));
            double cl = smooth(0.46, 0.72, dens) * wisp * smooth(70, 100, y) * smooth(205, 175, y);
            if (cl > 0) {
                double nearMoon = std::exp(-std::max(0.0, dm - moonR) / 40.0);
                double litSide = smooth(0.64, 0.52, fbm(x / 110.0, (y + 2.0) / 9.0, 63u, 2));
                Col cloud = mix(rgb8(46, 16, 78), rgb8(120, 40, 120), 0.4 * t);
                cloud = cloud + rgb8(250, 130, 180) * (0.55 * nearMoon * litSide);
                c = over(c, cloud, cl * (0.85 - 0.6 * smooth(moonR + 10, moonR - 10, dm)));
            }
            // Far headland on the left.
            double land = horizon - 20 * smooth(150, 20, x) -
                          6 * fbm(x / 30.0, 1, 64u, 2) * smooth(160, 60, x);
            c = over(c, rgb8(24, 6, 40), smooth(land, land + 0.8, y));
        } else if (y < 330) {
            // Sea: dark water in broad horizontal bands of light. Nearer
            // bands are taller and further apart.
            double dy = y - horizon;
            Col water = mix(rgb8(70, 24, 110), rgb8(12, 6, 42), smooth(0, 100, dy));
            double z = std::sqrt(dy + 4.0) * 3.2;  // band index grows slowly toward the viewer
            double band = z - std::floor(z);
            int row = static_cast<int>(std::floor(z));
            double lit = smooth(0.2, 0.35, band) * smooth(0.75, 0.6, band);
            // Moon path: the bands are long near the moon's column, broken further out.
            double half = moonR * squeeze * (0.5 + dy / 80.0) * (0.6 + 0.8 * hash01(row, 0, 65u));
            double off = (hash01(row, 1, 65u) - 0.5) * 30.0;
            double path = smooth(half + 6, half - 6, std::fabs(x - moonX - off));
            double side = 0.25 * smooth(0.55, 0.7, vnoise(x / 50.0, row, 66u));
            water = water + rgb(1.0, 0.62, 0.85) * (lit * path * 0.95) +
                    rgb(0.3, 0.8, 1.0) * (lit * side);
            c = water;
        } else {
            // Beach: a bold surf line, wet sand mirroring the sky, dry sand.
            double dy = y - 330;
            double surf = 4 * std::sin(x / 30.0) + 3 * fbm(x / 40.0, 2, 66u, 2);
            double foam = smooth(3.0, 1.0, std::fabs(dy - 7 - surf));
            Col sand = mix(rgb8(80, 34, 96), rgb8(36, 14, 54), smooth(10, 74, dy));
            Col wet = mix(rgb8(160, 66, 140), sand, smooth(10, 26, dy - surf));
            c = over(wet, rgb(0.85, 0.95, 1.0), 0.85 * foam);
        }
        // Palms in front of everything, with a pink rim toward the moon.
        double p = std::min(palm(x, y, 30, 410, 70, 118, 30, 124, 71u),
                            palm(x, y, 298, 410, 262, 196, -18, 90, 72u));
        double cov = smooth(0.7, -0.7, p);
        if (cov > 0) {
            double q = std::min(palm(x + 2.5, y - 1.5, 30, 410, 70, 118, 30, 124, 71u),
                                palm(x + 2.5, y - 1.5, 298, 410, 262, 196, -18, 90, 72u));
            Col silhouette = rgb8(10, 4, 22);
            silhouette = silhouette + rgb(0.9, 0.35, 0.7) * (0.8 * smooth(-0.5, 0.8, q));
            c = over(c, silhouette, cov);
        }
        return c;
    });
    return pic;
}

// ---------------------------------------------------------------- ilta

namespace {

enum Roof { kFlat, kSteps, kSpire, kAntenna, kSlant };
// How a tower's lit windows are laid out.
enum Windows { kGrid, kRibbons, kStrips, kScatter };

struct Tower {
    double left, width, height;  // height above the waterline
    Roof roof;
    bool back;              // in the hazy back row
    double litFrom, litTo;  // lit floors, as fractions of the height from the top
    int sign;               // 0 none, 1 pink, 2 cyan: a neon sign on the face
    Windows windows;
    double pitchX, pitchY;  // window pitch across and up, pixels
};

const double kIltaW = 180;
// Height of the harbour's waterline in the city card.
const double kIltaWater = 182;

// The skyline, back row first. The picture is shown as two copies side by
// side, so the skyline runs on across its right edge into its left one:
// towers reaching past x = 180 come back in at x = 0.
const Tower kTowers[] = {
    {-6, 30, 92, kSteps, true, 0.1, 0.45, 0, kGrid, 3, 4},
    {22, 22, 118, kAntenna, true, 0.2, 0.5, 0, kStrips, 4, 3},
    {58, 26, 104, kSlant, true, 0.35, 0.7, 0, kRibbons, 3, 5},
    {98, 20, 132, kSpire, true, 0.1, 0.3, 0, kGrid, 4, 4},
    {134, 30, 86, kSteps, true, 0.5, 0.8, 0, kScatter, 3, 3},
    {156, 22, 112, kAntenna, true, 0.15, 0.4, 0, kRibbons, 3, 4},
    {-8, 22, 66, kFlat, false, 0.2, 0.6, 1, kScatter, 3, 4},
    {16, 18, 84, kSlant, false, 0.45, 0.85, 0, kGrid, 3, 3},
    {38, 26, 144, kSpire, false, 0.12, 0.42, 2, kStrips, 5, 4},
    {68, 22, 70, kFlat, false, 0.3, 0.5, 1, kRibbons, 3, 4},
    {92, 28, 100, kSteps, false, 0.55, 0.9, 0, kGrid, 4, 5},
    {122, 20, 124, kAntenna, false, 0.2, 0.55, 2, kScatter, 3, 4},
    {144, 28, 58, kFlat, false, 0.25, 0.75, 0, kGrid, 3, 3},
    {168, 18, 96, kSlant, false, 0.3, 0.8, 1, kStrips, 4, 4},
};

// Whether (x, y) is inside the tower, with its roof shape; x is taken
// round the picture's width, so a tower crossing an edge shows at both.
bool in_tower(const Tower& t, double x, double y, double base)
{
    if (x < t.left)
        x += kIltaW;
    if (x >= t.left + kIltaW)
        x -= kIltaW;
    double top = base - t.height, cx = t.left + t.width / 2;
    if (x < t.left || x >= t.left + t.width || y >= base)
        return false;
    switch (t.roof) {
    case kSteps: {
        // Two setbacks toward the top.
        double inset = std::fabs(x - cx) / (t.width / 2);
        if (inset > 0.7 && y < top + 22)
            return false;
        if (inset > 0.4 && y < top + 10)
            return false;
        return y >= top;
    }
    case kSpire: {
        // A needle rises from the tip, carrying the red light.
        if (std::fabs(x - cx) < 1.0 && y > top - 26)
            return true;
        double taper = std::fabs(x - cx) / (t.width / 2);
        return y >= top + 14 * taper;
    }
    case kAntenna:
        if (std::fabs(x - cx) < 1.0 && y >= top - 20)
            return true;
        return y >= top;
    case kSlant:
        return y >= top + (x - t.left) / t.width * 16;
    default:
        return y >= top;
    }
}

// x of the tower's frame for a point x of the picture (see in_tower).
double tower_x(const Tower& t, double x)
{
    if (x < t.left)
        x += kIltaW;
    if (x >= t.left + kIltaW)
        x -= kIltaW;
    return x;
}

// Whether the point (u across, v down from the tower's top, in pixels) is a
// lit window, by the tower's layout.
bool lit_window(const Tower& t, double u, double v, double f)
{
    double wx = std::fmod(u, t.pitchX), wy = std::fmod(v, t.pitchY);
    int col = static_cast<int>(u / t.pitchX), row = static_cast<int>(v / t.pitchY);
    bool inBand = f > t.litFrom && f < t.litTo;
    switch (t.windows) {
    case kGrid:
        return inBand && wy > 1.0 && wy < t.pitchY - 1.0 && wx > 0.6 && wx < t.pitchX - 0.4;
    case kRibbons:
        // Whole floors lit behind a continuous band of glass.
        return inBand && wy > 1.2 && wy < t.pitchY - 1.2 &&
               hash01(row, static_cast<int>(t.left), 85u) < 0.75;
    case kStrips:
        // Tall slots running up the face, some floors dark.
        return inBand && wx > 1.0 && wx < t.pitchX - 1.0 && wy > 0.5 &&
               hash01(col, row, static_cast<uint32_t>(t.left) + 86u) < 0.8;
    default:
        // Single windows lit here and there over the whole face.
        return f > 0.08 && wy > 1.0 && wy < t.pitchY - 0.8 && wx > 0.8 && wx < t.pitchX - 0.6 &&
               hash01(col, row, static_cast<uint32_t>(t.left) + 87u) < 0.3;
    }
}

}  // namespace

Picture paint_ilta()
{
    // City evening: a dusk sky over a skyline of towers with steps, spires
    // and antennas, windows lit in several layouts and a few neon signs,
    // mirrored in the harbour, between neon tubes at the top and the bottom.
    // The show sets two copies side by side as the faces of a turning box,
    // so everything runs on across the left and right edges.
    Picture pic(180, 240);
    const double water = kIltaWater;
    auto scene = [&](double x, double y) {
        double t = y / water;
        Col c = ramp({rgb8(10, 8, 44), rgb8(40, 20, 92), rgb8(120, 40, 130), rgb8(230, 100, 120),
                      rgb8(255, 170, 110)},
                     std::pow(t, 1.5));
        // Long pink clouds, tiling across the width.
        double cl = smooth(0.55, 0.78, fbm(x / 90.0, y / 6.0, 82u, 4, 2)) * smooth(40, 80, y) *
                    smooth(150, 110, y);
        c = over(c, mix(rgb(0.95, 0.45, 0.6), rgb(0.5, 0.2, 0.5), smooth(60, 140, y)), cl * 0.7);
        // Stars: 26 cells of 9 across the width, none crossing the edge.
        c = c + rgb(1, 0.9, 1) * (stars(x * 1.3, y * 1.3, 83u) * (1 - smooth(20, 90, y)));
        for (const Tower& tw : kTowers) {
            if (!in_tower(tw, x, y, water))
                continue;
            double tx = tower_x(tw, x);
            double top = water - tw.height;
            Col b = tw.back ? rgb8(54, 26, 92) : rgb8(16, 8, 34);
            // Masts and needles catch the afterglow.
            if (y < top && tw.roof != kSlant)
                b = rgb8(110, 60, 130);
            double f = (y - top) / tw.height;
            // The faces pick up the sky's glow toward the top; rim light
            // runs down both edges, pink afterglow on the left, the cyan
            // of the harbour lights on the right, so no tower is a flat
            // black cut-out.
            b = b * (1.35 - 0.5 * clamp01(f));
            double rimL = smooth(2.2, 0.3, tx - tw.left),
                   rimR = smooth(2.2, 0.3, tw.left + tw.width - tx);
            b = b +
                rgb(0.95, 0.35, 0.60) * ((tw.back ? 0.22 : 0.45) * rimL * (1 - 0.6 * clamp01(f)));
            b = b +
                rgb(0.30, 0.85, 1.00) * ((tw.back ? 0.15 : 0.35) * rimR * (0.4 + 0.6 * clamp01(f)));
            double u = tx - tw.left, v = y - top;
            if (u > 1.5 && u < tw.width - 1.5 && v > 0 && lit_window(tw, u, v, f)) {
                double h = hash01(static_cast<int>(v / tw.pitchY), static_cast<int>(tw.left), 84u);
                Col lamp = h < 0.6 ? rgb(1.0, 0.82, 0.50)
                                   : (h < 0.85 ? rgb(0.45, 0.9, 1.0) : rgb(1.0, 0.5, 0.8));
                b = lamp * (tw.back ? 0.6 : 0.95);
            }
            // A neon sign: a bright block with a dark letter band.
            if (tw.sign) {
                double sx = tw.left + tw.width / 2, sy = water - 18;
                double e = std::max(std::fabs(tx - sx) - tw.width * 0.35, std::fabs(y - sy) - 5);
                if (e < 0) {
                    Col neon = tw.sign == 1 ? rgb(1.0, 0.3, 0.75) : rgb(0.3, 1.0, 1.0);
                    b = (std::fabs(y - sy) < 1.5 && std::fmod(tx, 3.0) < 1.5) ? neon * 0.35 : neon;
                }
            }
            c = b;
        }
        // Red lights on the antennas and spires.
        for (const Tower& tw : kTowers) {
            if (tw.roof != kAntenna && tw.roof != kSpire)
                continue;
            double ly = water - tw.height - (tw.roof == kAntenna ? 20 : 26);
            double lx = tw.left + tw.width / 2;
            double dx = std::fabs(x - lx);
            dx = std::min(dx, kIltaW - dx);
            double dl = std::hypot(dx, y - ly);
            c = c + rgb(1.0, 0.2, 0.3) * (0.9 * std::exp(-dl * dl / 2.5));
        }
        return c;
    };
    pic.shade(3, [&](double x, double y) {
        Col c;
        if (y < water) {
            c = scene(x, y);
        } else {
            // Harbour: the scene mirrored, broken into ripples and darkened.
            double dy = y - water;
            double rip = 3.0 * (fbm(x / 36.0, dy / 2.0, 86u, 3, 5) - 0.5) * (1 + dy / 30.0);
            double rx = std::fmod(x + rip + kIltaW, kIltaW);
            Col r = scene(rx, water - dy * 1.1 - 0.5);
            c = r * (0.55 - 0.25 * smooth(0, 60, dy)) + rgb8(8, 4, 30);
            double line = smooth(0.58, 0.72, vnoise(x / 22.5, dy / 1.2, 87u, 8));
            c = c + rgb(0.5, 0.3, 0.6) * (0.25 * line);
        }
        // Neon tubes along the top and the bottom: a dark outer pixel, a
        // three-pixel tube, pink at the top and cyan at the bottom, a thin
        // glow inside. The sides stay open, so two copies meet without a border.
        double e = std::min(y, 240.0 - y);
        Col tube = y < 120 ? rgb(1.0, 0.30, 0.75) : rgb(0.25, 0.95, 1.0);
        c = c + tube * (0.5 * std::exp(-std::max(0.0, e - 4.0) / 3.0));
        if (e < 4.0)
            c = e < 1.0 ? rgb8(20, 6, 40)
                        : mix(tube, rgb(1, 1, 1), 0.45 * smooth(1.2, 0.2, std::fabs(e - 2.5)));
        // Light falls across the card from its right: where two copies meet
        // on the turning box, the bright right edge of one against the dim
        // left edge of the next shows the fold while the skyline runs on.
        c = c * (0.70 + 0.42 * smooth(0, 180, x));
        return c;
    });
    return pic;
}

Picture paint_title()
{
    Picture pic(640, 480);
    // The sun and the city stand right of the staircase, which covers the middle of the
    // picture from row 110 down and bobs with it: they stay in view all the way.
    const double horizon = 292, sunX = 528, sunY = 226, sunR = 100;
    pic.shade(3, [&](double x, double y) {
        Col c;
        if (y < horizon) {
            c = sunset_sky(y, horizon);
            c = c + rgb(1, 0.9, 1) * (stars(x, y, 51u) * (1 - smooth(80, 230, y)));
            // Thin lit cloud bands.
            double band = fbm(x / 160.0, y / 9.0, 52u, 4);
            double cloud = smooth(0.55, 0.75, band) * smooth(120, 170, y) * smooth(260, 200, y);
            c = over(c, rgb(0.45, 0.12, 0.45), cloud * 0.7);
            // Sun glow, then the sun.
            double ds = std::hypot(x - sunX, y - sunY);
            c = c + rgb(0.9, 0.25, 0.45) * (0.55 * std::exp(-std::max(0.0, ds - sunR) / 55.0));
            double a;
            Col sun = retro_sun(x, y, sunX, sunY, sunR, a);
            c = over(c, sun, a * (1 - cloud * 0.6));
            // Mountains: a far violet range and a near dark one, both with lit ridges.
            double side = smooth(70, 250, std::fabs(x - sunX));
            double far = horizon - (12 + 70 * fbm(x / 120.0, 3.0, 53u, 5)) * (0.25 + 0.75 * side);
            double nearR = horizon - (4 + 60 * std::pow(fbm(x / 80.0, 7.0, 54u, 5), 1.6)) * side;
            if (y > far) {
                Col m = mix(rgb(0.28, 0.08, 0.40), rgb(0.45, 0.12, 0.45),
                            (y - far) / (horizon - far + 1));
                m = m + rgb(1.0, 0.35, 0.8) * smooth(1.5, 0.0, y - far);
                c = over(c, m, smooth(far, far + 0.8, y));
            }
            // The city of the evening scene on the horizon, smaller and
            // against the sun: its towers as dark silhouettes with a hot rim
            // where the sun's light catches their tops and left edges, a few
            // windows lit. It runs on across the whole width as the city
            // card does round its edges, fading out toward the sides.
            const double k = 0.55;
            double cityFade = smooth(300, 200, std::fabs(x - sunX));
            if (cityFade > 0) {
                // Each copy of the card is mirrored or not and stands a
                // little taller or lower, so the repeats do not show.
                double run = (x - sunX) / k + 90.0 + 1800.0;
                int copy = static_cast<int>(std::floor(run / kIltaW));
                double tx = std::fmod(run, kIltaW);
                if (hash01(copy, 0, 59u) < 0.5)
                    tx = kIltaW - tx;
                double ty = kIltaWater - (horizon - y) / (k * (0.75 + 0.45 * hash01(copy, 1, 59u)));
                auto solid = [&](double ux, double uy, bool* back) {
                    bool any = false;
                    for (const Tower& tw : kTowers)
                        if (in_tower(tw, ux, uy, kIltaWater)) {
                            any = true;
                            if (back)
                                *back = tw.back;
                        }
                    return any;
                };
                bool back = false;
                if (solid(tx, ty, &back)) {
                    Col m = back ? rgb8(70, 20, 90) : rgb8(24, 6, 42);
                    // Rim: the silhouette's edge toward the sun, above and to the left.
                    bool edge = !solid(tx, ty - 2.2, nullptr) ||
                                !solid(tx - 2.2 * (x < sunX ? -1 : 1), ty, nullptr);
                    if (edge)
                        m = m + rgb(1.0, 0.45, 0.55) * (back ? 0.35 : 0.6);
                    // Sparse lit windows.
                    int wx = static_cast<int>(std::floor(tx / 3.0)),
                        wy = static_cast<int>(std::floor(ty / 4.0));
                    if (!back && std::fmod(tx, 3.0) > 1.2 && std::fmod(ty, 4.0) > 1.5 &&
                        hash01(wx, wy, 58u) < 0.12)
                        m = rgb(1.0, 0.8, 0.5) * 0.8;
                    c = over(c, m, cityFade);
                }
            }
            if (y > nearR) {
                Col m = mix(rgb(0.08, 0.02, 0.16), rgb(0.14, 0.04, 0.24),
                            (y - nearR) / (horizon - nearR + 1));
                // Wireframe contours across the near range.
                double contour = std::fabs(std::fmod(y - horizon + 400, 7.0) - 3.5);
                m = m + rgb(0.2, 0.6, 0.9) * (0.25 * smooth(0.8, 0.0, contour));
                m = m + rgb(0.3, 0.95, 1.0) * smooth(1.6, 0.0, y - nearR);
                c = over(c, m, smooth(nearR, nearR + 0.8, y));
            }
        } else {
            // Floor: a neon grid running to the horizon.
            double dy = y - horizon;
            Col base = mix(rgb8(40, 6, 60), rgb8(14, 2, 34), smooth(0, 180, dy));
            double X = (x - 320) / (dy + 0.6) * 36.0;  // ground units across
            double Z = 2200.0 / (dy + 0.6);
            double dXdx = 36.0 / (dy + 0.6);
            double dZdy = 2200.0 / ((dy + 0.6) * (dy + 0.6));
            double fx = std::fabs(X / 14.0 - std::floor(X / 14.0 + 0.5)) * 14.0 / dXdx;
            double fz = std::fabs(Z / 12.0 - std::floor(Z / 12.0 + 0.5)) * 12.0 / dZdy;
            double line = std::max(smooth(1.3, 0.2, fx), smooth(1.3, 0.2, fz));
            double lineGlow = std::max(std::exp(-fx / 3.0), std::exp(-fz / 3.0)) * 0.35;
            double fade = smooth(0, 70, dy);
            Col grid = mix(rgb(1.0, 0.20, 0.80), rgb(0.35, 0.80, 1.0), smooth(20, 190, dy));
            c = base + grid * ((line * 0.9 + lineGlow) * (0.35 + 0.65 * fade));
            // Sun reflection broken into ripples.
            double rx = std::fabs(x - sunX) / (sunR * (0.7 + dy / 300.0));
            double rip = 0.5 + 0.5 * std::sin(dy * 0.9 + 6 * fbm(x / 30.0, dy / 4.0, 55u, 2));
            double refl = smooth(1.0, 0.2, rx) * std::exp(-dy / 110.0) * rip;
            c = c + rgb(1.0, 0.45, 0.35) * (0.55 * refl);
            // Horizon haze.
            c = c + rgb(1.0, 0.4, 0.6) * (0.6 * std::exp(-dy / 10.0));
        }
        // A hot line at the horizon itself.
        c = c + rgb(1.0, 0.7, 0.9) * (0.7 * std::exp(-std::fabs(y - horizon) / 1.3));
        return c;
    });
    return pic;
}

}  // namespace artgen
