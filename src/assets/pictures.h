// The eleven pictures of ruvo/ and the work bitmaps the effects draw into. The pictures are decoded
// in the start-up probe's child process (decode_pictures); the show builds its bitmaps from the
// pixels it hands over (load_pictures) and never runs a picture decoder itself.
#pragma once
#include <allegro.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Pictures {
    // Work bitmaps, cleared to black when created.
    BITMAP* canvas = nullptr;         // 640x480, the frame being composed
    BITMAP* auxCanvas = nullptr;      // 640x480, second layer of the helix and tunnel scenes
    BITMAP* textBitmap = nullptr;     // 320x160, credit text of the ending
    BITMAP* stairsBitmap = nullptr;   // 272x57, one stair tread, burn-blended before the intro
    BITMAP* stairs2Bitmap = nullptr;  // 272x20, the riser strip, magenta where transparent
    BITMAP* face1Rotated = nullptr;   // 256x256, turned height picture of the relief
    BITMAP* face2Rotated = nullptr;   // 256x256, turned colour picture of the relief

    // Pictures, in load order.
    BITMAP* afroImage = nullptr;     // afro.jpg, light pixels keyed to magenta
    BITMAP* logoImage = nullptr;     // logo.jpg
    BITMAP* titleImage = nullptr;    // ruvo2.jpg
    BITMAP* stairsImage = nullptr;   // porras.bmp
    BITMAP* stairs2Image = nullptr;  // porras2.bmp
    BITMAP* tileImage = nullptr;     // tile.bmp
    BITMAP* face2Image = nullptr;    // face2.jpg
    BITMAP* face1Image = nullptr;    // face1.jpg
    BITMAP* tolmoImage = nullptr;    // tolmo.jpg
    BITMAP* face3Image = nullptr;    // face3.jpg
    BITMAP* iltaImage = nullptr;     // ilta.jpg
};

constexpr int kPictureCount = 11;
// "afro.jpg", "logo.jpg", ... in load order (0..10).
const char* picture_name(int index);

// The decoded pixels of all pictures together may take this many bytes (the show's own take 13 MB):
// a picture beyond it is refused as too large to decode before its decoder runs.
constexpr long long kPicturePixelBudget = 128LL << 20;

// One picture as its loader decoded it in 32-bit colour: w x h pixels, rows top to bottom, each
// 0xAARRGGBB whatever the pixel layout of the process that decoded it.
struct DecodedPicture {
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
};

// What the decoding hands to the show: every picture, or the first that cannot be used.
struct DecodedPictures {
    std::string error;  // "DIR/tolmo.jpg: fault"; empty when every picture decoded and is usable
    DecodedPicture picture[kPictureCount];
};

// Checks and decodes the pictures of `dir` in load order, the way the show's loaders always read
// them: 32-bit colour, the file's own palette for BMPs of 8 bits or fewer. `before(index, path)`
// runs just before a decoder reads a file, `decoded(index, picture)` with each picture that is
// usable. Stops at the first that is missing, refused by its check, too large for the pixel
// budget, unreadable or smaller than its users need: false with `error` naming the file and the
// fault. For the start-up probe's child (and tests): a decoder may crash on a file no check
// knows how to fault. Call after the colour depth is set to 32.
bool decode_pictures(const std::string& dir,
                     const std::function<void(int index, const std::string& path)>& before,
                     const std::function<void(int index, DecodedPicture&& picture)>& decoded,
                     std::string& error);

// The pictures' decoders this process has run: the show's process runs none.
long picture_decodes();

// Creates the work bitmaps and builds the pictures from `decoded` in 32-bit colour, keying the
// afro picture on the way. False with `error` when `decoded` holds an error, or a picture is
// missing or smaller than its users need. Call after the colour depth is set to 32.
bool load_pictures(Pictures& pics, const DecodedPictures& decoded, std::string& error);

// Makes every pixel of the first 270x480 whose packed value exceeds fixed-point 30 magenta:
// in 24/32-bit depth, red 31 and above (or 30 with any green or blue). A no-op in 15/16-bit.
void colour_key_afro(BITMAP* afro);

// Burn-blends the tread and lays the riser over magenta; runs after the tick, before the logo.
// Leaves the burn blender current.
void fill_stairs_bitmaps(Pictures& pics);
