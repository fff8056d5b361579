// The three face pictures: a lit height picture and a colour portrait of the
// same head, and a seamless wall of small chrome heads for the tunnel.
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
        case kLips: albedo = rgb(0.66, 0.24, 0.26); gloss = 0.45; power = 40; break;
        case kBrow: albedo = rgb(0.10, 0.08, 0.12); gloss = 0.1; break;
        default: albedo = rgb(0.96, 0.64, 0.50); break;
    }
    const Light key = {v3(-0.60, 0.55, 0.80), rgb(0.78, 0.95, 1.00)};
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
                    double r = (70 + 185 * hgt) / 255.0 * smooth(-1.25, -0.88, s.p.y - 0.6 * s.p.x * s.p.x);
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
    // Tunnel wall: small chrome heads in a brick pattern on a neon lattice.
    // Everything repeats every 256 pixels (the heads every 64), so the
    // picture tiles without a seam in both directions. The tunnel stretches
    // the depth axis a lot toward the screen edge, so the heads are small.
    const int size = 256, cell = 64, ss = 3;
    HeadView view;
    view.yaw = 0.0;
    view.halfSize = 1.66;
    view.centreY = 0.04;
    std::vector<HeadSample> smp = trace_head(cell, cell, ss, view);
    Picture pic(size, size);
    const V3 keyL = v3(-0.5, 0.6, 0.7), rimL = v3(0.8, -0.1, 0.3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int row = y / cell;
            int lx = (x + (row % 2) * (cell / 2)) % cell, ly = y % cell;
            int tint = ((x + (row % 2) * (cell / 2)) / cell + row) % 2;
            Col acc;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    double px = x + (sx + 0.5) / ss, py = y + (sy + 0.5) / ss;
                    // Lattice: diagonal neon lines on a deep blue ground, tiling every 64.
                    double gu = std::fabs(std::fmod(px + py, 64.0) - 32.0), gv = std::fabs(std::fmod(px - py + 256.0, 64.0) - 32.0);
                    double lat = std::max(smooth(2.0, 0.4, 32.0 - gu), smooth(2.0, 0.4, 32.0 - gv));
                    double n = fbm(px / 32.0, py / 32.0, 91u, 3, 8);
                    Col back = mix(rgb8(10, 6, 40), rgb8(40, 10, 70), n) + rgb(0.9, 0.2, 0.8) * (0.6 * lat);
                    const HeadSample& s = smp[static_cast<size_t>(ly * ss + sy) * cell * ss + lx * ss + sx];
                    // Fade the neck out toward the bottom of its cell.
                    double fade = smooth(63, 52, ly + (sy + 0.5) / ss);
                    if (!s.hit || fade <= 0) {
                        acc = acc + back;
                        continue;
                    }
                    V3 r = s.n * (2 * s.n.z) - v3(0, 0, 1);  // reflected view ray
                    // Chrome: reflect a sunset horizon.
                    Col env = r.y > 0 ? ramp({rgb8(255, 150, 110), rgb8(200, 60, 160), rgb8(40, 30, 120)}, std::pow(r.y, 0.6))
                                      : ramp({rgb8(40, 8, 60), rgb8(10, 4, 30)}, std::pow(-r.y, 0.5));
                    Col tintCol = tint ? rgb(0.55, 0.95, 1.0) : rgb(1.0, 0.75, 0.95);
                    double sp = std::pow(std::max(0.0, dot(norm(norm(keyL) + v3(0, 0, 1)), s.n)), 40);
                    Col c = env * tintCol * 0.85 + rgb(1, 1, 1) * sp + rgb(0.3, 0.9, 1.0) * (0.4 * lambert(s.n, rimL));
                    if (s.mat == kPupil || s.mat == kIris) c = c * 0.35;
                    c = c * (0.4 + 0.6 * s.ao);
                    acc = acc + mix(back, c, fade);
                }
            pic.at(x, y) = acc * (1.0 / (ss * ss));
        }
    return pic;
}

}  // namespace artgen
