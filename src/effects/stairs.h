// Scene 0: the bobbing title, a sliding staircase and hopping tiles.
#pragma once

struct Stage;
class ShowRandom;

// A rectangle for stretch_sprite: left, top, width, height.
struct StretchRect {
    int x, y, w, h;
};

// Stair `step` (0..19) at slide phase p (0..21), with the bob sine s of the frame.
StretchRect stair_rect(int step, int p, double s);
// The riser strip under stair `step` (drawn for steps 11..19); its last row is the stair's first.
StretchRect riser_rect(int step, int p, double s);

struct Stairs {
    // Tile particles; the frame moves and draws entries 0..19 only.
    float dropx[100] = {};  // horizontal offset; left edge at 310 + dropx
    float dropy[100] = {};  // vertical offset; top edge at 150 + dropz + dropy
    float dropz[100] = {};  // nearness 0..400: size and depth down the screen
    float dropa[100] = {};  // vertical velocity per sub-step
    float dropd[100] = {};  // sideways speed; dropx moves by dropd / 8 per sub-step
    float drops[100] = {};  // nearness speed per sub-step
    int drop = 0;           // tile index of the particle loops
    int step = 0;           // stair index of the frame loop, also the tile sub-step
    int porras_liuku = 0;   // slide phase of the staircase, 0..21

    // Sets up the 100 tile particles (400 random draws); runs once in the preamble.
    void setup_tiles(ShowRandom& random);

    // One sub-step of tile i with the random value `rnd` for its bounce test; returns where the
    // tile is stamped.
    StretchRect tile_substep(int i, int rnd);

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);
};
