// Scene 3: the textured tunnel with a turning pair of pictures and an added trail.
#pragma once
#include <allegro.h>

#include "effects/tunnel_view.h"

struct Stage;
struct TunnelTables;

// Where this frame's pieces go, all derived from the scene clock, the spring and the seam.
struct TunnelLayout {
    int depthOffset;       // Dz: added to the depth entry, turns into texture columns
    int angleOffset;       // Da: added to the angle entry, turns into texture rows
    int alpha;             // of the add blender for the trail
    int spriteX, spriteY;  // where auxCanvas lands on canvas
    int firstX, firstW;    // right copy in auxCanvas: left edge and width
    int secondW;           // left copy, at the left edge of auxCanvas
    int height;            // common height of both copies
};

struct Tunnel {
    float paini = 0;      // spring position; the pair hangs at 230 - paini
    float painiStep = 0;  // spring velocity, pulled by 0.1 per frame toward the rest point 100
    int kak = 0;          // seam position of the pair, 0..180 after each frame

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);
};

// The layout for a frame with the given clock, spring position and seam.
TunnelLayout tunnel_layout(float animation, float paini, int kak);

// The tunnel pass: every pixel (x, y) of the 640x320 view gets the face3 texel picked by its depth
// and angle entries plus the offsets, written unchanged to canvas (x, y + 80).
void draw_face_tunnel(BITMAP* canvas, const TunnelTables& t, int depthOffset, int angleOffset);
