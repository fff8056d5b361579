// Small picture operators shared by the artwork painters: colours, a float
// picture buffer, hashed noise and a few shaping helpers. Everything here is
// plain double arithmetic with fixed seeds, so a picture comes out identical
// on every run.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace artgen {

struct Col {
    double r = 0, g = 0, b = 0;
};

inline Col rgb(double r, double g, double b)
{
    return Col{r, g, b};
}
// Colour from 0..255 components.
inline Col rgb8(int r, int g, int b)
{
    return Col{r / 255.0, g / 255.0, b / 255.0};
}
inline Col operator+(Col a, Col b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Col operator-(Col a, Col b)
{
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}
inline Col operator*(Col a, double s)
{
    return {a.r * s, a.g * s, a.b * s};
}
inline Col operator*(double s, Col a)
{
    return a * s;
}
inline Col operator*(Col a, Col b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

inline double clamp01(double v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}
inline double mixd(double a, double b, double t)
{
    return a + (b - a) * t;
}
inline Col mix(Col a, Col b, double t)
{
    return a + (b - a) * t;
}
inline double smooth(double e0, double e1, double v)
{
    double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
// Blends a colour over another with coverage a (0..1).
inline Col over(Col base, Col top, double a)
{
    return mix(base, top, clamp01(a));
}
// Screen blend, for light added over a picture without blowing out.
inline Col screen(Col a, Col b)
{
    return {1 - (1 - clamp01(a.r)) * (1 - clamp01(b.r)),
            1 - (1 - clamp01(a.g)) * (1 - clamp01(b.g)),
            1 - (1 - clamp01(a.b)) * (1 - clamp01(b.b))};
}

// Colour ramp through evenly spaced stops, t in 0..1.
Col ramp(const std::vector<Col>& stops, double t);

// Integer hash of a lattice point and a seed, to 0..1.
double hash01(int32_t x, int32_t y, uint32_t seed);
// Smooth value noise in 0..1. With period > 0 the lattice wraps, so the
// noise tiles every `period` units in both directions.
double vnoise(double x, double y, uint32_t seed, int period = 0);
// Fractal sum of value noise, octaves halving in size; 0..1.
double fbm(double x, double y, uint32_t seed, int octaves, int period = 0);

// A float picture; (0,0) is the top-left pixel.
class Picture {
public:
    Picture(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}
    int w() const { return w_; }
    int h() const { return h_; }
    Col& at(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
    const Col& at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
    // Fills every pixel with the average of ss x ss samples of f at pixel
    // coordinates (pixel centres at +0.5).
    void shade(int ss, const std::function<Col(double, double)>& f);
    // Packed 0xRRGGBB of a pixel, rounded and clamped.
    uint32_t packed(int x, int y) const;

private:
    int w_, h_;
    std::vector<Col> px_;
};

// 2D signed distances (negative inside).
double sd_circle(double x, double y, double cx, double cy, double r);
double sd_box(double x, double y, double cx, double cy, double hw, double hh);
double sd_segment(double x, double y, double ax, double ay, double bx, double by);
// Polynomial smooth minimum with blend radius k.
double smin(double a, double b, double k);
double smax(double a, double b, double k);

}  // namespace artgen
