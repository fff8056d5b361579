#include "host/headless_allegro.h"

#include <allegro.h>

#include <cerrno>
#include <cstdlib>

void start_headless_allegro(int depth)
{
    static bool started = false;
    if (!started) {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        started = true;
    }
    _rgb_r_shift_32 = 16;
    _rgb_g_shift_32 = 8;
    _rgb_b_shift_32 = 0;
    _rgb_r_shift_24 = 16;
    _rgb_g_shift_24 = 8;
    _rgb_b_shift_24 = 0;
    set_color_depth(depth);
}
