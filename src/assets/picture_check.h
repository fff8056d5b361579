// Reads a picture's size from its header (BMP info header, JPEG frame marker) before a loader sees
// the file, so that no header can make a loader's size arithmetic wrap or read past the data.
#pragma once
#include <string>

// The largest width or height a picture of the show may claim.
constexpr int kMaxPictureSide = 8192;

// Called by load_pictures for each file before it is loaded: true when `path` is a regular file
// whose header can be read as a BMP (`jpeg` false) or JPEG, claims a size within
// kMaxPictureSide either way, and (BMP) is long enough for the pixel data the header promises.
// Otherwise false with `error` set to "PATH: fault".
bool check_picture_file(const std::string& path, bool jpeg, std::string& error);
