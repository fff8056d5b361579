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
std::vector<P2> closed_curve(const std::vector<P2>& k, int n)
{
    std::vector<P2> out;
    const size_t m = k.size();
    for (size_t i = 0; i < m; ++i) {
        const P2 &p0 = k[(i + m - 1) % m], &p1 = k[i], &p2 = k[(i + 1) % m], &p3 = k[(i + 2) % m];
        for (int s = 0; s < n; ++s) {
            double u = static_cast<double>(s) / n, u2 = u * u, u3 = u2 * u;
            auto cr = [&](double a, double b, double c, double d) {
                return 0.5 * (2 * b + (-a + c) * u + (2 * a - 5 * b + 4 * c - d) * u2 +
                              (-a + 3 * b - 3 * c + d) * u3);
            };
            out.push_back({cr(p0.x, p1.x, p2.x, p3.x), cr(p0.y, p1.y, p2.y, p3.y)});
        }
    }
    return out;
}

bool in_polygon(const std::vector<P2>& poly, double x, double y)
{
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const P2 &a = poly[i], &b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

// Head, neck and shoulders facing right, without the hair.
// The back of the shoulder rounds off before the picture's left edge.
const std::vector<P2> kBody = {
    {14, 520},  {12, 470},  {18, 430},  {34, 404},  {66, 384},  {96, 368},  {112, 340}, {126, 306},
    {136, 280}, {140, 200}, {168, 150}, {200, 156}, {214, 178}, {219, 196}, {214, 208}, {216, 216},
    {228, 229}, {244, 244}, {245, 251}, {234, 255}, {229, 259}, {235, 265}, {231, 271}, {234, 277},
    {226, 285}, {221, 291}, {228, 303}, {226, 313}, {212, 321}, {194, 323}, {182, 330}, {186, 350},
    {190, 370}, {204, 384}, {230, 391}, {246, 402}, {253, 422}, {252, 456}, {246, 500}, {240, 520}};

enum Region { kBack = 0, kSkinArea = 1, kHairArea = 2 };

// The afro is a mass of curl clumps: round tufts of varied size on a
// jittered grid over an oval. Inside the oval they overlap into one mass;
// at its edge each tuft bulges on its own, so the outline is scalloped and
// broken by notches between them.
const double kAfroX = 134, kAfroY = 158, kAfroRX = 106, kAfroRY = 110;
const double kClumpCell = 21.0;

struct Clump {
    double x, y, r;
};

// The clump of lattice cell (i, j).
Clump clump_at(int i, int j)
{
    double x = (i + 0.15 + 0.7 * hash01(i, j, 33u)) * kClumpCell;
    double y = (j + 0.15 + 0.7 * hash01(i, j, 34u)) * kClumpCell;
    double r = kClumpCell * (0.50 + 0.45 * hash01(i, j, 35u));
    return {x, y, r};
}

const double kCore = 0.80;  // the solid inner oval, as a share of the afro's radii

// Whether the clump belongs to the afro (its centre lies inside the oval);
// one standing out past the solid core grows until it reaches back into it,
// so no tuft floats on its own.
bool clump_in_afro(Clump& c)
{
    double ax = (c.x - kAfroX) / kAfroRX, ay = (c.y - kAfroY) / kAfroRY;
    double q = std::sqrt(ax * ax + ay * ay);
    if (q >= 0.94)
        return false;
    c.r = std::max(c.r, (q - kCore) * 112.0 + 5.0);
    return true;
}

// Nearest clumps to a point: distance to the edge of the nearest in pixels
// (negative inside), its centre and radius, and how close the second
// nearest comes (for the dark gaps between them).
struct ClumpHit {
    double d = 1e9, second = 1e9;
    Clump c{0, 0, 1};
};

ClumpHit near_clumps(double x, double y)
{
    ClumpHit h;
    int ci = static_cast<int>(std::floor(x / kClumpCell)),
        cj = static_cast<int>(std::floor(y / kClumpCell));
    for (int j = cj - 2; j <= cj + 2; ++j)
        for (int i = ci - 2; i <= ci + 2; ++i) {
            Clump c = clump_at(i, j);
            if (!clump_in_afro(c))
                continue;
            // Tufts are lumpy, not round: the radius wobbles with the angle.
            double ang = std::atan2(y - c.y, x - c.x);
            double wob = 1 + 0.13 * std::sin(3 * ang + 6.28 * hash01(i, j, 36u)) +
                         0.07 * std::sin(5 * ang + 6.28 * hash01(i, j, 37u));
            double d = std::hypot(x - c.x, y - c.y) - c.r * wob;
            if (d < h.d) {
                h.second = h.d;
                h.d = d;
                h.c = c;
            } else if (d < h.second) {
                h.second = d;
            }
        }
    return h;
}

// x of the hairline in front at height y: the hair comes down over the
// top of the forehead, curves back round the temple and comes down again
// as a sideburn in front of the ear, then runs back behind the jaw.
double hairline_x(double y)
{
    if (y < 116)
        return 1e9;
    if (y < 172)
        return 210 + 34 * std::sqrt(clamp01(1 - std::pow((y - 116) / 56.0, 2)));
    if (y < 190)
        return mixd(210, 189, smooth(172, 190, y));
    if (y < 236)
        return 189 - 6 * smooth(190, 236, y) + 3 * std::sin(kPi * clamp01((y - 190) / 46));
    if (y < 250)
        return mixd(184, 160, smooth(236, 250, y));
    return mixd(160, 132, smooth(250, 292, y));
}

// Signed distance in pixels to the afro's outer edge (negative inside); the
// hairline in front cuts it, so the face stays free.
double sd_hair(double x, double y)
{
    double ax = (x - kAfroX) / kAfroRX, ay = (y - kAfroY) / kAfroRY;
    double core = (std::sqrt(ax * ax + ay * ay) - kCore) * 112.0;
    double cloud = std::min(core, near_clumps(x, y).d);
    return smax(cloud, x - hairline_x(y), 4.0);
}

// The ear, left free of hair: broad at the top, narrowing to the lobe,
// tilted back at the top. 1 on its outline.
double ear_field(double x, double y)
{
    double u = x - 164 + 0.18 * (y - 250), v = y - 251;
    double rx = mixd(12.5, 7.0, smooth(-4, 20, v));
    return std::hypot(u / rx, v / 21.5);
}

bool in_hair(double x, double y)
{
    return sd_hair(x, y) < 0 && ear_field(x, y) > 1;
}

// Signed distance to the polygon (negative inside).
double sd_polygon(const std::vector<P2>& poly, double x, double y)
{
    double best = 1e9;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
        best = std::min(best, sd_segment(x, y, poly[j].x, poly[j].y, poly[i].x, poly[i].y));
    return in_polygon(poly, x, y) ? -best : best;
}

// Where the hair grows from: strands run out from here.
const double kScalpX = 160, kScalpY = 196;

// Hair texture of a tuft: fine strands running out from the scalp, each tuft
// turned a little its own way, brighter where strands bunch. 0..1, never
// dark in spots: the darkest strand is still half as bright as the brightest.
double strands(double x, double y, const Clump& c, int seed)
{
    double dx = c.x - kScalpX, dy = c.y - kScalpY;
    double dl = std::max(1.0, std::hypot(dx, dy));
    double turn = 0.7 * (hash01(seed, 7, 51u) - 0.5);
    double ux = dx / dl * std::cos(turn) - dy / dl * std::sin(turn);
    double uy = dx / dl * std::sin(turn) + dy / dl * std::cos(turn);
    double along = (x - c.x) * ux + (y - c.y) * uy;
    double across = -(x - c.x) * uy + (y - c.y) * ux;
    // Strands wave a little as they run.
    across += 1.6 * std::sin(along / 5.0 + 6.28 * hash01(seed, 8, 52u));
    double fine = vnoise(across / 1.3, along / 9.0, 53u + static_cast<uint32_t>(seed & 255));
    double coarse = vnoise(across / 3.4, along / 16.0, 54u + static_cast<uint32_t>(seed & 255));
    return clamp01(0.55 * fine + 0.45 * coarse);
}

}  // namespace

Picture paint_afro()
{
    // The show keys the picture on red: every figure pixel keeps red far
    // below the threshold (so the encoder's error stays inside it), the
    // background is plain white and the edge is hard (one sample per pixel).
    // The shading inside follows the outline's exact distance, so rims run
    // smoothly along it instead of stepping with the pixels.
    const int W = 270, H = 480;
    Picture pic(W, H);
    const std::vector<P2> body = closed_curve(kBody, 12);
    // Signed distance to the whole figure, in pixels (negative inside).
    auto figure = [&](double x, double y) {
        return std::min(sd_hair(x, y), sd_polygon(body, x, y));
    };
    // Light comes from the front and above; rims face it.
    const double lx = 0.80, ly = -0.60;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double px = x + 0.5, py = y + 0.5;
            int r = kBack;
            if (in_hair(px, py))
                r = kHairArea;
            else if (in_polygon(body, px, py))
                r = kSkinArea;
            if (r == kBack) {
                pic.at(x, y) = rgb(1, 1, 1);
                continue;
            }
            // Depth inside the figure and the direction out of it.
            double d = -figure(px, py);
            double gx = figure(px + 1, py) - figure(px - 1, py),
                   gy = figure(px, py + 1) - figure(px, py - 1);
            double gl = std::hypot(gx, gy);
            double ox = gl > 0 ? gx / gl : 0, oy = gl > 0 ? gy / gl : 0;
            double facing = std::max(0.0, ox * lx + oy * ly);
            Col c;
            if (r == kHairArea) {
                // Teal on top and in front, blue behind and below; the mass is
                // shaded as one round volume lit from the upper right, with
                // the curls on it.
                double t = clamp01(0.5 + ((px - kAfroX) * 0.55 - (py - kAfroY) * 0.85) / 200.0);
                Col base = ramp({rgb8(0, 62, 150), rgb8(0, 100, 190), rgb8(0, 170, 180)}, t);
                double ax = (px - kAfroX) / kAfroRX, ay = (py - kAfroY) / kAfroRY;
                double az = std::sqrt(std::max(0.0, 1 - ax * ax - ay * ay));
                double vol = 0.62 + 0.5 * std::max(0.0, ax * 0.55 - ay * 0.55 + az * 0.6);
                // Each tuft is a soft dome of strands lit from the upper right,
                // a little darker (never black) where it tucks under its neighbours.
                ClumpHit h = near_clumps(px, py);
                double cx = (px - h.c.x) / h.c.r, cy = (py - h.c.y) / h.c.r;
                double cz = std::sqrt(std::max(0.0, 1 - cx * cx - cy * cy));
                double dome = clamp01(0.35 + 0.55 * (cx * 0.6 - cy * 0.6) + 0.45 * cz);
                double gap = smooth(-1.0, 4.0, h.second - h.d);
                double clumpLight = h.d < 0 ? mixd(0.68, 1.06, dome) * mixd(0.8, 1.0, gap) : 0.7;
                const int seed = static_cast<int>(std::floor(h.c.x * 7.0 + h.c.y * 13.0));
                double hairTex = strands(px, py, h.c, seed);
                c = base * (vol * clumpLight * (0.62 + 0.5 * hairTex));
                // Sheen: the strands on the lit crown of each tuft catch the light.
                double sheen =
                    std::pow(dome, 3.0) * smooth(0.45, 0.85, hairTex) * (h.d < 0 ? 1.0 : 0.3);
                c = c + rgb8(0, 120, 140) * (0.55 * sheen);
                // Glow toward the lit edge, and a soft shade where hair meets skin.
                c = c + rgb8(0, 150, 190) * (facing * std::exp(-std::max(0.0, d - 3) / 7.0) * 0.6);
                double toSkin = std::min(-sd_hair(px, py) + 0.0, (ear_field(px, py) - 1) * 12.0);
                if (px > 150)
                    c = c * (0.5 + 0.5 * smooth(0.0, 4.0, toSkin));
            } else {
                // Skin: deep blue, lighter toward the lit profile, fading into
                // the dark toward the bottom of the picture.
                c = mix(rgb8(0, 8, 30), rgb8(0, 24, 76), smooth(440, 200, py));
                c = c + rgb8(0, 60, 140) * (facing * std::exp(-std::max(0.0, d - 2) / 10.0));
                // Cheekbone catching the light.
                c = c + rgb8(0, 40, 110) * (0.5 * std::exp(-(std::pow((px - 200) / 16.0, 2) +
                                                             std::pow((py - 238) / 13.0, 2))));
                // Under the jaw, from below the ear to the chin, the neck
                // falls into a soft shadow.
                double jx0 = 168, jy0 = 276, jx1 = 214, jy1 = 318;
                double side = ((py - jy0) * (jx1 - jx0) - (px - jx0) * (jy1 - jy0)) /
                              std::hypot(jx1 - jx0, jy1 - jy0);
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
                    ear = ear + rgb8(0, 90, 180) *
                                    (rimBand * clamp01(back) * (0.6 + 0.4 * smooth(6, -10, v)));
                    // The bowl in front of the rim, the ridge round it, the lobe.
                    double bowl = std::hypot((u - 2.5) / 4.8, (v + 0.5) / 7.5);
                    ear = mix(ear, rgb8(0, 6, 24), smooth(1.0, 0.5, bowl));
                    double ridge = std::fabs(std::hypot((u - 1.5) / 7.0, (v + 2.0) / 11.5) - 1.0);
                    ear = ear + rgb8(0, 50, 130) * (0.6 * smooth(0.14, 0.03, ridge) *
                                                    smooth(5, -3, u) * smooth(10, 4, v));
                    ear =
                        ear + rgb8(0, 30, 90) * (smooth(11, 18, v) * smooth(1.0, 0.7, e));  // lobe
                    // The tragus: a small lit flap in front of the bowl.
                    ear = ear + rgb8(0, 60, 140) *
                                    (0.5 * smooth(1.0, 0.4,
                                                  std::hypot((u - 7.0) / 2.0, (v - 2.0) / 3.6)));
                    c = mix(c, ear, smooth(1.0, 0.9, e));
                    c = c * (1 - 0.4 * smooth(0.85, 1.0, e) *
                                     smooth(-2, 6, u));  // shade where it meets the head
                }
                // Eye in profile, drawn big enough to read at 1:1: a dark
                // socket, a wedge of pale white opening toward the front,
                // the dark iris at its front under a heavy upper lid, two
                // lashes sweeping forward, and a brow above.
                c = c * (1 - 0.45 * smooth(1.0, 0.4,
                                           std::hypot((px - 204.5) / 11.0, (py - 205.5) / 7.0)));
                double ex = (px - 197) / 15.0;
                if (ex > -0.2 && ex < 1.2) {
                    double s01 = clamp01(ex);
                    double top = 206.2 - 3.8 * std::sqrt(s01),
                           bot = 207.2 + 3.2 * std::sqrt(s01) - 1.0 * s01;
                    double inside =
                        std::min(std::min(py - top, bot - py), std::min(px - 197.0, 212.4 - px));
                    if (inside > -1.5) {
                        Col eye = mix(rgb8(0, 90, 140), rgb8(0, 180, 220), smooth(0.0, 0.5, s01));
                        double iris = std::hypot((px - 208.8) / 3.0, (py - 206.6) / 3.6);
                        eye = mix(eye, rgb8(0, 60, 130), smooth(1.0, 0.85, iris));
                        eye = mix(eye, rgb8(0, 3, 12), smooth(0.6, 0.45, iris));
                        c = mix(c, eye, smooth(-0.2, 0.5, inside));
                        // Upper lid line, thicker toward the front.
                        double lid =
                            std::max(std::fabs(py - top + 0.4), std::max(197.0 - px, px - 212.6));
                        c = mix(c, rgb8(0, 3, 12), smooth(1.0 + 0.8 * s01, 0.4 + 0.6 * s01, lid));
                    }
                    // Glint on the cornea.
                    c = c +
                        rgb8(0, 220, 255) *
                            (1.0 *
                             std::exp(-(std::pow(px - 210.0, 2) + std::pow(py - 205.2, 2)) / 0.9));
                }
                // Lashes reaching forward from the lid's front corner.
                double lash = std::min(sd_segment(px, py, 210.0, 202.8, 215.0, 200.4),
                                       sd_segment(px, py, 206.5, 202.6, 210.0, 199.8));
                c = mix(c, rgb8(0, 3, 12), smooth(1.0, 0.35, lash));
                // Brow: a dark stroke along the ridge, lit above it.
                double browLine = sd_segment(px, py, 194, 197.0, 212, 195.0);
                c = mix(c, rgb8(0, 6, 22), 0.9 * smooth(1.8, 0.7, browLine));
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
                Col rim = mix(rgb8(0, 80, 190), rgb8(0, 225, 255), smooth(0.05, 0.6, facing));
                rim = rim * mixd(0.45, 1.0, smooth(0.7, 1.7, d));
                c = mix(c, rim, smooth(4.5, 3.0, d));
            }
            // Keep red well inside the key, none at all near the edge.
            c.r = d <= 4.5 ? 0.0 : std::min(c.r, 12.0 / 255.0);
            pic.at(x, y) = c;
        }
    return pic;
}

}  // namespace artgen
