// Helpers for the headless show tests: temporary data directories and small stand-in pictures.
#pragma once
#include <allegro.h>
#include <gtest/gtest.h>
#include <jpgalleg.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "frame/headless_host.h"
#include "show/show.h"

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

// A copy of the show's 15-bit generator written out here, for tests that pin the show's draws
// against it (a shared fault in ShowRandom then cannot slip through), starting past `skip` draws.
class ReplayRandom {
public:
    explicit ReplayRandom(int skip = 0)
    {
        for (int i = 0; i < skip; i++)
            next();
    }
    int next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_ = 1;
};

// The repository's own data directory.
inline std::string repo_data_dir()
{
    return std::string(STREAM8_SOURCE_DIR) + "/ruvo";
}

// A show on stand-in pictures written into `dir`, with its pictures loaded and nothing else of
// the preamble run; a failed load is reported as a test failure.
inline std::unique_ptr<Show> show_on_stand_ins(HeadlessHost& host, const TempDir& dir)
{
    write_stand_in_pictures(dir.path());
    auto s = std::make_unique<Show>(host);
    std::string error;
    if (!load_pictures(s->pics, dir.path(), s->x, s->y, error))
        ADD_FAILURE() << error;
    return s;
}
