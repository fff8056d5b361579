#include "effects/tunnel_view.h"

TunnelOffsets tunnel_offsets(float animation)
{
    const double clock = animation;
    return {static_cast<int>(clock * 256.0), static_cast<int>(clock * 64.0)};
}
