#include "effects/scene_end.h"

#include "host/exits.h"
#include "host/host.h"

bool finish_frame(Host& host)
{
    if (host.esc_held()) {
        exit_from_frame(host);
        return false;
    }
    host.take_tick();
    return true;
}
