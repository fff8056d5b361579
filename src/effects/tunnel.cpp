#include "effects/tunnel.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "assets/tunnel_tables.h"
#include "effects/scene_end.h"
#include "effects/spring.h"
#include "host/sequencer.h"
#include "host/stage.h"
#include "raster/raster.h"

TunnelLayout tunnel_layout(float animation, float paini, int kak)
{
    TunnelLayout l;
    const double clock = animation;
    const TunnelOffsets offsets = tunnel_offsets(animation);
    l.depthOffset = offsets.depth;
    l.angleOffset = offsets.angle;
    l.alpha = static_cast<int>(paini / 2.0 + 10.0);
    const double scale = std::sin(clock) + 0.5;
    l.firstX = static_cast<int>(scale * kak);
    l.firstW = static_cast<int>(scale * std::abs(180 - kak));
    l.secondW = static_cast<int>(scale * (180 - std::abs(180 - kak)));
    l.height = static_cast<int>(scale * 240.0);
    l.spriteX = static_cast<int>(270.0 - std::sin(clock) * 100.0);
    l.spriteY = static_cast<int>(230.0 - paini);
    return l;
}

void draw_face_tunnel(BITMAP* canvas, const TunnelTables& t, int depthOffset, int angleOffset)
{
    const int w = t.tunnel_w;
    const int h = t.tunnel_h;
    if (w <= 0 || h <= 0)
        return;
    assert(t.view_in_tables());
    const raster::Rows direct = raster::writable_rows(canvas, 0, kTunnelTop, w, kTunnelTop + h);
    for (int x = 0; x < w; x++) {
        const int* depth = &t.distanceTable[(x + t.shiftLookX) * kTunnelColumn + t.shiftLookY];
        const int* angle = &t.angleTable[(x + t.shiftLookX) * kTunnelColumn + t.shiftLookY];
        if (direct) {
            for (int y = 0; y < h; y++) {
                const int u = (depth[y] + depthOffset) & 255;
                const int v = (angle[y] + angleOffset) & 255;
                direct.row(y + kTunnelTop)[x] = static_cast<uint32_t>(t.texture[u * 256 + v]);
            }
        } else {
            for (int y = 0; y < h; y++) {
                const int u = (depth[y] + depthOffset) & 255;
                const int v = (angle[y] + angleOffset) & 255;
                putpixel(canvas, x, y + kTunnelTop, t.texture[u * 256 + v]);
            }
        }
    }
}

bool Tunnel::frame(Stage& s)
{
    Pictures& p = s.pics;

    s.animation = static_cast<float>(s.animation + 0.01);
    const TunnelOffsets offsets = tunnel_offsets(s.animation);
    draw_face_tunnel(p.canvas, *s.tables, offsets.depth, offsets.angle);

    // Spring: a bang-bang pull toward 100.
    spring_step(paini, painiStep, 100.0, 0.1);

    // Seam: moves with the spring's distance from rest, wrapping to the opposite edge.
    kak = static_cast<int>(kak + (paini - 100.0) / 10.0);
    if (kak > 180)
        kak = 0;
    if (kak < 0)
        kak = 180;

    s.host.poll_music();

    const TunnelLayout l = tunnel_layout(s.animation, paini, kak);
    const int green = s.random.next();
    set_add_blender(80, green, 20, l.alpha);

    // The two copies of the ilta picture's 180x240 corner, seam at scale * kak.
    raster::stretch_blit(p.iltaImage, p.auxCanvas, 0, 0, 180, 240, l.firstX, 0, l.firstW, l.height);
    raster::stretch_blit(p.iltaImage, p.auxCanvas, 0, 0, 180, 240, 0, 0, l.secondW, l.height);
    draw_sprite(p.canvas, p.auxCanvas, l.spriteX, l.spriteY);

    // The trail: the canvas added onto itself 5 left and 5 down, compounding down the rows.
    raster::draw_trans_sprite(p.canvas, p.canvas, -5, 5);
    clear_to_color(p.auxCanvas, makecol(255, 0, 255));

    s.host.present(p.canvas);
    paint_letterbox(p.canvas);
    return finish_frame(s.host);
}
