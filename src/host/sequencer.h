// The scene sequencer: which scene a main-loop frame runs, decided by frame count alone.
#pragma once
#include <allegro.h>

// Applies the switch rules for the frame numbered `laiskuri` (already advanced): the short scene
// 5 ends on multiples of 60, every scene on multiples of 160, a finished cycle goes back to scene
// 0, and after three cycles `effu` becomes 6 (the ending). Returns how many switches fired; the
// caller paints the letterbox once for each, before the frame's scene draws.
int sequencer_step(int laiskuri, int& effu, int& kierros);

// The black bars over rows 0..80 and 400..479, painted at every switch and by several scenes.
void paint_letterbox(BITMAP* bmp);
