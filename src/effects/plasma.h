// Scene 1: block plasma under the line relief of two turning faces.
#pragma once

struct Show;
class ShowRandom;

struct Plasma {
    int plasma_w = 0;  // plasma size in 4x4 blocks, set in the preamble
    int plasma_h = 0;

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
