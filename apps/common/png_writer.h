// Writes a bitmap as an 8-bit RGB PNG (zlib-compressed, no filtering).
#pragma once
#include <allegro.h>

#include <string>

// False with `error` set when the file cannot be written.
bool write_png(const std::string& path, BITMAP* bmp, std::string& error);
