#include "host/sequencer.h"

#include <cmath>

int sequencer_step(int laiskuri, int& effu, int& kierros)
{
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
    return switches;
}

void paint_letterbox(BITMAP* bmp)
{
    rectfill(bmp, 0, 0, 640, 80, 0);
    rectfill(bmp, 0, 400, 640, 480, 0);
}
