#include "assets/tunnel_tables.h"

void build_tunnel_tables(TunnelTables& t, BITMAP* face3Image)
{
    (void)face3Image;
    t.tunnel_h = 320;
    t.tunnel_w = 640;
}
