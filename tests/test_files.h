// Helpers for tests of every layer: temporary data directories and small stand-in pictures.
#pragma once
#include <allegro.h>
#include <gtest/gtest.h>
#include <jpgalleg.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "assets/pictures.h"

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "stream8-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes a w x h picture filled with `colour` (JPEG or BMP by the name's ending).
inline void write_picture(const std::string& path, int w, int h, int colour)
{
    BITMAP* b = create_bitmap_ex(32, w, h);
    clear_to_color(b, colour);
    if (path.size() > 4 && path.substr(path.size() - 4) == ".jpg")
        save_jpg(path.c_str(), b, nullptr);
    else
        save_bitmap(path.c_str(), b, nullptr);
    destroy_bitmap(b);
}

// The eleven pictures of the show at the smallest sizes their users accept, in plain colours.
inline void write_stand_in_pictures(const std::string& dir)
{
    write_picture(dir + "/afro.jpg", 270, 480, 0xFFFFFF);
    write_picture(dir + "/logo.jpg", 640, 200, 0x2040C0);
    write_picture(dir + "/ruvo2.jpg", 640, 480, 0x603080);
    write_picture(dir + "/porras.bmp", 272, 57, 0x808080);
    write_picture(dir + "/porras2.bmp", 272, 20, 0xFF00FF);
    write_picture(dir + "/tile.bmp", 32, 32, 0x00C0C0);
    write_picture(dir + "/face2.jpg", 256, 256, 0xC08040);
    write_picture(dir + "/face1.jpg", 256, 256, 0x000000);
    write_picture(dir + "/tolmo.jpg", 320, 401, 0x305070);
    write_picture(dir + "/face3.jpg", 256, 256, 0x406020);
    write_picture(dir + "/ilta.jpg", 180, 240, 0x802040);
}

// The pictures of `dir` decoded in this process, as the probe's child decodes them for the show:
// for tests of what the show does with them (the show's own process never decodes).
inline DecodedPictures decoded_pictures(const std::string& dir)
{
    DecodedPictures d;
    decode_pictures(
        dir, nullptr, [&](int i, DecodedPicture&& p) { d.picture[i] = std::move(p); }, d.error);
    return d;
}

// The repository's own data directory.
inline std::string repo_data_dir()
{
    return std::string(STREAM8_SOURCE_DIR) + "/ruvo";
}
