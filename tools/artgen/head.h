// A sculpted head as a signed distance field, ray-marched into per-pixel
// samples (position, normal, material, occlusion) that the face painters
// light in their own ways.
#pragma once

#include <vector>

namespace artgen {

struct V3 {
    double x = 0, y = 0, z = 0;
};
inline V3 v3(double x, double y, double z)
{
    return V3{x, y, z};
}
inline V3 operator+(V3 a, V3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(V3 a, V3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator*(V3 a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double dot(V3 a, V3 b);
double len(V3 a);
V3 norm(V3 a);

enum Material {
    kSkin = 0,
    kEyeWhite = 1,
    kIris = 2,
    kPupil = 3,
    kHair = 4,
    kLips = 5,
    kBrow = 6,
    kMouth = 7,
    kLid = 8,
    kLash = 9
};

struct HeadSample {
    bool hit = false;
    V3 p;  // surface point in head space (y up, +z toward the viewer)
    V3 n;  // surface normal in head space
    int mat = kSkin;
    double ao = 1;     // 0 (buried) .. 1 (open)
    double hair = 0;   // strand pattern for hair, 0..1
    double depth = 0;  // distance of the point in front of the head centre plane, toward the viewer
    V3 view;           // unit vector from the point toward the camera, head space
};

struct HeadView {
    double yaw = 0;          // turn of the head about the vertical axis, radians
    double pitch = 0;        // nod, radians (positive lifts the chin)
    double halfSize = 1.35;  // half of the picture height, in head units at the head centre
    double centreY = 0;      // head-space height at the picture centre
};

// Distance from point p (head space) to the head surface; mat receives the
// material of the nearest part when not null.
double head_sdf(V3 p, int* mat);

// Lock index of the hair at p; across receives the position across the
// lock, 0..1 from one groove to the next.
double hair_lanes(V3 p, double* across);

// Light reaching p along dir (head space) past the head itself: 0 shadowed .. 1 open.
double soft_shadow(V3 p, V3 dir);

// Ray-marches the head for a picture of w x h samples per axis (ss x ss
// sub-samples per pixel are returned in row-major order of sub-sample rows).
std::vector<HeadSample> trace_head(int w, int h, int ss, const HeadView& view);

}  // namespace artgen
