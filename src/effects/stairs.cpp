#include "effects/stairs.h"

#include "effects/scene_end.h"
#include "frame/show.h"

bool Stairs::frame(Show& s)
{
    return present_and_finish(s, s.pics.canvas);
}

void Stairs::setup_tiles(ShowRandom&) {}
