#include "effects/plasma.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "frame/exits.h"
#include "frame/stage.h"
#include "frame/tick.h"
#include "raster/raster.h"

PlasmaCell plasma_cell(int c, int r, int w, int h, float pano, float plasm, float plusm)
{
    PlasmaCell cell;
    const double a = 128.0 * std::sin(static_cast<double>(pano) + c / 8.0) + 128.0 + 128.0;
    const double b = 128.0 * std::sin(static_cast<double>(plusm) + r / 16.0) + a + 128.0;
    const double dx = 100.0 * std::cos(static_cast<double>(pano) / 50.0) + 40.0 + c - w / 2.0;
    const double dy = (r + static_cast<double>(plasm)) - h / 2.0;
    cell.d = std::sqrt(dx * dx + dy * dy);
    cell.value = 128.0 * std::sin(cell.d / 5.0) + b;
    cell.v = static_cast<int>(cell.value);
    cell.q = cell.v / 4;
    cell.red = static_cast<int>((255 - cell.q) - static_cast<double>(plasm) / 2.0);
    cell.green = 128 - std::abs(cell.q - 128);
    cell.blue = static_cast<int>((256 - cell.q) - static_cast<double>(plusm) / 2.0);
    return cell;
}

void spring_step(float& pos, float& vel, double centre, double pull)
{
    pos = static_cast<float>(static_cast<double>(pos) + static_cast<double>(vel));
    if (static_cast<double>(pos) > centre)
        vel = static_cast<float>(static_cast<double>(vel) - pull);
    else
        vel = static_cast<float>(static_cast<double>(vel) + pull);
}

int next_turn(int kartanpyoritys)
{
    kartanpyoritys += 2;
    return kartanpyoritys > 255 ? 0 : kartanpyoritys;
}

void Plasma::draw_plasma(BITMAP* canvas)
{
    if (!raster::fast_paths()) {
        for (int c = 0; c < plasma_w; c++) {
            for (int r = 0; r < plasma_h; r++) {
                const PlasmaCell cell = plasma_cell(c, r, plasma_w, plasma_h, pano, plasm, plusm);
                const int colour = makecol(cell.red, cell.green, cell.blue);
                rectfill(canvas, 4 * c, 4 * r + 80, 4 * c + 3, 4 * r + 83, colour);
            }
        }
        return;
    }
    // plasma_cell's terms that depend on the column or the row alone, once per frame: the same
    // doubles, so every cell sums to the same value.
    column_a_.resize(plasma_w);
    column_dx_.resize(plasma_w);
    row_wave_.resize(plasma_h);
    row_dy_.resize(plasma_h);
    const double sway = 100.0 * std::cos(static_cast<double>(pano) / 50.0) + 40.0;
    for (int c = 0; c < plasma_w; c++) {
        column_a_[c] = 128.0 * std::sin(static_cast<double>(pano) + c / 8.0) + 128.0 + 128.0;
        column_dx_[c] = sway + c - plasma_w / 2.0;
    }
    for (int r = 0; r < plasma_h; r++) {
        row_wave_[r] = 128.0 * std::sin(static_cast<double>(plusm) + r / 16.0);
        row_dy_[r] = (r + static_cast<double>(plasm)) - plasma_h / 2.0;
    }
    for (int c = 0; c < plasma_w; c++) {
        const double a = column_a_[c];
        const double dx = column_dx_[c];
        for (int r = 0; r < plasma_h; r++) {
            const double b = row_wave_[r] + a + 128.0;
            const double dy = row_dy_[r];
            const double d = std::sqrt(dx * dx + dy * dy);
            const int q = static_cast<int>(128.0 * std::sin(d / 5.0) + b) / 4;
            const int colour = makecol(static_cast<int>((255 - q) - static_cast<double>(plasm) / 2.0),
                                       128 - std::abs(q - 128),
                                       static_cast<int>((256 - q) - static_cast<double>(plusm) / 2.0));
            rectfill(canvas, 4 * c, 4 * r + 80, 4 * c + 3, 4 * r + 83, colour);
        }
    }
}

void Plasma::update_parameters()
{
    pano = static_cast<float>(static_cast<double>(pano) + 1.0);
    spring_step(plasm, plasv, 50.0, 0.2);
    spring_step(plusm, plusv, 34.0, 0.004);
}

void Plasma::draw_relief(Host& host, BITMAP* canvas, BITMAP* height, BITMAP* colour)
{
    // A 32-bit memory bitmap's lines hold the packed pixels getpixel would return; read them
    // directly there (55,696 samples a frame), and through getpixel in every other case.
    const bool direct = raster::fast_paths() && is_memory_bitmap(height) && bitmap_color_depth(height) == 32;
    for (mapx = 10; mapx < 246; mapx = static_cast<float>(static_cast<double>(mapx) + 1.0)) {
        const int sx = static_cast<int>(mapx);
        for (mapy = 10; mapy < 246; mapy = static_cast<float>(static_cast<double>(mapy) + 1.0)) {
            host.poll_music();
            const int sy = static_cast<int>(mapy);
            const int p = direct ? static_cast<int>(reinterpret_cast<const uint32_t*>(height->line[sy])[sx])
                                 : getpixel(height, sx, sy);
            if (p > kReliefThreshold) {
                viiva = static_cast<float>(p / 150000);
                const int dash = getpixel(colour, sx, sy);
                const int y = static_cast<int>(static_cast<double>(mapy) + 110.0);
                raster::fastline(canvas, static_cast<int>(static_cast<double>(mapx) + 330.0 - viiva), y,
                         static_cast<int>(static_cast<double>(mapx) + 333.0 - viiva), y, dash);
            }
        }
    }
}

bool Plasma::frame(Stage& s)
{
    Pictures& pics = s.pics;
    draw_plasma(pics.canvas);
    update_parameters();
    draw_relief(s.host, pics.canvas, pics.face1Rotated, pics.face2Rotated);

    kartanpyoritys = next_turn(kartanpyoritys);
    rotate_sprite(pics.face2Rotated, pics.face2Image, 0, 0, itofix(kartanpyoritys));
    rotate_sprite(pics.face1Rotated, pics.face1Image, 0, 0, itofix(kartanpyoritys));

    if (s.host.esc_held()) {
        exit_from_frame(s.host);
        return false;
    }
    s.host.present(pics.canvas);
    speed_counter.fetch_sub(1);
    return true;
}
