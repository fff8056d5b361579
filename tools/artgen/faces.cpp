// The three face pictures: a lit height picture and a colour portrait of the
// same head, and the seamless neon wall of the tunnel.
#include <cmath>

#include "head.h"
#include "pictures.h"

namespace artgen {

namespace {

struct Light {
    V3 dir;
    Col col;
};

double lambert(V3 n, V3 l) { return std::max(0.0, dot(n, norm(l))); }

double specular(V3 n, V3 l, double power) {
    V3 h = norm(norm(l) + v3(0, 0, 1));
    return std::pow(std::max(0.0, dot(n, h)), power);
}

// The portrait's colour at one head sample, airbrushed poster style: a cool
// cyan key light from the upper left, warm amber in the shadows, a white-cyan
// rim on the right and hard glossy highlights. The cool light keeps the face
// apart from the magenta plasma it turns over.
Col portrait(const HeadSample& s) {
    Col albedo;
    double gloss = 0.3, power = 28;
    switch (s.mat) {
        case kEyeWhite: albedo = rgb(0.80, 0.82, 0.86); gloss = 0.7; power = 70; break;
        case kIris: albedo = rgb(0.05, 0.60, 0.70); gloss = 0.9; power = 90; break;
        case kPupil: albedo = rgb(0.02, 0.02, 0.04); gloss = 0.9; power = 90; break;
        case kHair: albedo = mix(rgb(0.04, 0.05, 0.12), rgb(0.10, 0.22, 0.34), s.hair); gloss = 0.8; power = 16; break;
        case kLips: albedo = rgb(0.72, 0.34, 0.34); gloss = 0.5; power = 40; break;
        case kBrow: albedo = rgb(0.10, 0.08, 0.12); gloss = 0.1; break;
        default: albedo = rgb(0.98, 0.66, 0.52); gloss = 0.4; power = 22; break;
    }
    const Light key = {v3(-0.60, 0.55, 0.80), rgb(0.66, 0.92, 1.00)};
    const Light rim = {v3(0.95, 0.15, -0.30), rgb(0.70, 1.00, 1.00)};
    const Light warm = {v3(0.45, -0.65, 0.60), rgb(1.00, 0.45, 0.12)};
    double k = lambert(s.n, key.dir);
    // A slightly banded key light gives the airbrushed poster look.
    double kb = std::floor(k * 4.0) / 4.0;
    k = mixd(k, kb + 0.125, 0.2);
    Col c = albedo * (key.col * (1.1 * k) + warm.col * (0.55 * lambert(s.n, warm.dir)) + rgb(0.10, 0.04, 0.06));
    // Rim light wraps around the silhouette edge.
    double edge = std::pow(1 - std::max(0.0, s.n.z), 2.0);
    c = c + rim.col * (1.1 * lambert(s.n, rim.dir) * (0.3 + edge));
    c = c + rgb(0.2, 0.85, 1.0) * (0.45 * edge * smooth(-0.1, 0.6, s.n.x));
    // The neck falls into the shadow of the jaw and fades downward.
    c = c * (0.35 + 0.65 * smooth(-1.35, -0.75, s.p.y));
    c = c + rgb(0.85, 1.0, 1.0) * (gloss * specular(s.n, key.dir, power));
    c = c + rgb(1.0, 1.0, 1.0) * (0.6 * gloss * specular(s.n, rim.dir, power));
    return c * (0.4 + 0.6 * s.ao);
}

// Backdrop of the portrait: deep blue-violet, a soft halo behind the head.
Col portrait_back(double x, double y, double size) {
    double u = x / size - 0.5, v = y / size - 0.5;
    double r = std::sqrt(u * u + v * v);
    return mix(rgb(0.06, 0.04, 0.20), rgb(0.02, 0.01, 0.07), smooth(0.05, 0.75, r));
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
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    const HeadSample& s = smp[static_cast<size_t>(y * ss + sy) * size * ss + x * ss + sx];
                    double px = x + (sx + 0.5) / ss, py = y + (sy + 0.5) / ss;
                    if (!s.hit) {
                        hsum = hsum + rgb(0.04, 0.03, 0.12);
                        csum = csum + portrait_back(px, py, size);
                        continue;
                    }
                    // Height: nearness to the viewer, modulated by a soft
                    // frontal light so features stand out in the relief.
                    // The nearest point (the nose) reaches full height; the
                    // neck sinks under the relief's threshold toward the bottom.
                    double nearness = clamp01((s.depth + 0.55) / 1.5);
                    double lit = lambert(s.n, reliefLight);
                    double hgt = clamp01(nearness * (0.85 + 0.15 * s.ao) + 0.12 * (lit - 0.6));
                    double r = (70 + 185 * hgt) / 255.0 * smooth(-1.12, -0.84, s.p.y - 0.25 * s.p.x * s.p.x);
                    hsum = hsum + rgb(r, r * 0.72, r * 0.86);
                    csum = csum + portrait(s);
                }
            height.at(x, y) = hsum * (1.0 / (ss * ss));
            colour.at(x, y) = csum * (1.0 / (ss * ss));
        }
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
