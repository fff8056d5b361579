#include "assets/pictures.h"

#include <jpgalleg.h>

#include "assets/picture_check.h"

namespace {

void (*load_watch)(const std::string& path) = nullptr;

struct MinSize {
    int w, h;
};

BITMAP* created(int w, int h)
{
    BITMAP* b = create_bitmap(w, h);
    if (b)
        clear_to_color(b, 0);
    return b;
}

// Loads one picture and checks it against the size its users read; false with `error` set.
bool load_one(BITMAP*& out, const std::string& dir, const char* name, bool jpeg, RGB* palette,
              MinSize need, std::string& error)
{
    const std::string path = dir + "/" + name;
    if (!check_picture_file(path, jpeg, error))
        return false;
    if (load_watch)
        load_watch(path);
    out = jpeg ? load_jpg(path.c_str(), palette) : load_bitmap(path.c_str(), palette);
    if (!out) {
        error = path + ": cannot be read as a " +
                (jpeg ? "JPEG picture (the loader reads 8-bit baseline and progressive JPEGs after a JFIF "
                        "APP0, an Exif APP1 or another APPn: colour with luminance sampling 1x1, 2x1, 1x2 "
                        "or 2x2 over chrominance 1x1, greyscale baseline at any sampling, progressive at 1x1)"
                      : "BMP picture");
        return false;
    }
    if (out->w < need.w || out->h < need.h) {
        error = path + ": is " + std::to_string(out->w) + "x" + std::to_string(out->h) +
                ", needs at least " + std::to_string(need.w) + "x" + std::to_string(need.h);
        return false;
    }
    return true;
}

}  // namespace

void set_picture_load_watch(void (*watch)(const std::string& path))
{
    load_watch = watch;
}

void colour_key_afro(BITMAP* afro, int& x, int& y)
{
    const int key = makecol(255, 0, 255);
    for (x = 0; x <= 269; x++)
        for (y = 0; y <= 479; y++)
            if (getpixel(afro, x, y) > ftofix(30.0))
                putpixel(afro, x, y, key);
    x = 0;
    y = 0;
}

bool load_pictures(Pictures& p, const std::string& dir, int& x, int& y, std::string& error)
{
    const MinSize any{1, 1};
    p.canvas = created(640, 480);
    if (!load_one(p.afroImage, dir, "afro.jpg", true, nullptr, any, error))
        return false;
    colour_key_afro(p.afroImage, x, y);
    if (!load_one(p.logoImage, dir, "logo.jpg", true, p.loadPalette, any, error))
        return false;
    p.textBitmap = created(320, 160);
    p.stairsBitmap = created(272, 57);
    p.stairs2Bitmap = created(272, 20);
    if (!load_one(p.titleImage, dir, "ruvo2.jpg", true, p.loadPalette, {640, 480}, error) ||
        !load_one(p.stairsImage, dir, "porras.bmp", false, p.loadPalette, any, error) ||
        !load_one(p.stairs2Image, dir, "porras2.bmp", false, p.loadPalette, any, error) ||
        !load_one(p.tileImage, dir, "tile.bmp", false, p.loadPalette, any, error))
        return false;
    p.face1Rotated = created(256, 256);
    p.face2Rotated = created(256, 256);
    if (!load_one(p.face2Image, dir, "face2.jpg", true, p.loadPalette, {256, 256}, error) ||
        !load_one(p.face1Image, dir, "face1.jpg", true, p.loadPalette, {256, 256}, error))
        return false;
    p.auxCanvas = created(640, 480);
    return load_one(p.tolmoImage, dir, "tolmo.jpg", true, p.loadPalette, {320, 401}, error) &&
           load_one(p.face3Image, dir, "face3.jpg", true, nullptr, {256, 256}, error) &&
           load_one(p.iltaImage, dir, "ilta.jpg", true, p.loadPalette, {180, 240}, error);
}

void fill_stairs_bitmaps(Pictures& p)
{
    set_burn_blender(50, 50, 50, 150);
    draw_trans_sprite(p.stairsBitmap, p.stairsImage, 0, 0);
    clear_to_color(p.stairs2Bitmap, makecol(255, 0, 255));
    draw_sprite(p.stairs2Bitmap, p.stairs2Image, 0, 0);
}
