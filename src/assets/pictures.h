// The eleven pictures of ruvo/ and the work bitmaps the effects draw into.
#pragma once
#include <allegro.h>
#include <string>

struct Pictures {
    // Work bitmaps, cleared to black when created.
    BITMAP* canvas = nullptr;        // 640x480, the frame being composed
    BITMAP* auxCanvas = nullptr;     // 640x480, second layer of the helix and tunnel scenes
    BITMAP* textBitmap = nullptr;    // 320x160, credit text of the ending
    BITMAP* stairsBitmap = nullptr;  // 272x57, one stair tread, burn-blended before the intro
    BITMAP* stairs2Bitmap = nullptr; // 272x20, the riser strip, magenta where transparent
    BITMAP* face1Rotated = nullptr;  // 256x256, turned height picture of the relief
    BITMAP* face2Rotated = nullptr;  // 256x256, turned colour picture of the relief

    // Pictures, in load order.
    BITMAP* afroImage = nullptr;   // afro.jpg, light pixels keyed to magenta
    BITMAP* logoImage = nullptr;   // logo.jpg
    BITMAP* titleImage = nullptr;  // ruvo2.jpg
    BITMAP* stairsImage = nullptr; // porras.bmp
    BITMAP* stairs2Image = nullptr;// porras2.bmp
    BITMAP* tileImage = nullptr;   // tile.bmp
    BITMAP* face2Image = nullptr;  // face2.jpg
    BITMAP* face1Image = nullptr;  // face1.jpg
    BITMAP* tolmoImage = nullptr;  // tolmo.jpg
    BITMAP* face3Image = nullptr;  // face3.jpg
    BITMAP* iltaImage = nullptr;   // ilta.jpg

    PALETTE loadPalette;  // receives each file's palette; nothing reads it
};

// Creates the work bitmaps and loads the pictures from `dir` in the show's fixed order, keying
// the afro picture on the way (its loop counters are `x` and `y`, left at 0). Stops at the first
// picture that is missing, unreadable or smaller than its users need; returns false with `error`
// naming the file and the fault. Call after the colour depth is set.
bool load_pictures(Pictures& pics, const std::string& dir, int& x, int& y, std::string& error);

// Calls `watch` with each picture's path just before its loader reads the file (the start-up
// probe learns from it which file a crash belongs to); null, the default, calls nothing.
void set_picture_load_watch(void (*watch)(const std::string& path));

// Makes every pixel of the first 270x480 whose packed value exceeds fixed-point 30 magenta:
// in 24/32-bit depth, red 31 and above (or 30 with any green or blue). A no-op in 15/16-bit.
void colour_key_afro(BITMAP* afro, int& x, int& y);

// Burn-blends the tread and lays the riser over magenta; runs after the tick, before the logo.
// Leaves the burn blender current.
void fill_stairs_bitmaps(Pictures& pics);
