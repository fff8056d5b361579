// Picture loading: the afro colour key in true colour and high colour, and unusable pictures
// (missing, garbage, directories, headers claiming huge sizes, cut short); the picture check on
// hand-written files at the edges of what the loaders survive.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "assets/picture_check.h"
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
    r.ok = load_pictures(r.pics, decoded_pictures(dir.path()), x, y, r.error);
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

std::string be16(unsigned v)
{
    return {static_cast<char>(v >> 8), static_cast<char>(v & 255)};
}

std::string le32(uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string segment(unsigned marker, const std::string& body)
{
    return std::string("\xFF") + static_cast<char>(marker) + be16(body.size() + 2) + body;
}

// A baseline JPEG of w x h, three components, whose every block is DC 0 and end of block: one DC
// and one AC table 0 of a single one-bit code. The parts named here can be replaced by faults.
struct Jpeg {
    int w = 64, h = 64;
    unsigned luma_sampling = 0x11;
    std::string dht = std::string("\x00\x01", 2) + std::string(15, '\0') + '\0' +
                      std::string("\x10\x01", 2) + std::string(15, '\0') + '\0';
    unsigned scan_tables = 0x00;  // DC << 4 | AC, for every component of the scan
    size_t metadata = 0;          // bytes of APP15 segments before the frame header

    std::string bytes() const
    {
        std::string f = "\xFF\xD8" + segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
        for (size_t left = metadata; left > 0; left -= std::min<size_t>(left, 65000))
            f += segment(0xEF, std::string(std::min<size_t>(left, 65000), 'x'));
        f += segment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
        std::string sof = "\x08" + be16(h) + be16(w) + "\x03";
        for (int c = 1; c <= 3; c++)
            sof += {static_cast<char>(c), static_cast<char>(c == 1 ? luma_sampling : 0x11), 0};
        f += segment(0xC0, sof) + segment(0xC4, dht);
        std::string sos = "\x03";
        for (int c = 1; c <= 3; c++)
            sos += {static_cast<char>(c), static_cast<char>(scan_tables)};
        f += segment(0xDA, sos + std::string("\x00\x3F\x00", 3));
        return f + std::string(64, '\0') + "\xFF\xD9";
    }
};

// A Windows BMP: header, info header, a grey palette for 8-bit pixels, then `data`.
std::string bmp(int w, int h, int bpp, uint32_t compression, const std::string& data,
                uint32_t offset = 0)
{
    const std::string palette = bpp == 8 ? std::string(1024, '\x40') : "";
    if (offset == 0)
        offset = 54 + static_cast<uint32_t>(palette.size());
    return "BM" + le32(54 + palette.size() + data.size()) + le32(0) + le32(offset) + le32(40) +
           le32(w) + le32(h) + "\x01" + std::string(1, '\0') + static_cast<char>(bpp) + '\0' +
           le32(compression) + le32(data.size()) + le32(2835) + le32(2835) + le32(0) + le32(0) +
           palette + data;
}

Jpeg jpeg_with(void (*change)(Jpeg&))
{
    Jpeg j;
    change(j);
    return j;
}

// What the picture check lets through and what it refuses, on files written byte by byte at the
// edges the loaders care about. Every refusal here stands for a file that makes its loader crash,
// abort or write past its bitmap, or that is not all there; every acceptance for one it reads.
TEST(PictureCheck, HandWrittenFilesAtTheLoadersEdges)
{
    const std::string row5 = std::string(15, '\x7F') + std::string(1, '\0');  // 5 pixels + padding
    const std::string rle_row = std::string("\x10\x07\x00\x00", 4);            // 16 pixels, end of row
    struct Case {
        const char* what;
        std::string bytes;
        bool jpeg;
        const char* fault;  // null: accepted
    } cases[] = {
        {"a stand-in JPEG", Jpeg().bytes(), true, nullptr},
        {"JPEG 8192 wide", jpeg_with([](Jpeg& j) { j.w = 8192; }).bytes(), true, nullptr},
        {"JPEG 8193 wide", jpeg_with([](Jpeg& j) { j.w = 8193; }).bytes(), true, "claims 8193x64 pixels"},
        {"JPEG 8193 high", jpeg_with([](Jpeg& j) { j.h = 8193; }).bytes(), true, "claims 64x8193 pixels"},
        {"5 MB of metadata before the frame header", jpeg_with([](Jpeg& j) { j.metadata = 5 << 20; }).bytes(),
         true, nullptr},
        {"DHT with three codes of length 1",
         jpeg_with([](Jpeg& j) { j.dht[1] = 3; j.dht += std::string(2, '\0'); }).bytes(), true,
         "its Huffman table 0 has more codes of length 1 than fit"},
        {"DHT counting more symbols than its segment holds",
         jpeg_with([](Jpeg& j) { j.dht[19] = 0; j.dht[34] = 40; }).bytes(), true,
         "its Huffman table 0 runs past its segment"},
        {"a scan naming table 3", jpeg_with([](Jpeg& j) { j.scan_tables = 0x33; }).bytes(), true,
         "its scan uses DC Huffman table 3, which the file does not define before it"},
        {"a scan naming AC table 1", jpeg_with([](Jpeg& j) { j.scan_tables = 0x01; }).bytes(), true,
         "its scan uses AC Huffman table 1"},
        {"luminance sampling 2x2", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x22; }).bytes(), true, nullptr},
        {"luminance sampling 4x1", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x41; }).bytes(), true,
         "its luminance sampling 4x1 makes the loader write past the picture"},
        {"BMP 8192x1", bmp(8192, 1, 24, 0, std::string(8192 * 3, '\0')), false, nullptr},
        {"BMP 8193x1", bmp(8193, 1, 24, 0, std::string(8196 * 3, '\0')), false, "claims 8193x1 pixels"},
        {"top-down BMP", bmp(5, -3, 24, 0, row5 + row5 + row5), false, nullptr},
        {"rows padded to 4 bytes", bmp(5, 3, 24, 0, row5 + row5 + row5), false, nullptr},
        {"the last row's padding missing", bmp(5, 3, 24, 0, row5 + row5 + row5.substr(0, 15)), false,
         "is cut short: 101 bytes, its header needs 102"},
        {"pixel data at 0xFFFFFFFF", bmp(5, 3, 24, 0, row5 + row5 + row5, 0xFFFFFFFF), false,
         "its header needs 4294967343"},
        {"RLE8 rows, then the end code", bmp(16, 2, 8, 1, rle_row + rle_row + std::string("\0\1", 2)),
         false, nullptr},
        {"an RLE8 run past its row", bmp(16, 2, 8, 1, std::string("\x11\x07\x00\x01", 4)), false,
         "its run-length data overruns the picture at row 0, column 0"},
        {"RLE8 rows past the last", bmp(16, 2, 8, 1, rle_row + rle_row + rle_row + std::string("\0\1", 2)),
         false, "overruns the picture at row 2"},
        {"RLE8 without an end code", bmp(16, 2, 8, 1, rle_row + rle_row), false,
         "its run-length data runs past the end of the file (no end code)"},
        {"RLE8 on 24-bit pixels", bmp(16, 2, 24, 1, rle_row + std::string("\0\1", 2)), false,
         "is run-length coded for 8-bit pixels but has 24-bit pixels"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file(c.jpeg ? "p.jpg" : "p.bmp");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        std::string error;
        const bool ok = check_picture_file(path, c.jpeg, error);
        if (!c.fault) {
            EXPECT_TRUE(ok) << error;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(c.fault), std::string::npos) << error;
        }
    }
    // A file over the size limit is refused before a byte of it is read.
    const std::string huge = dir.file("huge.jpg");
    std::ofstream(huge, std::ios::binary) << Jpeg().bytes();
    ASSERT_EQ(truncate(huge.c_str(), kMaxPictureFileSize + 1), 0);
    std::string error;
    EXPECT_FALSE(check_picture_file(huge, true, error));
    EXPECT_NE(error.find("is 67108865 bytes; pictures of up to 64 MB are accepted"), std::string::npos)
        << error;
}

}  // namespace
