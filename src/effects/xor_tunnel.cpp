#include "effects/xor_tunnel.h"

#include <cassert>
#include <cstdint>

#include "assets/tunnel_tables.h"
#include "effects/scene_end.h"
#include "host/sequencer.h"
#include "host/stage.h"
#include "raster/raster.h"

int xor_colour(int c)
{
    return makecol(c, 255 - 4 * c, 0);
}

void draw_xor_tunnel(BITMAP* canvas, const TunnelTables& t, int depthOffset, int angleOffset)
{
    const int w = t.tunnel_w;
    const int h = t.tunnel_h;
    if (w <= 0 || h <= 0)
        return;
    assert(t.view_in_tables());

    // makecol of a pattern value depends only on the value and the colour depth.
    int palette[256];
    for (int c = 0; c < 256; c++)
        palette[c] = xor_colour(c);

    const raster::Rows direct = raster::writable_rows(canvas, 0, kTunnelTop, w, kTunnelTop + h);
    for (int x = 0; x < w; x++) {
        const int* depth = &t.distanceTable[(x + t.shiftLookX) * kTunnelColumn + t.shiftLookY];
        const int* angle = &t.angleTable[(x + t.shiftLookX) * kTunnelColumn + t.shiftLookY];
        for (int y = 0; y < h; y += 2) {
            const int u = (2 * depth[y] + depthOffset) & 255;
            const int v = (angle[y] + angleOffset) & 255;
            const int colour = palette[t.xorTexture[u * 256 + v]];
            if (direct)
                direct.row(y + kTunnelTop)[x] = static_cast<uint32_t>(colour);
            else
                putpixel(canvas, x, y + kTunnelTop, colour);
        }
    }
}

bool XorTunnel::frame(Stage& s)
{
    Pictures& p = s.pics;

    s.animation = static_cast<float>(s.animation + -0.03);
    const TunnelOffsets offsets = tunnel_offsets(s.animation);
    draw_xor_tunnel(p.canvas, *s.tables, offsets.depth, offsets.angle);

    s.host.poll_music();

    // The hue smear: each row onto itself one pixel right, creeping along the row.
    set_hue_blender(256, 256, 256, 7);
    raster::draw_trans_sprite(p.canvas, p.canvas, 1, 0);

    s.host.present(p.canvas);
    paint_letterbox(p.canvas);
    return finish_frame(s.host);
}
