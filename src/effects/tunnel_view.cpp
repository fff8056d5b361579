#include "effects/tunnel_view.h"

#include <allegro/internal/aintern.h>

#include "raster/raster.h"

TunnelOffsets tunnel_offsets(float animation)
{
    const double clock = animation;
    return {static_cast<int>(clock * 256.0), static_cast<int>(clock * 64.0)};
}

bool tunnel_rows_direct(BITMAP* bmp, int width, int top, int bottom)
{
    if (!raster::fast_paths() || !is_memory_bitmap(bmp) || bitmap_color_depth(bmp) != 32 || _drawing_mode != DRAW_MODE_SOLID)
        return false;
    if (width > bmp->w || top < 0 || bottom > bmp->h)
        return false;
    if (bmp->clip && (bmp->cl > 0 || bmp->cr < width || bmp->ct > top || bmp->cb < bottom))
        return false;
    return true;
}
