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
    {204, 384}, {230, 391}, {246, 402}, {253, 422}, {252, 456}, {246, 500}, {240, 520}};

enum Region { kBack = 0, kSkinArea = 1, kHairArea = 2 };

// Signed distance in pixels to the afro's outer edge (negative inside); the
// hairline in front cuts it, so the face stays free.
double sd_hair(double x, double y) {
    double ax = (x - 126) / 114.0, ay = (y - 160) / 112.0;
    double r = std::sqrt(ax * ax + ay * ay);
    double a01 = (std::atan2(ay, ax) + kPi) / (2 * kPi);
    double bump = 0.05 * (vnoise(a01 * 7.0, 0.5, 31u, 7) - 0.5) * 2 + 0.03 * std::sqrt(std::fabs(std::sin(a01 * kPi * 19.0)));
    double cloud = (r - (0.97 + bump)) * 113.0;
    // Hairline: over the forehead, down the temple to a short sideburn in
    // front of the ear, then back behind the jaw to the nape.
    double front;
    if (y < 168) front = 1e9;
    else if (y < 186) front = mixd(232, 200, smooth(168, 186, y));
    else if (y < 236) front = mixd(200, 186, smooth(186, 236, y));
    else front = mixd(186, 132, smooth(236, 292, y));
    return std::max(cloud, x - front);
}

// The ear, left free of hair: broad at the top, narrowing to the lobe,
// tilted back at the top. 1 on its outline.
double ear_field(double x, double y) {
    double u = x - 164 + 0.18 * (y - 250), v = y - 251;
    double rx = mixd(12.5, 7.0, smooth(-4, 20, v));
    return std::hypot(u / rx, v / 21.5);
}

bool in_hair(double x, double y) { return sd_hair(x, y) < 0 && ear_field(x, y) > 1; }

// Signed distance to the polygon (negative inside).
double sd_polygon(const std::vector<P2>& poly, double x, double y) {
    double best = 1e9;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
        best = std::min(best, sd_segment(x, y, poly[j].x, poly[j].y, poly[i].x, poly[i].y));
    return in_polygon(poly, x, y) ? -best : best;
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
    // The shading inside follows the outline's exact distance, so rims run
    // smoothly along it instead of stepping with the pixels.
    const int W = 270, H = 480;
    Picture pic(W, H);
    const std::vector<P2> body = closed_curve(kBody, 12);
    // Signed distance to the whole figure, in pixels (negative inside).
    auto figure = [&](double x, double y) { return std::min(sd_hair(x, y), sd_polygon(body, x, y)); };
    // Light comes from the front and above; rims face it.
    const double lx = 0.80, ly = -0.60;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double px = x + 0.5, py = y + 0.5;
            int r = kBack;
            if (in_hair(px, py)) r = kHairArea;
            else if (in_polygon(body, px, py)) r = kSkinArea;
            if (r == kBack) {
                pic.at(x, y) = rgb(1, 1, 1);
                continue;
            }
            // Depth inside the figure and the direction out of it.
            double d = -figure(px, py);
            double gx = figure(px + 1, py) - figure(px - 1, py), gy = figure(px, py + 1) - figure(px, py - 1);
            double gl = std::hypot(gx, gy);
            double ox = gl > 0 ? gx / gl : 0, oy = gl > 0 ? gy / gl : 0;
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
                // Glow toward the lit edge, and a soft shade where hair meets skin.
                c = c + rgb8(0, 150, 190) * (facing * std::exp(-std::max(0.0, d - 3) / 7.0) * 0.6);
                double toSkin = std::min(-sd_hair(px, py) + 0.0, (ear_field(px, py) - 1) * 12.0);
                if (px > 150) c = c * (0.5 + 0.5 * smooth(0.0, 4.0, toSkin));
            } else {
                // Skin: deep blue, lighter toward the lit profile, fading into
                // the dark toward the bottom of the picture.
                c = mix(rgb8(0, 8, 30), rgb8(0, 24, 76), smooth(440, 200, py));
                c = c + rgb8(0, 60, 140) * (facing * std::exp(-std::max(0.0, d - 2) / 10.0));
                // Cheekbone catching the light.
                c = c + rgb8(0, 40, 110) * (0.5 * std::exp(-(std::pow((px - 200) / 16.0, 2) + std::pow((py - 238) / 13.0, 2))));
                // Under the jaw, from below the ear to the chin, the neck
                // falls into a soft shadow.
                double jx0 = 168, jy0 = 276, jx1 = 214, jy1 = 318;
                double side = ((py - jy0) * (jx1 - jx0) - (px - jx0) * (jy1 - jy0)) / std::hypot(jx1 - jx0, jy1 - jy0);
                double bow = 5.0 * std::sin(kPi * clamp01((px - jx0) / (jx1 - jx0)));
                c = c * (1 - 0.45 * smooth(-3, 14, side - bow) * smooth(120, 165, px));
                // Ear: rim of the helix lit from the front, the bowl dark,
                // a ridge inside it and the lobe below.
                double e = ear_field(px, py);
                if (e < 1.0) {
                    double u = px - 164 + 0.18 * (py - 250), v = py - 251;
                    // Angle round the ear: the helix rim runs over the top
                    // and down the back, open toward the face.
                    double back = smooth(3.0, -3.0, u) + smooth(-6.0, -14.0, v);
                    Col ear = rgb8(0, 28, 82);
                    double rimBand = smooth(0.60, 0.84, e) * smooth(1.0, 0.92, e);
                    ear = ear + rgb8(0, 90, 180) * (rimBand * clamp01(back) * (0.6 + 0.4 * smooth(6, -10, v)));
                    // The bowl in front of the rim, the ridge round it, the lobe.
                    double bowl = std::hypot((u - 2.5) / 4.8, (v + 0.5) / 7.5);
                    ear = mix(ear, rgb8(0, 6, 24), smooth(1.0, 0.5, bowl));
                    double ridge = std::fabs(std::hypot((u - 1.5) / 7.0, (v + 2.0) / 11.5) - 1.0);
                    ear = ear + rgb8(0, 50, 130) * (0.6 * smooth(0.14, 0.03, ridge) * smooth(5, -3, u) * smooth(10, 4, v));
                    ear = ear + rgb8(0, 30, 90) * (smooth(11, 18, v) * smooth(1.0, 0.7, e));  // lobe
                    // The tragus: a small lit flap in front of the bowl.
                    ear = ear + rgb8(0, 60, 140) * (0.5 * smooth(1.0, 0.4, std::hypot((u - 7.0) / 2.0, (v - 2.0) / 3.6)));
                    c = mix(c, ear, smooth(1.0, 0.9, e));
                    c = c * (1 - 0.4 * smooth(0.85, 1.0, e) * smooth(-2, 6, u));  // shade where it meets the head
                }
                // Eye in profile: a wedge opening toward the front, pale
                // white, the iris at its front under a heavy upper lid with
                // lashes, and a brow above.
                double ex = (px - 199) / 13.0;
                if (ex > -0.2 && ex < 1.2) {
                    double s01 = clamp01(ex);
                    double top = 206.4 - 2.8 * std::sqrt(s01), bot = 207.4 + 2.6 * std::sqrt(s01) - 0.8 * s01;
                    double inside = std::min(std::min(py - top, bot - py), std::min(px - 199.0, 212.6 - px));
                    if (inside > -1.5) {
                        Col eye = rgb8(0, 120, 170);
                        double iris = std::hypot((px - 209.6) / 2.6, (py - 207.4) / 3.0);
                        eye = mix(eye, rgb8(0, 30, 80), smooth(1.0, 0.8, iris));
                        eye = mix(eye, rgb8(0, 4, 14), smooth(0.55, 0.4, iris));
                        c = mix(c, eye, smooth(-0.2, 0.5, inside));
                        // Upper lid line, thicker toward the front.
                        double lid = std::max(std::fabs(py - top + 0.3), std::max(199.0 - px, px - 212.8));
                        c = mix(c, rgb8(0, 4, 16), smooth(0.7 + 0.8 * s01, 0.2 + 0.5 * s01, lid));
                    }
                    // Glint on the cornea.
                    c = c + rgb8(0, 200, 255) * (0.9 * std::exp(-(std::pow(px - 210.5, 2) + std::pow(py - 206.4, 2)) / 0.8));
                }
                // Lashes reaching forward from the lid's front corner.
                double lash = sd_segment(px, py, 210.5, 204.2, 214.5, 202.4);
                c = mix(c, rgb8(0, 4, 16), smooth(0.9, 0.3, lash));
                // Brow: a dark stroke along the ridge, lit above it.
                double browLine = sd_segment(px, py, 196, 199.5, 213, 198.0);
                c = mix(c, rgb8(0, 6, 22), 0.85 * smooth(1.6, 0.6, browLine));
                // Nostril.
                double nos = std::hypot((px - 234) / 3.2, (py - 256.5) / 1.6);
                c = mix(c, rgb8(0, 8, 30), 0.8 * smooth(1.0, 0.6, nos));
                // Lips catch a little violet-blue.
                double lip = smooth(12, 2, std::hypot((px - 228) / 1.2, py - 271));
                c = c + rgb8(10, 30, 110) * (0.6 * lip);
            }
            // Rim light, 3 px wide: cyan where it faces the light, blue behind.
            // The outermost pixel stays darker: next to the white background a
            // bright pixel would pick up red from the encoder.
            if (d <= 4.5) {
                Col rim = mix(rgb8(0, 60, 170), rgb8(0, 225, 255), smooth(0.05, 0.6, facing));
                rim = rim * mixd(0.3, 1.0, smooth(0.7, 1.7, d));
                c = mix(c, rim, smooth(4.5, 3.0, d));
            }
            // Keep red well inside the key, none at all near the edge.
            c.r = d <= 4.5 ? 0.0 : std::min(c.r, 12.0 / 255.0);
            pic.at(x, y) = c;
        }
    return pic;
}

}  // namespace artgen
