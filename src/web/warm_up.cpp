#include "web/warm_up.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "frame/headless_allegro.h"
#include "raster/raster.h"

namespace {

// Allegro's blender: the functions, colours and alpha that set_*_blender set.
struct BlenderState {
    BLENDER_FUNC f15, f16, f24, f32, f15x, f16x, f24x;
    int c15, c16, c24, c32, alpha;
};

BlenderState save_blender()
{
    return {_blender_func15,  _blender_func16,  _blender_func24,  _blender_func32,
            _blender_func15x, _blender_func16x, _blender_func24x, _blender_col_15,
            _blender_col_16,  _blender_col_24,  _blender_col_32,  _blender_alpha};
}

void restore_blender(const BlenderState& b)
{
    _blender_func15 = b.f15;
    _blender_func16 = b.f16;
    _blender_func24 = b.f24;
    _blender_func32 = b.f32;
    _blender_func15x = b.f15x;
    _blender_func16x = b.f16x;
    _blender_func24x = b.f24x;
    _blender_col_15 = b.c15;
    _blender_col_16 = b.c16;
    _blender_col_24 = b.c24;
    _blender_col_32 = b.c32;
    _blender_alpha = b.alpha;
}

}  // namespace

void warm_up_drawing()
{
    start_headless_allegro(32);  // as the start-up probe left it
    const BlenderState was = save_blender();
    BITMAP* a = create_bitmap_ex(32, 64, 40);
    BITMAP* b = create_bitmap_ex(32, 64, 40);
    if (a && b) {
        for (int y = 0; y < a->h; y++)
            for (int x = 0; x < a->w; x++)
                putpixel(a, x, y, makecol32(x * 4, y * 6, (x ^ y) * 4));
        blit(a, b, 0, 0, 0, 0, a->w, a->h);
        // Every blender, in place along and across the rows, and from another bitmap.
        for (int kind = 0; kind < 3; kind++) {
            if (kind == 0)
                set_trans_blender(300, 300, 300, 30);
            else if (kind == 1)
                set_add_blender(80, 200, 20, 40);
            else
                set_hue_blender(256, 256, 256, 7);
            for (int dx = -3; dx <= 4; dx++)
                raster::draw_trans_sprite(a, a, dx, dx & 1);
            raster::draw_trans_sprite(a, a, 1, 0);
            raster::draw_trans_sprite(a, b, 0, -10);
        }
        raster::fastline(a, 0, 0, 63, 39, 0x123456);
        raster::rectfill(a, 2, 2, 9, 9, 0x654321);
        const double re[5] = {0.1, -0.2, 0.3, 0.0, 0.5}, im[5] = {0.2, 0.1, -0.3, 0.0, 0.4};
        int counts[5];
        raster::escape_counts(re, im, 5, -0.7, 0.27015, 20, counts);
        stretch_blit(a, b, 0, 0, 32, 20, 0, 0, 60, 37);
        stretch_sprite(b, a, 3, 3, 50, 30);
        rotate_sprite(b, a, 0, 0, itofix(30));
        draw_sprite(b, a, 0, 0);
        clear_to_color(a, 0);
    }
    if (a)
        destroy_bitmap(a);
    if (b)
        destroy_bitmap(b);
    restore_blender(was);
}
