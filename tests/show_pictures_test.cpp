// Picture loading: the afro colour key in true colour and high colour, and unusable pictures
// (missing, garbage, directories, headers claiming huge sizes, cut short).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "assets/pictures.h"
#include "frame/headless_host.h"
#include "test_files.h"

namespace {

BITMAP* afro_with(int depth, std::initializer_list<std::array<int, 5>> pixels)
{
    start_headless_allegro(depth);
    BITMAP* b = create_bitmap(300, 480);
    clear_to_color(b, makecol(10, 10, 10));
    for (auto& p : pixels)
        putpixel(b, p[0], p[1], makecol(p[2], p[3], p[4]));
    return b;
}

TEST(ColourKey, TrueColourKeysRed31AndAboveAndRed30WithGreenOrBlue)
{
    BITMAP* b = afro_with(32, {{{0, 0, 31, 0, 0}},
                               {{1, 0, 30, 0, 0}},
                               {{2, 0, 30, 0, 1}},
                               {{3, 0, 29, 255, 255}},
                               {{269, 479, 255, 255, 255}},
                               {{270, 10, 255, 255, 255}}});
    int x = 5, y = 7;
    colour_key_afro(b, x, y);
    const int magenta = makecol(255, 0, 255);
    EXPECT_EQ(magenta, 0xFF00FF);
    EXPECT_EQ(getpixel(b, 0, 0), magenta);
    EXPECT_EQ(getpixel(b, 1, 0), makecol(30, 0, 0));
    EXPECT_EQ(getpixel(b, 2, 0), magenta);
    EXPECT_EQ(getpixel(b, 3, 0), makecol(29, 255, 255));
    EXPECT_EQ(getpixel(b, 269, 479), magenta);
    EXPECT_EQ(getpixel(b, 270, 10), makecol(255, 255, 255)) << "column 270 is outside the pass";
    EXPECT_EQ(getpixel(b, 100, 100), makecol(10, 10, 10));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    destroy_bitmap(b);
}

TEST(ColourKey, HighColourIsLeftAlone)
{
    BITMAP* b = afro_with(16, {{{0, 0, 255, 255, 255}}, {{1, 0, 255, 0, 255}}});
    int x = 0, y = 0;
    colour_key_afro(b, x, y);
    EXPECT_EQ(getpixel(b, 0, 0), makecol(255, 255, 255));
    EXPECT_EQ(getpixel(b, 100, 100), makecol(10, 10, 10));
    destroy_bitmap(b);
    start_headless_allegro(32);
}

TEST(ColourKey, SmallerPictureIsClippedNotOverrun)
{
    start_headless_allegro(32);
    BITMAP* b = create_bitmap(20, 30);
    clear_to_color(b, 0xFFFFFF);
    int x = 0, y = 0;
    colour_key_afro(b, x, y);
    EXPECT_EQ(getpixel(b, 19, 29), 0xFF00FF);
    destroy_bitmap(b);
}

struct LoadResult {
    bool ok;
    std::string error;
    Pictures pics;
};

LoadResult load_from(const TempDir& dir)
{
    LoadResult r;
    int x = 1, y = 1;
    r.ok = load_pictures(r.pics, dir.path(), x, y, r.error);
    return r;
}

TEST(LoadPictures, StandInSetLoadsKeysAndClearsWorkBitmaps)
{
    start_headless_allegro(32);
    TempDir dir;
    write_stand_in_pictures(dir.path());
    write_picture(dir.file("porras2.bmp"), 100, 10, 0x00FF00);  // smaller riser: rest stays magenta
    LoadResult r = load_from(dir);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(getpixel(r.pics.afroImage, 5, 5), 0xFF00FF);  // white background keyed
    for (BITMAP* b : {r.pics.canvas, r.pics.auxCanvas, r.pics.textBitmap, r.pics.face1Rotated,
                      r.pics.face2Rotated, r.pics.stairsBitmap}) {
        EXPECT_EQ(getpixel(b, 0, 0), 0);
        EXPECT_EQ(getpixel(b, b->w - 1, b->h - 1), 0);
    }
    fill_stairs_bitmaps(r.pics);
    EXPECT_EQ(getpixel(r.pics.stairs2Bitmap, 5, 5), 0x00FF00);
    EXPECT_EQ(getpixel(r.pics.stairs2Bitmap, 150, 5), 0xFF00FF);
    EXPECT_EQ(getpixel(r.pics.stairs2Bitmap, 5, 15), 0xFF00FF);
    EXPECT_NE(getpixel(r.pics.stairsBitmap, 10, 10), 0) << "the tread is burned onto black";
}

TEST(LoadPictures, EveryUnusablePictureIsNamedWithItsFault)
{
    start_headless_allegro(32);
    struct Case {
        const char* file;
        int w, h;  // 0: remove the file; -1: write garbage; -2: a directory; -3: a header claiming
                   // 37837x37838; -4: the file cut at half its length
        const char* fault;
    };
    const Case cases[] = {
        {"afro.jpg", 0, 0, "missing"},       {"ilta.jpg", 0, 0, "missing"},
        {"porras.bmp", -1, 0, "cannot be read"}, {"face3.jpg", -1, 0, "cannot be read"},
        {"tile.bmp", -2, 0, ": is a directory, not a file"},
        {"logo.jpg", -2, 0, ": is a directory, not a file"},
        {"porras.bmp", -3, 0, ": claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted"},
        {"face2.jpg", -3, 0, ": claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted"},
        {"tile.bmp", -4, 0, ": is cut short: 1563 bytes, its header needs 3126"},
        {"tolmo.jpg", 320, 400, "needs at least 320x401"},
        {"ruvo2.jpg", 640, 479, "needs at least 640x480"},
        {"face1.jpg", 255, 256, "needs at least 256x256"},
        {"ilta.jpg", 179, 240, "needs at least 180x240"},
        {"face3.jpg", 256, 200, "needs at least 256x256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        write_stand_in_pictures(dir.path());
        const std::string path = dir.file(c.file);
        if (c.w == 0) {
            fs::remove(path);
        } else if (c.w == -1) {
            std::ofstream(path) << "not a picture at all";
        } else if (c.w == -2) {
            fs::remove(path);
            fs::create_directory(path);
        } else if (c.w <= -3) {
            std::string bytes;
            {
                std::ifstream in(path, std::ios::binary);
                bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            if (c.w == -4) {
                bytes.resize(bytes.size() / 2);
            } else if (bytes[0] == 'B') {  // BMP info header: width and height, 32-bit LE
                bytes.replace(18, 8, std::string("\xCD\x93\x00\x00\xCE\x93\x00\x00", 8));
            } else {  // JPEG frame header: height, then width, 16-bit BE
                const size_t sof = bytes.find("\xFF\xC0");
                ASSERT_NE(sof, std::string::npos);
                bytes.replace(sof + 5, 4, "\x93\xCE\x93\xCD");
            }
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        } else {
            write_picture(path, c.w, c.h, 0x808080);
        }
        LoadResult r = load_from(dir);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.file), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(c.fault), std::string::npos) << r.error;
    }
}

}  // namespace
