// Scene 5: the XOR tunnel on even rows with a hue smear.
#pragma once
#include <allegro.h>

#include "effects/tunnel_view.h"

struct Stage;
struct TunnelTables;

struct XorTunnel {
    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);
};

// The colour of pattern value c: makecol(c, 255 - 4c, 0), the green passed on unclamped.
int xor_colour(int c);

// The tunnel pass on even rows: every pixel (x, y), y = 0, 2, ..., of the 640x320 view gets the
// colour of the XOR pattern at (2 * depth + depthOffset, angle + angleOffset), both masked to 8
// bits, on canvas (x, y + 80).
void draw_xor_tunnel(BITMAP* canvas, const TunnelTables& t, int depthOffset, int angleOffset);
