// The three face pictures: a lit height picture and a colour portrait of the
// same head, and the seamless neon wall of the tunnel.
#include <algorithm>
#include <cmath>
#include <vector>

#include "head.h"
#include "pictures.h"

namespace artgen {

namespace {

double lambert(V3 n, V3 l) { return std::max(0.0, dot(n, norm(l))); }

// Diffuse light that wraps a little past the terminator, as light does in skin.
double wrapped(V3 n, V3 l, double wrap) { return std::max(0.0, (dot(n, norm(l)) + wrap) / (1 + wrap)); }

double blinn(V3 n, V3 l, V3 v, double power) {
    V3 h = norm(norm(l) + v);
    return std::pow(std::max(0.0, dot(n, h)), power);
}

// The lights of the portrait, in head space: a cyan key from the upper
// left, a pink fill from the lower right, a white-cyan rim from behind.
const V3 kKeyDir = {-0.55, 0.50, 0.70};
const V3 kFillDir = {0.85, -0.25, 0.45};
const V3 kRimDir = {0.75, 0.35, -0.60};

// The portrait's colour at one head sample, painted in violet, cyan and
// pink: lavender skin under the cyan key, pink in the fill, deep violet in
// the shadows, a cool rim and glossy highlights. keyLight is the share of
// the key that reaches the point past the head's own shadow.
Col portrait(const HeadSample& s, double keyLight) {
    Col albedo = rgb(0.80, 0.60, 0.92);
    double gloss = 0.25, power = 30, wrap = 0.35;
    switch (s.mat) {
        case kEyeWhite: albedo = rgb(0.82, 0.84, 0.95); gloss = 0.8; power = 80; wrap = 0.2; break;
        case kIris: albedo = mix(rgb(0.05, 0.45, 0.60), rgb(0.20, 0.95, 1.00), 0.5); gloss = 1.0; power = 90; wrap = 0.2; break;
        case kPupil: albedo = rgb(0.02, 0.01, 0.05); gloss = 1.0; power = 90; wrap = 0; break;
        case kHair:
            albedo = mix(rgb(0.05, 0.03, 0.16), rgb(0.22, 0.12, 0.45), s.hair);
            gloss = 0.55 + 0.4 * s.hair; power = 18; wrap = 0.1;
            break;
        case kLips: albedo = rgb(0.95, 0.30, 0.62); gloss = 0.6; power = 45; break;
        case kMouth: albedo = rgb(0.10, 0.02, 0.10); gloss = 0.0; wrap = 0; break;
        case kBrow: albedo = rgb(0.16, 0.08, 0.26); gloss = 0.1; wrap = 0.1; break;
        default: break;
    }
    const Col keyCol = rgb(0.55, 0.92, 1.00), fillCol = rgb(1.00, 0.32, 0.72), rimCol = rgb(0.75, 1.00, 1.00);
    V3 n = s.n, v = s.view;
    // Ambient from a violet sky above and a dark plum floor below.
    Col amb = mix(rgb(0.10, 0.03, 0.16), rgb(0.26, 0.20, 0.46), 0.5 + 0.5 * n.y);
    double key = wrapped(n, kKeyDir, wrap) * (0.25 + 0.75 * keyLight);
    double fill = wrapped(n, kFillDir, wrap);
    Col c = albedo * (amb * (0.5 + 0.5 * s.ao) + keyCol * (1.15 * key) + fillCol * (0.55 * fill));
    // Rim: strongest where the surface turns away from the viewer.
    double facing = std::max(0.0, dot(n, v));
    double fres = std::pow(1 - facing, 3.0);
    c = c + rimCol * (0.9 * fres * wrapped(n, kRimDir, 0.3));
    c = c + fillCol * (0.35 * fres * wrapped(n, kFillDir, 0.2));
    // Highlights, brighter at grazing angles.
    double schlick = 0.06 + 0.94 * std::pow(1 - facing, 5.0);
    double specular = gloss * (0.6 + 2.0 * schlick);
    c = c + rgb(0.85, 1.0, 1.0) * (specular * blinn(n, kKeyDir, v, power) * keyLight);
    c = c + rgb(1.0, 0.75, 0.95) * (0.5 * specular * blinn(n, kFillDir, v, power));
    // The neck darkens toward its cut.
    c = c * (0.35 + 0.65 * smooth(-1.10, -0.70, s.p.y));
    return c * (0.55 + 0.45 * s.ao);
}

// Backdrop of the portrait: deep blue-violet, a soft halo behind the head.
Col portrait_back(double x, double y, double size) {
    double u = x / size - 0.5, v = y / size - 0.5;
    double r = std::sqrt(u * u + v * v);
    return mix(rgb(0.06, 0.04, 0.20), rgb(0.02, 0.01, 0.07), smooth(0.05, 0.75, r));
}

// The relief shifts each sample left by its height, so where the height
// falls faster than a few levels per pixel its dashes spread apart into
// stripes. Inside the head every pixel is raised to at least its
// neighbours' height less kSlope per pixel of distance; only the outline
// keeps its one clean drop to the background.
void limit_slope(Picture& height) {
    const double kSlope = 5.0 / 255.0, kInside = 80.0 / 255.0;
    const int R = 24, w = height.w(), h = height.h();
    std::vector<double> src(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) src[static_cast<size_t>(y) * w + x] = height.at(x, y).r;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = src[static_cast<size_t>(y) * w + x];
            if (v <= kInside) continue;
            double best = v;
            for (int j = std::max(0, y - R); j <= std::min(h - 1, y + R); ++j)
                for (int i = std::max(0, x - R); i <= std::min(w - 1, x + R); ++i) {
                    double q = src[static_cast<size_t>(j) * w + i];
                    if (q > kInside) best = std::max(best, q - kSlope * std::hypot(i - x, j - y));
                }
            height.at(x, y) = rgb(best, best * 0.72, best * 0.86);
        }
}

}  // namespace

void paint_faces(Picture& height, Picture& colour) {
    const int size = 256, ss = 2;
    HeadView view;
    view.yaw = 0.30;
    view.pitch = -0.04;
    view.halfSize = 1.46;
    view.centreY = 0.08;
    std::vector<HeadSample> smp = trace_head(size, size, ss, view);
    const V3 reliefLight = v3(-0.4, 0.5, 1.0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Col hsum, csum;
            int hits = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    const HeadSample& s = smp[static_cast<size_t>(y * ss + sy) * size * ss + x * ss + sx];
                    double px = x + (sx + 0.5) / ss, py = y + (sy + 0.5) / ss;
                    if (!s.hit) {
                        csum = csum + portrait_back(px, py, size);
                        continue;
                    }
                    // Height: nearness to the viewer, with a floor well above
                    // the relief's threshold, so that everything of the head
                    // (the hair's edge and the neck's cut too) ends on one
                    // clean edge against the dark background.
                    double nearness = clamp01((s.depth + 0.45) / 1.45);
                    double lit = lambert(s.n, reliefLight);
                    double hgt = clamp01(nearness * (0.85 + 0.15 * s.ao) + 0.10 * (lit - 0.6));
                    double r = (100 + 150 * hgt) / 255.0;
                    hsum = hsum + rgb(r, r * 0.72, r * 0.86);
                    ++hits;
                    csum = csum + portrait(s, soft_shadow(s.p + s.n * 0.01, norm(kKeyDir)));
                }
            // No blend at the outline: a pixel half on the background would
            // sit just over the threshold and throw its dash far off the edge.
            height.at(x, y) = 2 * hits >= ss * ss ? hsum * (1.0 / hits) : rgb(0.05, 0.03, 0.12);
            colour.at(x, y) = csum * (1.0 / (ss * ss));
        }
    limit_slope(height);
}

}  // namespace artgen

namespace artgen {

Picture paint_face3() {
    // Tunnel wall. The picture's x runs along the tunnel's depth and its y
    // around it; toward the screen edge a texel covers about 30 pixels in
    // depth and 7 around, so everything here is big: a neon ring every 32
    // columns (the tunnel shows them as rings streaming past, in four
    // colours), and between the rings dark panels, eight around, with a
    // chrome chevron pointing down the tunnel. Every feature repeats within
    // 256 pixels, so the picture tiles without a seam in both directions.
    const int size = 256;
    const Col rings[4] = {rgb(0.15, 0.90, 1.00), rgb(1.00, 0.22, 0.70), rgb(1.00, 0.62, 0.12), rgb(0.55, 0.30, 1.00)};
    Picture pic(size, size);
    pic.shade(3, [&](double x, double y) {
        int ring = static_cast<int>(std::floor(x / 32.0)) % 4;
        // Panels are offset half a panel around, so the picture's own edge
        // runs through their middle and not along a groove.
        double ya = y + 16.0;
        int seg = static_cast<int>(std::floor(ya / 32.0)) % 8;
        double u = std::fmod(x, 32.0), v = std::fmod(ya, 32.0);
        // Panel between the rings: columns 8..31 of the period.
        double pu = u - 8.0;
        Col base = ((ring + seg) % 2) ? rgb8(14, 16, 64) : rgb8(44, 10, 70);
        Col c = base * (0.8 + 0.4 * fbm(x / 32.0, y / 32.0, 91u, 2, 8));
        if (pu > 0) {
            // Bevelled edges, lit from one side, and a dark groove around.
            double edge = std::min(std::min(pu, 24.0 - pu), std::min(v, 32.0 - v));
            double bevel = smooth(4.5, 3.5, edge);
            Col lit = (v < 3.5 || pu < 3.5) ? base * 1.8 : base * 0.5;
            c = mix(c, lit, bevel);
            c = c * (0.5 + 0.5 * smooth(0.3, 1.2, edge));
            // Chrome chevron pointing down the tunnel.
            double ch = std::fabs((pu - 6.0) - 0.6 * std::fabs(v - 16.0));
            double inChev = smooth(3.4, 2.6, ch) * smooth(0.5, 1.5, 13.5 - std::fabs(v - 16.0));
            if (inChev > 0) {
                double t = clamp01((v - 2.0) / 28.0);
                Col chrome = t < 0.5 ? ramp({rgb8(40, 60, 160), rgb8(140, 200, 255), rgb8(255, 255, 255)}, t * 2)
                                     : ramp({rgb8(255, 120, 200), rgb8(120, 20, 110), rgb8(255, 190, 120)}, (t - 0.5) * 2);
                c = mix(c, chrome, inChev);
            }
        }
        // The neon ring: a white-hot core in its colour, glowing over the panels.
        bool next = std::fabs(u - 36.0) < std::fabs(u - 4.0);
        double dr = next ? std::fabs(u - 36.0) : std::fabs(u - 4.0);
        Col rc = rings[(ring + (next ? 1 : 0)) % 4];
        c = c + rc * (0.45 * std::exp(-dr / 2.5));
        c = mix(c, rc, smooth(2.4, 1.6, dr));
        c = mix(c, rgb(1, 1, 1), 0.5 * smooth(0.9, 0.3, dr));
        return c;
    });
    return pic;
}

}  // namespace artgen
