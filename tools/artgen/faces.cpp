// The three face pictures: a lit height picture and a colour portrait of the
// same head, and the seamless neon wall of the tunnel.
#include <algorithm>
#include <cmath>
#include <vector>

#include "head.h"
#include "pictures.h"

namespace artgen {

namespace {

double lambert(V3 n, V3 l)
{
    return std::max(0.0, dot(n, norm(l)));
}

// Diffuse light that wraps a little past the terminator, as light does in skin.
double wrapped(V3 n, V3 l, double wrap)
{
    return std::max(0.0, (dot(n, norm(l)) + wrap) / (1 + wrap));
}

double blinn(V3 n, V3 l, V3 v, double power)
{
    V3 h = norm(norm(l) + v);
    return std::pow(std::max(0.0, dot(n, h)), power);
}

// The lights of the portrait, in head space: a cyan key from the upper
// left, a warm peach fill from the lower right and a hot pink rim from
// behind on the right, so the face is cool on one side and warm on the other.
const V3 kKeyDir = {-0.70, 0.45, 0.55};
const V3 kFillDir = {0.85, -0.25, 0.45};
const V3 kRimDir = {0.95, 0.25, -0.45};

// The portrait's colour at one head sample, painted in violet, cyan, peach
// and pink: pale skin lit cyan on the left, warm peach on the right, deep
// violet in the shadows, a pink rim on the right and glossy highlights. keyLight is the share of the key that reaches the
// point past the head's own shadow.
Col portrait(const HeadSample& s, double keyLight)
{
    Col albedo = rgb(0.84, 0.66, 0.84);
    double gloss = 0.25, power = 30, wrap = 0.6;
    bool catchLight = false;
    switch (s.mat) {
    case kEyeWhite:
        albedo = rgb(0.62, 0.64, 0.82);
        gloss = 0.8;
        power = 80;
        wrap = 0.2;
        break;
    case kLid:
        albedo = rgb(0.62, 0.40, 0.66);
        gloss = 0.35;
        power = 40;
        break;
    case kLash:
        albedo = rgb(0.03, 0.01, 0.08);
        gloss = 0.2;
        power = 20;
        wrap = 0;
        break;
    case kIris:
        albedo = mix(rgb(0.05, 0.45, 0.60), rgb(0.20, 0.95, 1.00), 0.5);
        gloss = 1.0;
        power = 90;
        wrap = 0.2;
        catchLight = true;
        break;
    case kPupil:
        albedo = rgb(0.02, 0.01, 0.05);
        gloss = 1.0;
        power = 90;
        wrap = 0;
        catchLight = true;
        break;
    case kHair:
        albedo = mix(rgb(0.05, 0.03, 0.16), rgb(0.22, 0.12, 0.45), s.hair);
        gloss = 0.55 + 0.4 * s.hair;
        power = 18;
        wrap = 0.1;
        break;
    case kLips:
        albedo = rgb(0.92, 0.22, 0.55);
        gloss = 0.7;
        power = 50;
        break;
    case kMouth:
        albedo = rgb(0.10, 0.02, 0.10);
        gloss = 0.0;
        wrap = 0;
        break;
    case kBrow:
        albedo = rgb(0.16, 0.08, 0.26);
        gloss = 0.1;
        wrap = 0.1;
        break;
    default:
        break;
    }
    const Col keyCol = rgb(0.40, 0.95, 1.00), fillCol = rgb(1.00, 0.60, 0.26),
              rimCol = rgb(1.00, 0.36, 0.48);
    V3 n = s.n, v = s.view;
    // Ambient from a violet sky above and a dark plum floor below.
    Col amb = mix(rgb(0.10, 0.03, 0.16), rgb(0.26, 0.20, 0.46), 0.5 + 0.5 * n.y);
    // The nose's shadow only dims the key: at full depth it cut the cheek into a
    // hard cool half and a warm one.
    double key = wrapped(n, kKeyDir, wrap) * (0.8 + 0.2 * keyLight);
    double fill = wrapped(n, kFillDir, wrap);
    Col c = albedo * (amb * (0.5 + 0.5 * s.ao) + keyCol * (1.25 * key) + fillCol * (0.95 * fill));
    // Rim: strongest where the surface turns away from the viewer, on the
    // side away from the key.
    double facing = std::max(0.0, dot(n, v));
    double fres = std::pow(1 - facing, 1.8);
    c = c + rimCol * (1.8 * fres * wrapped(n, kRimDir, 0.35));
    // Highlights, brighter at grazing angles.
    double schlick = 0.06 + 0.94 * std::pow(1 - facing, 5.0);
    double specular = gloss * (0.6 + 2.0 * schlick);
    c = c + rgb(0.85, 1.0, 1.0) * (specular * blinn(n, kKeyDir, v, power) * keyLight);
    c = c + rgb(1.0, 0.55, 0.85) * (0.6 * specular * blinn(n, kRimDir, v, power));
    // A window's catch-light in each eye, up and to the key's side, so the eyes look wet.
    if (catchLight)
        c = c + rgb(1.0, 1.0, 1.0) * (2.5 * blinn(n, v3(-0.45, 0.55, 1.0), v, 40));
    // The neck darkens toward its cut.
    c = c * (0.35 + 0.65 * smooth(-1.10, -0.70, s.p.y));
    return c * (0.55 + 0.45 * s.ao);
}

// Backdrop of the portrait: deep blue-violet, a soft halo behind the head.
Col portrait_back(double x, double y, double size)
{
    double u = x / size - 0.5, v = y / size - 0.5;
    double r = std::sqrt(u * u + v * v);
    return mix(rgb(0.06, 0.04, 0.20), rgb(0.02, 0.01, 0.07), smooth(0.05, 0.75, r));
}

// The relief shifts each sample left by its height, so where the height
// falls faster than a few levels per pixel its dashes spread apart into
// stripes. Inside the head every pixel is raised to at least its
// neighbours' height less kSlope per pixel of distance; only the outline
// keeps its one clean drop to the background.
const double kMaxSlope = 2.0;  // levels per pixel: 0.87 pixels of shift per pixel

void limit_slope(Picture& height)
{
    const double kSlope = kMaxSlope / 255.0, kInside = 80.0 / 255.0;
    const int R = 24, w = height.w(), h = height.h();
    std::vector<double> src(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src[static_cast<size_t>(y) * w + x] = height.at(x, y).r;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = src[static_cast<size_t>(y) * w + x];
            if (v <= kInside)
                continue;
            double best = v;
            for (int j = std::max(0, y - R); j <= std::min(h - 1, y + R); ++j)
                for (int i = std::max(0, x - R); i <= std::min(w - 1, x + R); ++i) {
                    double q = src[static_cast<size_t>(j) * w + i];
                    if (q > kInside)
                        best = std::max(best, q - kSlope * std::hypot(i - x, j - y));
                }
            height.at(x, y) = rgb(best, best * 0.72, best * 0.86);
        }
}

// Broad forms: the head's height blurred over the head alone (a Gaussian of
// a few pixels), so fine folds melt into the forms around them.
void soften_height(Picture& height)
{
    const double kSigma = 2.5;
    const int R = 7, w = height.w(), h = height.h();
    const double kInside = 80.0 / 255.0;
    std::vector<double> src(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src[static_cast<size_t>(y) * w + x] = height.at(x, y).r;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (src[static_cast<size_t>(y) * w + x] <= kInside)
                continue;
            double sum = 0.0, weight = 0.0;
            for (int j = std::max(0, y - R); j <= std::min(h - 1, y + R); ++j)
                for (int i = std::max(0, x - R); i <= std::min(w - 1, x + R); ++i) {
                    const double q = src[static_cast<size_t>(j) * w + i];
                    if (q <= kInside)
                        continue;
                    const double k =
                        std::exp(-((i - x) * (i - x) + (j - y) * (j - y)) / (2 * kSigma * kSigma));
                    sum += k * q;
                    weight += k;
                }
            const double v = sum / weight;
            height.at(x, y) = rgb(v, v * 0.72, v * 0.86);
        }
}

// Spreads the head's raw height (in red; background -1) over the
// relief's levels: the lowest rim of the head lands at red 120, well clear
// of the threshold, the tip of the nose at 254. A height picture crowded
// into a few levels moves the whole head as one block; spread out, the
// nose and brow stand far in front of the cheeks and the hair.
const double kRankShare = 0.35;

void spread_height(Picture& height)
{
    std::vector<double> head;
    for (int y = 0; y < height.h(); ++y)
        for (int x = 0; x < height.w(); ++x)
            if (height.at(x, y).r > -0.5)
                head.push_back(height.at(x, y).r);
    if (head.empty())
        return;
    std::sort(head.begin(), head.end());
    const double lo = head[head.size() / 100], hi = head[head.size() - 1 - head.size() / 400];
    for (int y = 0; y < height.h(); ++y)
        for (int x = 0; x < height.w(); ++x) {
            double v = height.at(x, y).r;
            if (v < -0.5) {
                height.at(x, y) = rgb(0.05, 0.03, 0.12);
                continue;
            }
            // Mostly by rank among the head's pixels, so the
            // crowded middle heights move apart without reordering anything.
            double t = clamp01((v - lo) / (hi - lo));
            double rank =
                static_cast<double>(std::lower_bound(head.begin(), head.end(), v) - head.begin()) /
                head.size();
            double spread = mixd(t, rank, kRankShare);
            // The lowest and highest few hundredths share the ends, so the
            // bulk of the head gets the most levels.
            spread = spread < 0.03 ? spread / 3
                                   : (spread > 0.97 ? 0.99 + (spread - 0.97) / 3
                                                    : 0.01 + (spread - 0.03) * (0.98 / 0.94));
            double r = (120 + 134 * spread) / 255.0;
            height.at(x, y) = rgb(r, r * 0.72, r * 0.86);
        }
}

// Blends the skin's colour (not its light and shade) over a few pixels, on the
// skin alone: where the cyan key gives way to the peach fill across the nose's
// ridge the hue then turns over a cheek's width instead of at one edge.
void soften_skin_colour(Picture& colour, const std::vector<bool>& skin)
{
    const double kSigma = 5.0;
    const int R = 13, w = colour.w(), h = colour.h();
    const Picture src = colour;
    auto luma = [](Col c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!skin[static_cast<size_t>(y) * w + x])
                continue;
            Col sum;
            double weight = 0.0;
            for (int j = std::max(0, y - R); j <= std::min(h - 1, y + R); ++j)
                for (int i = std::max(0, x - R); i <= std::min(w - 1, x + R); ++i) {
                    if (!skin[static_cast<size_t>(j) * w + i])
                        continue;
                    const double k =
                        std::exp(-((i - x) * (i - x) + (j - y) * (j - y)) / (2 * kSigma * kSigma));
                    sum = sum + src.at(i, j) * k;
                    weight += k;
                }
            const Col mean = sum * (1.0 / weight), own = src.at(x, y);
            const double lift = luma(own) - luma(mean);
            colour.at(x, y) = mean + rgb(lift, lift, lift);
        }
}

}  // namespace

void paint_faces(Picture& height, Picture& colour)
{
    const int size = 256, ss = 2;
    HeadView view;
    view.yaw = 0.30;
    view.pitch = -0.04;
    view.halfSize = 1.34;
    view.centreY = 0.08;
    std::vector<HeadSample> smp = trace_head(size, size, ss, view);
    const V3 reliefLight = v3(-0.4, 0.5, 1.0);
    std::vector<bool> skin(static_cast<size_t>(size) * size, false);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Col hsum, csum;
            int hits = 0, skinHits = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    const HeadSample& s =
                        smp[static_cast<size_t>(y * ss + sy) * size * ss + x * ss + sx];
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
                    double hgt = nearness * (0.85 + 0.15 * s.ao) + 0.10 * (lit - 0.6);
                    hsum = hsum + rgb(hgt, 0, 0);
                    ++hits;
                    skinHits += s.mat == kSkin;
                    csum = csum + portrait(s, soft_shadow(s.p + s.n * 0.01, norm(kKeyDir)));
                }
            // No blend at the outline: a pixel half on the background would
            // sit just over the threshold and throw its dash far off the edge.
            height.at(x, y) = 2 * hits >= ss * ss ? hsum * (1.0 / hits) : rgb(-1, 0, 0);
            colour.at(x, y) = csum * (1.0 / (ss * ss));
            skin[static_cast<size_t>(y) * size + x] = skinHits == ss * ss;
        }
    soften_skin_colour(colour, skin);
    spread_height(height);
    soften_height(height);
    limit_slope(height);
}

}  // namespace artgen

namespace artgen {

Picture paint_face3()
{
    // Tunnel wall. The picture's x runs along the tunnel's depth and its y
    // around it; toward the screen edge a texel covers about 30 pixels in
    // depth and 7 around, so everything here is big. Five neon rings run
    // round the wall, one every 51.2 columns: the tunnel moves 2.56 columns
    // a frame, so a ring passes every 20 frames, an eighth note of the
    // tune, and each visit of the scene starts 409.6 columns (eight rings)
    // on, on the same beat. The rings are thin and their cores dim, so they
    // pulse instead of flooding the screen. Between them sit dark panels,
    // eight around, each with a chrome chevron pointing down the tunnel.
    // Every feature repeats within 256 pixels, so the picture tiles
    // without a seam in both directions.
    const int size = 256;
    const double period = 256.0 / 5;
    const Col rings[5] = {rgb(0.15, 0.85, 1.00), rgb(1.00, 0.25, 0.70), rgb(0.55, 0.35, 1.00),
                          rgb(1.00, 0.55, 0.20), rgb(0.85, 0.30, 1.00)};
    Picture pic(size, size);
    // The whole wall slid along the depth so the rings pass the middle of
    // the screen on the eighth notes' beat (5.8 frames earlier than unslid):
    // the third visit runs two frames behind the first two, so it is met a
    // frame late and they a frame early.
    const double kSlide = 14.9;
    const double kWash = 0.30, kPi = 3.14159265358979323846;
    pic.shade(3, [&](double px, double y) {
        const double x = std::fmod(px + kSlide, 256.0);
        int ring = static_cast<int>(std::floor(x / period)) % 5;
        // Panels are offset half a panel around, so the picture's own edge
        // runs through their middle and not along a groove.
        double ya = y + 16.0;
        int seg = static_cast<int>(std::floor(ya / 32.0)) % 8;
        double u = x - ring * period, v = std::fmod(ya, 32.0);
        // Panel between the rings: from 15 columns after one ring to 4 before
        // the next, so the picture's edge (14.1 columns into the wall, 11.1
        // after a ring) runs through the plain groove.
        const double pw = period - 19.0;
        double pu = u - 15.0;
        Col base = (seg % 2) ? rgb8(22, 22, 78) : rgb8(50, 16, 84);
        Col c = base * (0.8 + 0.4 * fbm(x / 32.0, y / 32.0, 91u, 2, 8));
        if (pu > 0 && pu < pw) {
            // Bevelled edges, lit from one side, and a dark groove around.
            double edge = std::min(std::min(pu, pw - pu), std::min(v, 32.0 - v));
            double bevel = smooth(4.5, 3.5, edge);
            Col lit = (v < 3.5 || pu < 3.5) ? base * 1.8 : base * 0.5;
            c = mix(c, lit, bevel);
            c = c * (0.5 + 0.5 * smooth(0.3, 1.2, edge));
            // Chrome chevron pointing down the tunnel, in the middle of the panel.
            double ch = std::fabs((pu - pw / 2 + 4.0) - 0.6 * std::fabs(v - 16.0));
            double inChev = smooth(3.4, 2.6, ch) * smooth(0.5, 1.5, 13.5 - std::fabs(v - 16.0));
            if (inChev > 0) {
                double t = clamp01((v - 2.0) / 28.0);
                Col chrome =
                    t < 0.5
                        ? ramp({rgb8(40, 60, 160), rgb8(120, 180, 240), rgb8(220, 230, 255)}, t * 2)
                        : ramp({rgb8(230, 110, 190), rgb8(120, 20, 110), rgb8(230, 170, 110)},
                               (t - 0.5) * 2);
                // Dim, so the rings alone make the pulse: a bright chevron half
                // way between two rings would pulse as often again.
                c = mix(c, chrome * 0.4, inChev);
            }
        }
        // The neon ring: a tube in its colour with a pale core, a short glow.
        double d0 = std::fabs(u - 3.0), d1 = std::fabs(u - period - 3.0);
        bool next = d1 < d0;
        double dr = next ? d1 : d0;
        Col rc = rings[(ring + (next ? 1 : 0)) % 5];
        c = c + rc * (0.30 * std::exp(-dr / 2.0));
        // A broad wash of light swelling toward every ring and fading half way
        // between, a pure cosine along the depth: the frame's brightness rises
        // and falls once per ring, not twice with the panels and chevrons.
        c = c +
            rgb(0.45, 0.30, 0.75) * (kWash * (0.5 + 0.5 * std::cos(2 * kPi * (u - 3.0) / period)));
        c = mix(c, rc * 0.85, smooth(2.0, 1.2, dr));
        c = mix(c, mix(rc, rgb(1, 1, 1), 0.35), 0.5 * smooth(0.8, 0.2, dr));
        return c;
    });
    return pic;
}

}  // namespace artgen
