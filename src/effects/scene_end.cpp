#include "effects/scene_end.h"

#include "frame/show.h"
#include "frame/tick.h"

bool finish_frame(Show& s)
{
    if (s.host.esc_held()) {
        exit_from_frame(s);
        return false;
    }
    speed_counter.fetch_sub(1);
    return true;
}
