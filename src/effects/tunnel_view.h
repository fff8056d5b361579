// What the two tunnel scenes share: where the 640x320 view sits, how the scene clock turns into
// texture offsets, and when a view's rows may be written straight into the bitmap.
#pragma once
#include <allegro.h>

// Canvas row of the view's row 0.
constexpr int kTunnelTop = 80;

// Per-frame offsets added to the depth and angle entries before they are masked to 8 bits.
struct TunnelOffsets {
    int depth;  // trunc(animation * 256)
    int angle;  // trunc(animation * 64)
};
TunnelOffsets tunnel_offsets(float animation);

// True when rows top..bottom-1, columns 0..width-1 of `bmp` may be written straight through
// bmp->line[] with the very result putpixel would give: a 32-bit memory bitmap, solid drawing
// mode and a clipping rectangle that does not cut into the area.
bool tunnel_rows_direct(BITMAP* bmp, int width, int top, int bottom);
