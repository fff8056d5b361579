#include "head.h"

#include <algorithm>
#include <cmath>

#include "ops.h"

namespace artgen {

double dot(V3 a, V3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double len(V3 a)
{
    return std::sqrt(dot(a, a));
}
V3 norm(V3 a)
{
    double l = len(a);
    return l > 0 ? a * (1.0 / l) : a;
}

namespace {

double ellipsoid(V3 p, V3 c, V3 r)
{
    V3 q = {(p.x - c.x) / r.x, (p.y - c.y) / r.y, (p.z - c.z) / r.z};
    double k0 = len(q);
    V3 q2 = {q.x / r.x, q.y / r.y, q.z / r.z};
    double k1 = len(q2);
    if (k1 == 0)
        return -std::min(r.x, std::min(r.y, r.z));
    return k0 * (k0 - 1.0) / k1;
}

double sphere(V3 p, V3 c, double r)
{
    return len(p - c) - r;
}

double capsule(V3 p, V3 a, V3 b, double ra, double rb)
{
    V3 pa = p - a, ba = b - a;
    double t = clamp01(dot(pa, ba) / dot(ba, ba));
    return len(pa - ba * t) - mixd(ra, rb, t);
}

// Eyeball centres (right-hand eye; the left mirrors it).
const V3 kEye = {0.262, 0.070, 0.462};
const double kEyeR = 0.128;
const double kPi = 3.14159265358979323846;

// Height of the mouth line in the middle; a lopsided smile lifts its
// corners, the right one more.
const double kMouthY = -0.505;
double mouth_y(double x)
{
    const double u = x / 0.17;
    return kMouthY + 0.05 * u * u + 0.016 * u;
}

// Raised bump over an ellipse of the face's x-y plane: 1 in the middle,
// falling smoothly to 0 at its rim.
double dome(double x, double y, double cx, double cy, double rx, double ry)
{
    double u = (x - cx) / rx, v = (y - cy) / ry;
    double q = u * u + v * v;
    return q >= 1 ? 0 : (1 - q) * (1 - q);
}

// How far the lips stand out of the face at (x, y), and whether the point
// lies on them (weight 0..1). The upper lip has a bow in the middle, the
// lower one is fuller; both meet at the mouth line.
double lips_at(double x, double y, double* weight)
{
    double ax = std::fabs(x);
    const double my = mouth_y(x);
    // Upper lip: from the mouth line up to an edge that dips in the middle
    // and peaks either side of it.
    double uw = 0.19;
    double across = clamp01(1 - (ax / uw) * (ax / uw));
    double top = 0.080 * std::pow(across, 0.6) - 0.011 * std::exp(-(ax / 0.028) * (ax / 0.028)) +
                 0.007 * std::exp(-((ax - 0.046) / 0.03) * ((ax - 0.046) / 0.03));
    double up = 0, wUp = 0;
    if (top > 0.004 && y >= my && y <= my + top) {
        double t = (y - my) / top;
        up = 0.042 * std::sin(kPi * std::pow(t, 0.75)) * std::pow(across, 0.5);
        wUp = smooth(0.0, 0.12, across) * smooth(1.0, 0.85, t);
    }
    // Lower lip.
    double lw = 0.175;
    double acrossL = clamp01(1 - (ax / lw) * (ax / lw));
    double bottom = 0.108 * std::pow(acrossL, 0.5);
    double low = 0, wLow = 0;
    if (bottom > 0.004 && y < my && y >= my - bottom) {
        double t = (my - y) / bottom;
        low = 0.066 * std::sin(kPi * std::pow(t, 1.25)) * std::pow(acrossL, 0.5);
        wLow = smooth(0.0, 0.12, acrossL) * smooth(1.0, 0.8, t);
    }
    if (weight)
        *weight = std::max(wUp, wLow);
    return up + low;
}

}  // namespace

double hair_lanes(V3 p, double* across)
{
    // Locks combed back from the forehead: lanes around the front-to-back
    // axis, waving a little along their length, a dozen over the crown.
    double ang = std::atan2(p.y - 0.05, p.x);
    double lane = ang * 12.0 / kPi + 0.45 * std::sin(p.z * 2.6 + p.x * 1.7) +
                  0.25 * std::sin(p.z * 5.3 + 1.0);
    double idx = std::floor(lane);
    double f = lane - idx;
    if (across)
        *across = f;
    return idx;
}

double head_sdf(V3 p, int* mat)
{
    V3 m = {std::fabs(p.x), p.y, p.z};  // mirrored for symmetric parts

    // Skull and face mass.
    double d = ellipsoid(p, v3(0, 0.28, -0.10), v3(0.74, 0.88, 0.84));
    d = smin(d, ellipsoid(p, v3(0, -0.26, 0.10), v3(0.50, 0.66, 0.58)), 0.30);
    d = smin(d, ellipsoid(p, v3(0, -0.84, 0.30), v3(0.21, 0.15, 0.21)), 0.14);     // chin
    d = smin(d, ellipsoid(m, v3(0.33, -0.04, 0.38), v3(0.20, 0.12, 0.20)), 0.12);  // cheekbones
    d = smin(d, ellipsoid(m, v3(0.32, -0.54, 0.12), v3(0.19, 0.22, 0.26)), 0.18);  // jaw corners
    d = smin(d, ellipsoid(p, v3(0, 0.24, 0.54), v3(0.48, 0.10, 0.15)), 0.10);      // brow ridge
    // Eye sockets.
    d = smax(d, -ellipsoid(m, v3(0.265, 0.11, 0.67), v3(0.17, 0.09, 0.15)), 0.16);
    // Nose: a narrow bridge from between the brows to the tip, the tip and
    // the wings, with the nostrils cut under them.
    V3 q = {p.x * 1.6, p.y, p.z};
    double nose = capsule(q, v3(0, 0.15, 0.63), v3(0, -0.18, 0.87), 0.045, 0.075) / 1.6;
    nose = smin(nose, sphere(p, v3(0, -0.215, 0.845), 0.064), 0.07);
    nose = smin(nose, sphere(m, v3(0.078, -0.262, 0.762), 0.054), 0.07);
    nose = smax(nose, -sphere(m, v3(0.052, -0.318, 0.835), 0.026), 0.02);  // nostrils
    d = smin(d, nose, 0.06);
    // The groove between the nose and the upper lip.
    d += 0.010 * dome(p.x, p.y, 0, -0.40, 0.035, 0.07) * smooth(0.4, 0.6, p.z);
    // Ears: a flat shell standing out from the side of the head, broad at
    // the top and narrowing to the lobe, with a rolled rim (the helix), a
    // deep bowl in front of it and a small flap (the tragus) at the front.
    V3 e = {m.x - 0.66, m.y - 0.0, m.z + 0.02};
    double earW = mixd(0.075, 0.145, smooth(-0.24, 0.10, e.y));  // wider at the top
    double ear = ellipsoid(e, v3(0.04, 0.0, 0.0), v3(0.075, 0.25, earW));
    double helix =
        std::fabs(ellipsoid(e, v3(0.08, 0.01, -0.005), v3(0.05, 0.225, earW - 0.02))) - 0.014;
    double bowl = ellipsoid(e, v3(0.115, -0.01, 0.01), v3(0.05, 0.16, earW * 0.6));
    ear = smax(ear, -bowl, 0.02);
    ear = smin(ear, helix, 0.015);
    ear = smin(ear, sphere(e, v3(0.05, -0.04, 0.085), 0.032), 0.02);
    d = smin(d, ear, 0.08);  // grown into the side of the head, no gap behind it
    // Neck, cut square under the jaw so it ends on one clean edge.
    double neck = capsule(p, v3(0, -0.55, -0.12), v3(0, -1.8, -0.16), 0.36, 0.40);
    neck = smax(neck, (-1.08 - 0.08 * p.z) - p.y, 0.02);
    d = smin(d, neck, 0.16);

    // Lips stand out of the face; the mouth between them is slightly open.
    double front = smooth(0.35, 0.55, p.z);
    double lipW = 0;
    d -= lips_at(p.x, p.y, &lipW) * front;
    double slit = ellipsoid(v3(p.x, p.y - (mouth_y(p.x) - kMouthY), p.z),
                            v3(0, kMouthY - 0.002, 0.70), v3(0.155, 0.011, 0.11));
    d = smax(d, -slit, 0.012);
    int part = kSkin;
    if (lipW * front > 0.3)
        part = kLips;
    if (slit < 0.004 && p.z > 0.45)
        part = kMouth;

    // Eyebrows: painted on the brow ridge, barely raised.
    double bx = std::fabs(p.x);
    double browLine =
        0.255 + 0.03 * std::sin(kPi * clamp01((bx - 0.10) / 0.32)) - 0.01 * (bx - 0.1);
    double brow = std::fabs(p.y - browLine) - 0.022 * (1 - smooth(0.28, 0.44, bx));
    if (brow < 0 && bx > 0.09 && bx < 0.44 && p.z > 0.35) {
        part = kBrow;
        d -= 0.006;
    }

    // Eyeballs, under upper lids that cover their top third and lower lids
    // that cover a little; the lids have a thickness of their own.
    double eye = sphere(m, kEye, kEyeR);
    double lidShell = sphere(m, kEye, kEyeR + 0.009);
    double upperLid = smax(lidShell, -(m.y - kEye.y - 0.040), 0.014);
    double lowerLid = smax(lidShell, (m.y - kEye.y + 0.062), 0.014);
    double lid = std::min(upperLid, lowerLid);
    double eyeWithLid = std::min(eye, lid);
    if (eyeWithLid < d) {
        if (eye < lid) {
            V3 dir = norm(m - kEye);
            double c = dir.z;  // gaze straight ahead
            part = c > 0.972 ? kPupil : (c > 0.885 ? kIris : kEyeWhite);
        } else if (upperLid < lowerLid && m.y - kEye.y < 0.060 && m.z > kEye.z) {
            // Lashes along the upper lid's edge, the lid above them.
            part = m.y - kEye.y < 0.050 ? kLash : kLid;
        } else {
            part = kLid;
        }
        d = smin(d, eyeWithLid, 0.02);
    }

    // Hair: a full cut combed back, lifted over the forehead and ending on a
    // smooth hairline across the forehead, above the ears and low at the
    // back; grooves between the locks make it read as clumps of hair.
    // The hair is a layer over the skull, thin at the hairline and thick
    // over the crown, with a lifted quiff above the forehead.
    double lineY = mixd(-0.35, 0.46, smooth(-0.35, 0.35, p.z));
    lineY = mixd(lineY, 0.24, smooth(0.52, 0.72, std::fabs(p.x)) * smooth(0.45, 0.1, p.z));
    lineY +=
        0.10 * smooth(0.1, 0.5, std::fabs(p.x)) * smooth(0.2, 0.5, p.z);  // rounded at the temples
    double thick = 0.03 + 0.15 * smooth(lineY - 0.05, lineY + 0.45, p.y);
    thick += 0.16 *
             std::exp(-(p.y - 0.78) * (p.y - 0.78) / 0.06 - (p.x - 0.05) * (p.x - 0.05) / 0.25) *
             smooth(-0.1, 0.5, p.z);
    double skull = ellipsoid(p, v3(0, 0.28, -0.08), v3(0.74, 0.88, 0.86));
    double hair = smax(skull - thick, lineY - p.y, 0.05);
    double f;
    double idx = hair_lanes(p, &f);
    double lock = std::sqrt(std::max(0.0, 1 - (2 * f - 1) * (2 * f - 1)));
    double depth = 0.035 + 0.03 * hash01(static_cast<int>(idx), 7, 301u);
    // Some locks part into two thinner strands along part of their length.
    double split =
        smooth(0.4, 0.7, hash01(static_cast<int>(idx), 8, 301u)) *
        smooth(-0.2, 0.3, std::sin(p.z * 3.0 + 6.0 * hash01(static_cast<int>(idx), 9, 301u)));
    double f2 = std::fabs(2 * f - 1);
    double sub = std::sqrt(std::max(0.0, 1 - (2 * f2 - 1) * (2 * f2 - 1)));
    hair += depth * (1 - lock) + 0.4 * depth * split * (1 - sub) * lock;
    if (hair < d)
        part = kHair;
    d = smin(d, hair, 0.02);

    if (mat)
        *mat = part;
    return d;
}

double soft_shadow(V3 p, V3 dir)
{
    double res = 1, t = 0.02;
    for (int k = 0; k < 48 && t < 2.5; ++k) {
        double h = head_sdf(p + dir * t, nullptr);
        res = std::min(res, 8.0 * h / t);
        if (res < 0.001)
            return 0;
        t += std::max(0.01, h * 0.8);
    }
    return clamp01(res);
}

std::vector<HeadSample> trace_head(int w, int h, int ss, const HeadView& view)
{
    const int W = w * ss, H = h * ss;
    std::vector<HeadSample> out(static_cast<size_t>(W) * H);
    const double camDist = 7.0;
    const double tanHalf = view.halfSize / camDist;
    const double cy = std::cos(view.yaw), sy = std::sin(view.yaw);
    const double cp = std::cos(view.pitch), sp = std::sin(view.pitch);
    // World to head space: undo yaw then pitch.
    auto toHead = [&](V3 v) {
        V3 a = {cy * v.x - sy * v.z, v.y, sy * v.x + cy * v.z};
        return V3{a.x, cp * a.y + sp * a.z, -sp * a.y + cp * a.z};
    };
    const double aspect = static_cast<double>(w) / h;
    for (int j = 0; j < H; ++j)
        for (int i = 0; i < W; ++i) {
            double u = ((i + 0.5) / W * 2 - 1) * aspect;
            double v = 1 - (j + 0.5) / H * 2;
            V3 ro = toHead(v3(0, view.centreY, camDist));
            V3 rd = toHead(norm(v3(u * tanHalf, v * tanHalf, -1)));
            HeadSample& s = out[static_cast<size_t>(j) * W + i];
            double t = camDist - 2.6;
            for (int k = 0; k < 400 && t < camDist + 2.6; ++k) {
                V3 p = ro + rd * t;
                double d = head_sdf(p, nullptr);
                if (d < 0.0008) {
                    s.hit = true;
                    break;
                }
                t += d * 0.6;
            }
            if (!s.hit)
                continue;
            V3 p = ro + rd * t;
            s.p = p;
            s.depth = camDist - t;
            head_sdf(p, &s.mat);
            const double e = 0.0015;
            V3 n = {head_sdf(p + v3(e, 0, 0), nullptr) - head_sdf(p - v3(e, 0, 0), nullptr),
                    head_sdf(p + v3(0, e, 0), nullptr) - head_sdf(p - v3(0, e, 0), nullptr),
                    head_sdf(p + v3(0, 0, e), nullptr) - head_sdf(p - v3(0, 0, e), nullptr)};
            s.n = norm(n);
            double occ = 0;
            for (int k = 1; k <= 5; ++k) {
                double hk = 0.035 * k;
                occ += (hk - head_sdf(p + s.n * hk, nullptr)) / std::pow(2.0, k);
            }
            s.ao = clamp01(1 - 2.2 * occ);
            double across;
            double lane = hair_lanes(p, &across);
            // Strands: fine streaks along each lock, brightest on its crest.
            double streak = 0.5 + 0.5 * std::sin(across * 2 * kPi * 4.0 +
                                                 3.0 * hash01(static_cast<int>(lane), 3, 302u));
            s.hair =
                clamp01(0.55 * std::sqrt(std::max(0.0, 1 - (2 * across - 1) * (2 * across - 1))) +
                        0.45 * streak);
            s.view = norm(ro - p);
        }
    return out;
}

}  // namespace artgen
