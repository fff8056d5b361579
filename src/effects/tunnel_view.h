// What the two tunnel scenes share: where the 640x320 view sits and how the scene clock turns
// into texture offsets.
#pragma once

// Canvas row of the view's row 0.
constexpr int kTunnelTop = 80;

// Per-frame offsets added to the depth and angle entries before they are masked to 8 bits.
struct TunnelOffsets {
    int depth;  // trunc(animation * 256)
    int angle;  // trunc(animation * 64)
};
TunnelOffsets tunnel_offsets(float animation);
