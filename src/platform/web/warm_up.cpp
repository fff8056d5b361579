#include "platform/web/warm_up.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <vector>

#include "effects/plasma.h"
#include "host/headless_allegro.h"
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

void warm_up_drawing(Host& host)
{
    start_headless_allegro(32);  // as the start-up probe left it
    const BlenderState was = save_blender();
    // Big enough that the browser also sees the loops run hot and optimizes them before the
    // show needs them.
    BITMAP* a = create_bitmap_ex(32, 256, 256);
    BITMAP* b = create_bitmap_ex(32, 256, 256);
    BITMAP* canvas = create_bitmap_ex(32, 640, 480);
    if (a && b && canvas) {
        for (int y = 0; y < a->h; y++)
            for (int x = 0; x < a->w; x++)
                putpixel(a, x, y, makecol32(x, y, x ^ y));
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
        raster::fastline(a, 0, 0, 255, 200, 0x123456);
        raster::rectfill(a, 2, 2, 9, 9, 0x654321);
        std::vector<double> re(2048), im(2048);
        std::vector<int> counts(2048);
        for (size_t k = 0; k < re.size(); k++) {
            re[k] = -0.5 + static_cast<double>(k % 64) / 64.0;
            im[k] = -0.5 + static_cast<double>(k / 64) / 32.0;
        }
        raster::escape_counts(re.data(), im.data(), static_cast<int>(re.size()), -0.7, 0.27015, 60,
                              counts.data());
        raster::stretch_blit(a, b, 0, 0, 128, 100, 0, 0, 250, 200);
        raster::stretch_sprite(b, a, 3, 3, 200, 150);
        rotate_sprite(b, a, 0, 0, itofix(30));
        draw_sprite(b, a, 0, 0);
        // A plasma of its own (not the show's), with its relief over the scratch pictures.
        Plasma plasma;
        plasma.plasma_w = 160;
        plasma.plasma_h = 80;
        plasma.draw_plasma(canvas);
        plasma.update_parameters();
        plasma.draw_relief(host, canvas, a, b);
        clear_to_color(canvas, 0);
    }
    for (BITMAP* bmp : {a, b, canvas})
        if (bmp)
            destroy_bitmap(bmp);
    restore_blender(was);
}
