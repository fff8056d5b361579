#include "effects/ending.h"

#include "frame/show.h"

int run_ending(Show& s)
{
    exit_windowed_then_deinit(s);
    return 0;
}
