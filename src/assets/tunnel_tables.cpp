#include "assets/tunnel_tables.h"

#include <cmath>

void build_tunnel_tables(TunnelTables& t, BITMAP* face3Image)
{
    // Textures: the first index is the picture's x, the second its y.
    for (int i = 0; i <= 255; i++) {
        for (int j = 0; j <= 255; j++) {
            t.texture[i * 256 + j] = getpixel(face3Image, i, j);
            t.xorTexture[i * 256 + j] = j ^ i;
        }
    }

    t.tunnel_h = 320;
    t.tunnel_w = 640;
    const int cx = t.tunnel_w / 2;
    const int cy = t.tunnel_h / 2;
    for (int x = 0; x < t.tunnel_w; x++) {
        for (int y = 0; y < t.tunnel_h; y++) {
            const int dx = x - cx;
            const int dy = y - cy;
            const double r = std::sqrt(static_cast<double>(dx * dx + dy * dy));

            // Depth: -12*256 / r truncated, then the remainder modulo 256 with the sign of the
            // dividend, so -255..0. The centre has no finite quotient; its entry is 0.
            int depth = 0;
            if (r > 0.0) {
                const int d = static_cast<int>(-3072.0 / r);
                depth = d - 256 * (d / 256);
            }

            // Angle: 128 units per half turn (by 3.1416, not pi), twisted by (x - y) / 8.
            const int q = (x - y) / 8;
            const double a =
                std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 128.0 / 3.1416 + q;

            t.distanceTable[x * kTunnelColumn + y] = depth;
            t.angleTable[x * kTunnelColumn + y] = static_cast<int>(a);
        }
    }
}
