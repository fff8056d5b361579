// The afro picture: a head in profile with a big afro, lit in blue and cyan
// so that it reads on the black and grey of the fractal it is drawn over.
#include <algorithm>
#include <cmath>
#include <vector>

#include "pictures.h"

namespace artgen {

namespace {

const double kPi = 3.14159265358979323846;

struct P2 {
    double x, y;
};

// Closed Catmull-Rom curve through the points, as a polygon of n pieces per span.
std::vector<P2> closed_curve(const std::vector<P2>& k, int n) {
    std::vector<P2> out;
    const size_t m = k.size();
    for (size_t i = 0; i < m; ++i) {
        const P2 &p0 = k[(i + m - 1) % m], &p1 = k[i], &p2 = k[(i + 1) % m], &p3 = k[(i + 2) % m];
        for (int s = 0; s < n; ++s) {
            double u = static_cast<double>(s) / n, u2 = u * u, u3 = u2 * u;
            auto cr = [&](double a, double b, double c, double d) {
                return 0.5 * (2 * b + (-a + c) * u + (2 * a - 5 * b + 4 * c - d) * u2 + (-a + 3 * b - 3 * c + d) * u3);
            };
            out.push_back({cr(p0.x, p1.x, p2.x, p3.x), cr(p0.y, p1.y, p2.y, p3.y)});
        }
    }
    return out;
}

bool in_polygon(const std::vector<P2>& poly, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const P2 &a = poly[i], &b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

// Head, neck and shoulders facing right, without the hair.
const std::vector<P2> kBody = {
    {-30, 520}, {-30, 412}, {20, 396}, {66, 384}, {96, 368}, {112, 340}, {126, 306}, {136, 280},
    {140, 200}, {168, 150}, {200, 156}, {214, 178}, {219, 196}, {214, 208}, {216, 216}, {228, 229},
    {244, 244}, {245, 251}, {234, 255}, {229, 259}, {235, 265}, {231, 271}, {234, 277}, {226, 285},
    {221, 291}, {228, 303}, {226, 313}, {212, 321}, {194, 323}, {182, 330}, {186, 350}, {190, 370},
    {204, 384}, {244, 394}, {290, 420}, {300, 520}};

enum Region { kBack = 0, kSkinArea = 1, kHairArea = 2 };

// The afro: a bumpy cloud of puffs, kept off the face by the hairline.
bool in_hair(double x, double y) {
    double ax = (x - 126) / 114.0, ay = (y - 160) / 112.0;
    double r = std::sqrt(ax * ax + ay * ay);
    double a01 = (std::atan2(ay, ax) + kPi) / (2 * kPi);
    double bump = 0.05 * (vnoise(a01 * 7.0, 0.5, 31u, 7) - 0.5) * 2 + 0.03 * std::sqrt(std::fabs(std::sin(a01 * kPi * 19.0)));
    if (r >= 0.97 + bump) return false;
    // Hairline: over the forehead, down the temple to a short sideburn in
    // front of the ear, then back behind the jaw to the nape.
    double front;
    if (y < 168) front = 1e9;
    else if (y < 186) front = mixd(232, 200, smooth(168, 186, y));
    else if (y < 236) front = mixd(200, 186, smooth(186, 236, y));
    else front = mixd(186, 132, smooth(236, 292, y));
    if (x > front) return false;
    // The ear stays free.
    double ex = (x - 164) / 13.0, ey = (y - 250) / 22.0;
    return ex * ex + ey * ey > 1;
}

// Brightness of the curls at a point: a jittered grid of round puffs, each
// lit from the upper right, so the hair reads as tight curls.
double curl(double x, double y) {
    const double cell = 7.5;
    int cx = static_cast<int>(std::floor(x / cell)), cy = static_cast<int>(std::floor(y / cell));
    double best = 1e9, bx = 0, by = 0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            double sx = (cx + i + 0.2 + 0.6 * hash01(cx + i, cy + j, 43u)) * cell;
            double sy = (cy + j + 0.2 + 0.6 * hash01(cx + i, cy + j, 44u)) * cell;
            double rad = cell * (0.55 + 0.45 * hash01(cx + i, cy + j, 45u));
            double dd = std::hypot(x - sx, y - sy) / rad;
            if (dd < best) {
                best = dd;
                bx = (x - sx) / rad;
                by = (y - sy) / rad;
            }
        }
    double dome = std::sqrt(std::max(0.0, 1 - best * best));
    double lit = clamp01(0.5 + 0.6 * (bx * 0.7 - by * 0.7) + 0.3 * dome);
    double shade = 0.7 + 0.6 * fbm(x / 40.0, y / 40.0, 46u, 2);
    return clamp01((0.15 + 0.85 * lit * smooth(1.05, 0.55, best)) * shade);
}

}  // namespace

Picture paint_afro() {
    // The show keys the picture on red: every figure pixel keeps red far
    // below the threshold (so the encoder's error stays inside it), the
    // background is plain white and the edge is hard (one sample per pixel).
    const int W = 270, H = 480;
    Picture pic(W, H);
    const std::vector<P2> body = closed_curve(kBody, 12);
    std::vector<int> region(static_cast<size_t>(W) * H, kBack);
    auto reg = [&](int x, int y) {
        // Beyond the picture's edges the figure goes on.
        x = std::min(std::max(x, 0), W - 1);
        y = std::min(std::max(y, 0), H - 1);
        return region[static_cast<size_t>(y) * W + x];
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double px = x + 0.5, py = y + 0.5;
            int r = kBack;
            if (in_hair(px, py)) r = kHairArea;
            else if (in_polygon(body, px, py)) r = kSkinArea;
            region[static_cast<size_t>(y) * W + x] = r;
        }
    // Light comes from the front and above; rims face it.
    const double lx = 0.80, ly = -0.60;
    const int R = 14;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int r = reg(x, y);
            if (r == kBack) {
                pic.at(x, y) = rgb(1, 1, 1);
                continue;
            }
            // Nearest background (d, with the direction toward it) and, for
            // hair, the nearest skin (the hairline).
            double d = R + 1, ox = 0, oy = 0, dSkin = R + 1;
            for (int j = -R; j <= R; ++j)
                for (int i = -R; i <= R; ++i) {
                    int q = reg(x + i, y + j);
                    double dd = std::sqrt(static_cast<double>(i * i + j * j));
                    if (q == kBack && dd < d) {
                        d = dd;
                        ox = i / dd;
                        oy = j / dd;
                    }
                    if (r == kHairArea && q == kSkinArea && dd < dSkin) dSkin = dd;
                }
            double px = x + 0.5, py = y + 0.5;
            double facing = std::max(0.0, ox * lx + oy * ly);
            Col c;
            if (r == kHairArea) {
                // Teal on top and in front, blue behind and below; the mass is
                // shaded as one round volume lit from the upper right, with
                // the curls on it.
                double t = clamp01(0.5 + ((px - 126) * 0.55 - (py - 160) * 0.85) / 200.0);
                Col base = ramp({rgb8(0, 20, 96), rgb8(0, 60, 150), rgb8(0, 150, 160)}, t);
                double ax = (px - 126) / 114.0, ay = (py - 160) / 112.0;
                double az = std::sqrt(std::max(0.0, 1 - ax * ax - ay * ay));
                double vol = 0.45 + 0.75 * std::max(0.0, ax * 0.55 - ay * 0.55 + az * 0.6);
                c = base * (vol * (0.3 + 0.8 * curl(px, py)));
                // Glow toward the lit edge, and a dark seam where hair meets skin.
                c = c + rgb8(0, 150, 190) * (facing * std::exp(-std::max(0.0, d - 3) / 7.0) * 0.6);
                c = c * (0.45 + 0.55 * smooth(0.5, 3.5, dSkin));
            } else {
                // Skin: deep blue, lighter toward the lit profile.
                double t = smooth(420, 180, py);
                c = mix(rgb8(0, 10, 36), rgb8(0, 22, 72), t);
                c = c + rgb8(0, 70, 150) * (facing * std::exp(-std::max(0.0, d - 3) / 12.0));
                // Jaw: the face above the line from the ear to the chin is lit,
                // the neck below it falls into shadow.
                double jaw = ((py - 272) * (212 - 166) - (px - 166) * (321 - 272)) / 67.2;
                c = c * (1 - 0.5 * smooth(-2, 10, jaw) * smooth(110, 150, px));
                // Ear: lit shell with a dark inner curve.
                double ex = (px - 164) / 12.0, ey = (py - 250) / 21.0, er = std::sqrt(ex * ex + ey * ey);
                if (er < 1.05) {
                    double inner = std::hypot((px - 167) / 6.0, (py - 247) / 11.0);
                    c = mix(c, rgb8(0, 50, 120), smooth(1.05, 0.9, er));
                    c = mix(c, rgb8(0, 12, 40), smooth(1.0, 0.7, inner) * 0.9);
                }
                // Eye: a lash line with a glint, set back under the brow.
                double ed = std::hypot((px - 207) / 6.0, (py - 209) / 2.2);
                c = mix(c, rgb8(0, 8, 24), smooth(1.0, 0.6, ed));
                c = c + rgb8(0, 200, 255) * (0.8 * std::exp(-std::pow(std::hypot(px - 210, py - 207), 2) / 1.5));
                // Lips catch a little violet-blue.
                double lip = smooth(12, 2, std::hypot((px - 228) / 1.2, py - 271));
                c = c + rgb8(10, 30, 110) * (0.6 * lip);
            }
            // Rim light, 3 px wide: cyan where it faces the light, blue behind.
            // The outermost pixel stays darker: next to the white background a
            // bright pixel would pick up red from the encoder.
            if (d <= 4.0) {
                Col rim = mix(rgb8(0, 60, 170), rgb8(0, 225, 255), smooth(0.05, 0.6, facing));
                c = mix(c, rim * (d < 1.5 ? 0.3 : 1.0), d <= 3.0 ? 1.0 : 0.5);
            }
            // Keep red well inside the key, none at all near the edge.
            c.r = d <= 4.0 ? 0.0 : std::min(c.r, 12.0 / 255.0);
            pic.at(x, y) = c;
        }
    return pic;
}

}  // namespace artgen
