// Scene 0: the bobbing title, a sliding staircase and hopping tiles.
#pragma once

struct Show;
class ShowRandom;

struct Stairs {
    // Sets up the 100 tile particles (400 random draws); runs once in the preamble.
    void setup_tiles(ShowRandom& random);

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
