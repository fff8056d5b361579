// Scene 5: the XOR tunnel on even rows with a hue smear.
#pragma once

struct Show;
class ShowRandom;

struct XorTunnel {

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
