// The end of a scene frame shared by placeholder scenes: present, Esc test, consume the tick.
#pragma once
#include <allegro.h>

struct Show;

// Presents `frame`, then ends the program if Esc is held (returns false), then consumes one tick.
bool present_and_finish(Show& s, BITMAP* frame);
