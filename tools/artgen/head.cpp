#include "head.h"

#include <algorithm>
#include <cmath>

#include "ops.h"

namespace artgen {

double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double len(V3 a) { return std::sqrt(dot(a, a)); }
V3 norm(V3 a) {
    double l = len(a);
    return l > 0 ? a * (1.0 / l) : a;
}

namespace {

double ellipsoid(V3 p, V3 c, V3 r) {
    V3 q = {(p.x - c.x) / r.x, (p.y - c.y) / r.y, (p.z - c.z) / r.z};
    double k0 = len(q);
    V3 q2 = {q.x / r.x, q.y / r.y, q.z / r.z};
    double k1 = len(q2);
    if (k1 == 0) return -std::min(r.x, std::min(r.y, r.z));
    return k0 * (k0 - 1.0) / k1;
}

double sphere(V3 p, V3 c, double r) { return len(p - c) - r; }

double capsule(V3 p, V3 a, V3 b, double ra, double rb) {
    V3 pa = p - a, ba = b - a;
    double t = clamp01(dot(pa, ba) / dot(ba, ba));
    return len(pa - ba * t) - mixd(ra, rb, t);
}

// Eyeball centres (right-hand eye; the left mirrors it).
const V3 kEye = {0.265, 0.075, 0.475};
const double kEyeR = 0.135;

}  // namespace

double head_sdf(V3 p, int* mat) {
    V3 m = {std::fabs(p.x), p.y, p.z};  // mirrored for symmetric parts

    // Skull and face mass.
    double d = ellipsoid(p, v3(0, 0.28, -0.08), v3(0.76, 0.88, 0.86));
    d = smin(d, ellipsoid(p, v3(0, -0.30, 0.10), v3(0.56, 0.62, 0.58)), 0.25);
    d = smin(d, ellipsoid(p, v3(0, -0.78, 0.30), v3(0.24, 0.17, 0.22)), 0.14);  // chin
    d = smin(d, ellipsoid(m, v3(0.36, -0.08, 0.36), v3(0.24, 0.19, 0.22)), 0.12); // cheekbones
    d = smin(d, ellipsoid(m, v3(0.40, -0.50, 0.12), v3(0.20, 0.24, 0.26)), 0.15); // jaw corners
    d = smin(d, ellipsoid(p, v3(0, 0.25, 0.55), v3(0.50, 0.11, 0.15)), 0.10);   // brow ridge
    // Eye sockets.
    d = smax(d, -ellipsoid(m, v3(0.27, 0.08, 0.70), v3(0.19, 0.12, 0.17)), 0.09);
    // Nose: bridge, tip and wings.
    double nose = capsule(p, v3(0, 0.16, 0.66), v3(0, -0.20, 0.90), 0.055, 0.075);
    nose = smin(nose, sphere(p, v3(0, -0.23, 0.86), 0.095), 0.06);
    nose = smin(nose, sphere(m, v3(0.095, -0.27, 0.77), 0.075), 0.05);
    nose = smax(nose, -sphere(m, v3(0.06, -0.33, 0.86), 0.03), 0.02);  // nostrils
    d = smin(d, nose, 0.07);
    // Ears.
    double ear = ellipsoid(m, v3(0.74, 0.02, -0.02), v3(0.08, 0.20, 0.13));
    ear = smax(ear, -ellipsoid(m, v3(0.80, 0.02, 0.0), v3(0.04, 0.13, 0.08)), 0.02);
    d = smin(d, ear, 0.05);
    // Neck.
    d = smin(d, capsule(p, v3(0, -0.55, -0.12), v3(0, -1.8, -0.16), 0.38, 0.42), 0.18);

    // Mouth: lips and the line between them.
    double upper = ellipsoid(p, v3(0, -0.45, 0.675), v3(0.17, 0.04, 0.06));
    double lower = ellipsoid(p, v3(0, -0.55, 0.665), v3(0.15, 0.046, 0.06));
    double lips = smin(upper, lower, 0.045);
    lips = smax(lips, -ellipsoid(p, v3(0, -0.505, 0.84), v3(0.22, 0.012, 0.14)), 0.015);
    int part = lips < d - 0.004 ? kLips : kSkin;
    d = smin(d, lips, 0.06);

    // Eyebrows: a thin raised band above each socket.
    double brow = capsule(m, v3(0.12, 0.255, 0.70), v3(0.41, 0.27, 0.60), 0.03, 0.018);
    if (brow < d - 0.003) part = kBrow;
    d = smin(d, brow, 0.02);

    // Eyeballs, half covered by the upper lids and a little by the lower.
    double eye = sphere(m, kEye, kEyeR);
    double lidShell = sphere(m, kEye, kEyeR + 0.008);
    double upperLid = smax(lidShell, -(m.y - kEye.y - 0.03), 0.012);
    double lowerLid = smax(lidShell, (m.y - kEye.y + 0.075), 0.012);
    double lid = std::min(upperLid, lowerLid);
    double eyeWithLid = std::min(eye, lid);
    if (eyeWithLid < d) {
        if (eye < lid) {
            V3 dir = norm(m - kEye);
            double c = dir.z;  // gaze straight ahead
            part = c > 0.968 ? kPupil : (c > 0.885 ? kIris : kEyeWhite);
        } else {
            part = kSkin;
        }
        d = smin(d, eyeWithLid, 0.006);
    }

    // Hair: a full cut combed back, lifted over the forehead, ending at a
    // hairline across the forehead, above the ears and low at the back.
    double hairMass = ellipsoid(p, v3(0, 0.50, -0.18), v3(1.02, 0.92, 1.04));
    hairMass = smin(hairMass, ellipsoid(p, v3(0.06, 0.90, 0.20), v3(0.72, 0.32, 0.56)), 0.22);
    double lineY = mixd(-0.35, 0.50, smooth(-0.35, 0.35, p.z));
    lineY = mixd(lineY, 0.22, smooth(0.55, 0.75, std::fabs(p.x)) * smooth(0.45, 0.1, p.z));
    lineY += 0.035 * std::sin(p.x * 23.0) * std::sin(p.z * 19.0 + 0.4);
    double hair = smax(hairMass, lineY - p.y, 0.09);
    // Combed strands: grooves around the front-to-back axis.
    double sweep = std::atan2(p.y - 0.1, p.x) * 26.0 + 1.2 * std::sin(p.z * 4.0 + p.x * 2.0);
    hair += 0.010 * std::sin(sweep) + 0.025 * std::sin(p.x * 5.0 + 1.0) * std::sin(p.z * 4.0 + 0.5);
    if (hair < d) part = kHair;
    d = smin(d, hair, 0.02);

    if (mat) *mat = part;
    return d;
}

std::vector<HeadSample> trace_head(int w, int h, int ss, const HeadView& view) {
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
            for (int k = 0; k < 200 && t < camDist + 2.6; ++k) {
                V3 p = ro + rd * t;
                double d = head_sdf(p, nullptr);
                if (d < 0.0008) {
                    s.hit = true;
                    break;
                }
                t += d * 0.8;
            }
            if (!s.hit) continue;
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
            s.hair = 0.5 + 0.5 * std::sin(std::atan2(p.y - 0.1, p.x) * 26.0 + 1.2 * std::sin(p.z * 4.0 + p.x * 2.0));
        }
    return out;
}

}  // namespace artgen
