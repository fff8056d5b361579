// Scene 2: a twisted column of square outlines over a rippling picture.
#pragma once

struct Show;
class ShowRandom;

struct Helix {

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
