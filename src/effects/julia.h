// Scene 4: the Julia zoom under the afro picture; ends itself once the zoom passes 64.
#pragma once

struct Show;
class ShowRandom;

struct Julia {

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Show& s);
};
