#include "effects/scene_end.h"

#include "frame/exits.h"
#include "frame/host.h"
#include "frame/tick.h"

bool finish_frame(Host& host)
{
    if (host.esc_held()) {
        exit_from_frame(host);
        return false;
    }
    speed_counter.fetch_sub(1);
    return true;
}
