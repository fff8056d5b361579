#include "effects/plasma.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "host/exits.h"
#include "host/stage.h"
#include "raster/raster.h"

PlasmaColumn plasma_column(int c, int w, float pano)
{
    const double sway = 100.0 * std::cos(static_cast<double>(pano) / 50.0) + 40.0;
    return {128.0 * std::sin(static_cast<double>(pano) + c / 8.0) + 128.0 + 128.0,
            sway + c - w / 2.0};
}

PlasmaRow plasma_row(int r, int h, float plasm, float plusm)
{
    return {128.0 * std::sin(static_cast<double>(plusm) + r / 16.0),
            (r + static_cast<double>(plasm)) - h / 2.0};
}

PlasmaCell plasma_cell(const PlasmaColumn& col, const PlasmaRow& row, float plasm, float plusm)
{
    PlasmaCell cell;
    const double b = row.wave + col.a + 128.0;
    cell.d = std::sqrt(col.dx * col.dx + row.dy * row.dy);
    cell.value = 128.0 * std::sin(cell.d / 5.0) + b;
    cell.v = static_cast<int>(cell.value);
    cell.q = cell.v / 4;
    cell.red = static_cast<int>((255 - cell.q) - static_cast<double>(plasm) / 2.0);
    cell.green = 128 - std::abs(cell.q - 128);
    cell.blue = static_cast<int>((256 - cell.q) - static_cast<double>(plusm) / 2.0);
    return cell;
}

PlasmaCell plasma_cell(int c, int r, int w, int h, float pano, float plasm, float plusm)
{
    return plasma_cell(plasma_column(c, w, pano), plasma_row(r, h, plasm, plusm), plasm, plusm);
}

int next_turn(int kartanpyoritys)
{
    kartanpyoritys += 2;
    return kartanpyoritys > 255 ? 0 : kartanpyoritys;
}

void Plasma::draw_plasma(BITMAP* canvas)
{
    // The terms of a column or a row once per frame instead of once per cell.
    columns_.resize(plasma_w);
    rows_.resize(plasma_h);
    for (int c = 0; c < plasma_w; c++)
        columns_[c] = plasma_column(c, plasma_w, pano);
    for (int r = 0; r < plasma_h; r++)
        rows_[r] = plasma_row(r, plasma_h, plasm, plusm);
    for (int c = 0; c < plasma_w; c++) {
        for (int r = 0; r < plasma_h; r++) {
            const PlasmaCell cell = plasma_cell(columns_[c], rows_[r], plasm, plusm);
            const int colour = makecol(cell.red, cell.green, cell.blue);
            raster::rectfill(canvas, 4 * c, 4 * r + 80, 4 * c + 3, 4 * r + 83, colour);
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
    // 55,696 samples a frame: straight from the rows where they hold what getpixel would return.
    const raster::Rows direct = raster::readable_rows(height, 10, 10, 246, 246);
    for (mapx = 10; mapx < 246; mapx = static_cast<float>(static_cast<double>(mapx) + 1.0)) {
        const int sx = static_cast<int>(mapx);
        for (mapy = 10; mapy < 246; mapy = static_cast<float>(static_cast<double>(mapy) + 1.0)) {
            host.poll_music();
            const int sy = static_cast<int>(mapy);
            const int p = direct ? static_cast<int>(direct.row(sy)[sx]) : getpixel(height, sx, sy);
            if (p > kReliefThreshold) {
                viiva = static_cast<float>(p / 150000);
                const int dash = getpixel(colour, sx, sy);
                const int y = static_cast<int>(static_cast<double>(mapy) + 110.0);
                raster::fastline(
                    canvas, static_cast<int>(static_cast<double>(mapx) + 330.0 - viiva), y,
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
    s.host.take_tick();
    return true;
}
