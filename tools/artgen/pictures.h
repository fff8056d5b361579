// The painters of the show's eleven pictures, and the writer that saves them.
#pragma once

#include <string>

#include "ops.h"

namespace artgen {

// Exact mask colour of the sprite pictures.
const Col kMagenta = {1.0, 0.0, 1.0};

Picture paint_afro();   // 270x480 silhouette on white
Picture paint_logo();   // 640x320 word mark on black
Picture paint_title();  // 640x480 sunset over a neon grid
Picture paint_stair();  // 272x57 step tread seen from above
Picture paint_riser();  // 272x20 riser strip, magenta outside
Picture paint_tile();   // 64x64 tile, magenta outside
// face1 (lit height) and face2 (colour) of the same head, 256x256 each.
void paint_faces(Picture& height, Picture& colour);
Picture paint_face3();  // 256x256 seamless tunnel wall
Picture paint_tolmo();  // 320x404 palm beach at night
Picture paint_ilta();   // 180x240 city evening

// Writes all eleven files into dir; false (with a message on stderr) on failure.
// Allegro must be set up by init_headless() first.
bool write_all(const std::string& dir);
// Headless Allegro with 32-bit red<<16|green<<8|blue pixels and JPEG support.
bool init_headless();

}  // namespace artgen
