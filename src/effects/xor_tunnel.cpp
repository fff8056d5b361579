#include "effects/xor_tunnel.h"

#include "effects/scene_end.h"
#include "frame/show.h"

bool XorTunnel::frame(Show& s)
{
    return present_and_finish(s, s.pics.canvas);
}
