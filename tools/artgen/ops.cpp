#include "ops.h"

#include <algorithm>

namespace artgen {

Col ramp(const std::vector<Col>& stops, double t)
{
    if (stops.empty())
        return Col{};
    if (stops.size() == 1)
        return stops[0];
    double f = clamp01(t) * static_cast<double>(stops.size() - 1);
    size_t i = static_cast<size_t>(f);
    if (i >= stops.size() - 1)
        return stops.back();
    return mix(stops[i], stops[i + 1], f - static_cast<double>(i));
}

double hash01(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<double>(h >> 8) / 16777216.0;
}

static int wrap(int v, int period)
{
    if (period <= 0)
        return v;
    int m = v % period;
    return m < 0 ? m + period : m;
}

double vnoise(double x, double y, uint32_t seed, int period)
{
    double fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    int x0 = wrap(ix, period), x1 = wrap(ix + 1, period);
    int y0 = wrap(iy, period), y1 = wrap(iy + 1, period);
    double a = hash01(x0, y0, seed), b = hash01(x1, y0, seed);
    double c = hash01(x0, y1, seed), d = hash01(x1, y1, seed);
    return mixd(mixd(a, b, tx), mixd(c, d, tx), ty);
}

double fbm(double x, double y, uint32_t seed, int octaves, int period)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * vnoise(x, y, seed + 101u * static_cast<uint32_t>(o), period);
        norm += amp;
        x *= 2;
        y *= 2;
        if (period > 0)
            period *= 2;
        amp *= 0.5;
    }
    return sum / norm;
}

void Picture::shade(int ss, const std::function<Col(double, double)>& f)
{
    const double inv = 1.0 / (ss * ss);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            Col acc;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx)
                    acc = acc + f(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss);
            at(x, y) = acc * inv;
        }
}

uint32_t Picture::packed(int x, int y) const
{
    const Col& c = at(x, y);
    auto q = [](double v) {
        long n = std::lround(clamp01(v) * 255.0);
        return static_cast<uint32_t>(n);
    };
    return (q(c.r) << 16) | (q(c.g) << 8) | q(c.b);
}

double sd_circle(double x, double y, double cx, double cy, double r)
{
    return std::hypot(x - cx, y - cy) - r;
}

double sd_box(double x, double y, double cx, double cy, double hw, double hh)
{
    double dx = std::fabs(x - cx) - hw, dy = std::fabs(y - cy) - hh;
    double ox = std::max(dx, 0.0), oy = std::max(dy, 0.0);
    return std::hypot(ox, oy) + std::min(std::max(dx, dy), 0.0);
}

double sd_segment(double x, double y, double ax, double ay, double bx, double by)
{
    double px = x - ax, py = y - ay, vx = bx - ax, vy = by - ay;
    double t = clamp01((px * vx + py * vy) / (vx * vx + vy * vy));
    return std::hypot(px - vx * t, py - vy * t);
}

double smin(double a, double b, double k)
{
    double h = clamp01(0.5 + 0.5 * (b - a) / k);
    return mixd(b, a, h) - k * h * (1 - h);
}

double smax(double a, double b, double k)
{
    return -smin(-a, -b, k);
}

}  // namespace artgen
