#include "effects/helix.h"

#include "effects/scene_end.h"
#include "frame/show.h"

bool Helix::frame(Show& s)
{
    return present_and_finish(s, s.pics.canvas);
}
