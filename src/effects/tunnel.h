// Scene 3: the textured tunnel with a turning pair of pictures and an added trail.
#pragma once

struct Show;
class ShowRandom;

struct Tunnel {

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
