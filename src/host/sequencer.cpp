#include "host/sequencer.h"

#include <cassert>
#include <cmath>

int sequencer_step(int laiskuri, int& effu, int& kierros)
{
    // Called from the main loop only, which has left for the ending once effu reached 6.
    assert(effu >= 0 && effu <= 5 && kierros >= 0 && kierros <= 2);
    int switches = 0;
    if (effu == 5 && std::fmod(static_cast<double>(laiskuri), 60.0) == 0.0) {
        effu += 1;
        switches++;
    }
    if (std::fmod(static_cast<double>(laiskuri), 160.0) == 0.0) {
        effu += 1;
        switches++;
    }
    if (effu == 6) {
        kierros += 1;
        effu = 0;
    }
    if (kierros == 3)
        effu = 6;
    assert(effu >= 0 && effu <= 6 && kierros <= 3 && switches <= 2);
    return switches;
}

void paint_letterbox(BITMAP* bmp)
{
    rectfill(bmp, 0, 0, 640, 80, 0);
    rectfill(bmp, 0, 400, 640, 480, 0);
}
