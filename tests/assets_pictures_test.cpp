// Picture loading: the afro colour key in true colour and high colour, and unusable pictures
// (missing, garbage, directories, headers claiming huge sizes, cut short); the picture check on
// hand-written files at the edges of what the loaders survive.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "assets/picture_check.h"
#include "assets/pictures.h"
#include "host/headless_allegro.h"
#include "host/show_random.h"
#include "music/it_layout.h"
#include "music/module_check.h"
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
    colour_key_afro(b);
    const int magenta = makecol(255, 0, 255);
    EXPECT_EQ(magenta, 0xFF00FF);
    EXPECT_EQ(getpixel(b, 0, 0), magenta);
    EXPECT_EQ(getpixel(b, 1, 0), makecol(30, 0, 0));
    EXPECT_EQ(getpixel(b, 2, 0), magenta);
    EXPECT_EQ(getpixel(b, 3, 0), makecol(29, 255, 255));
    EXPECT_EQ(getpixel(b, 269, 479), magenta);
    EXPECT_EQ(getpixel(b, 270, 10), makecol(255, 255, 255)) << "column 270 is outside the pass";
    EXPECT_EQ(getpixel(b, 100, 100), makecol(10, 10, 10));
    destroy_bitmap(b);
}

TEST(ColourKey, HighColourIsLeftAlone)
{
    BITMAP* b = afro_with(16, {{{0, 0, 255, 255, 255}}, {{1, 0, 255, 0, 255}}});
    colour_key_afro(b);
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
    colour_key_afro(b);
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
    r.ok = load_pictures(r.pics, decoded_pictures(dir.path()), r.error);
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
        {"afro.jpg", 0, 0, "missing"},
        {"ilta.jpg", 0, 0, "missing"},
        {"porras.bmp", -1, 0, "cannot be read"},
        {"face3.jpg", -1, 0, "cannot be read"},
        {"tile.bmp", -2, 0, ": is a directory, not a file"},
        {"logo.jpg", -2, 0, ": is a directory, not a file"},
        {"porras.bmp", -3, 0,
         ": claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted"},
        {"face2.jpg", -3, 0,
         ": claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted"},
        {"tile.bmp", -4, 0, ": is cut short: 1563 bytes, its header needs 3126"},
        {"afro.jpg", -4, 0, ": is cut short: its "},
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

// Each file is read once, by its check: what replaces it before its decoder runs (a file cut
// short, a FIFO nobody writes, nothing) changes nothing, and nothing waits.
TEST(LoadPictures, EachFileIsReadOnceWhateverReplacesItAfterItsCheck)
{
    start_headless_allegro(32);
    TempDir dir;
    write_stand_in_pictures(dir.path());
    const DecodedPictures reference = decoded_pictures(dir.path());
    ASSERT_TRUE(reference.error.empty()) << reference.error;
    for (const std::string swap : {"cut", "fifo", "gone"}) {
        SCOPED_TRACE(swap);
        DecodedPictures got;
        decode_pictures(
            dir.path(),
            [&](int, const std::string& path) {
                fs::rename(path, path + ".kept");
                if (swap == "cut")
                    std::ofstream(path) << "x";
                else if (swap == "fifo")
                    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            },
            [&](int i, DecodedPicture&& p) { got.picture[i] = std::move(p); }, got.error);
        EXPECT_EQ(got.error, "");
        for (int i = 0; i < kPictureCount; i++) {
            const std::string path = dir.file(picture_name(i));
            fs::remove(path);
            fs::rename(path + ".kept", path);
            EXPECT_EQ(got.picture[i].argb, reference.picture[i].argb) << picture_name(i);
        }
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
    unsigned sof = 0xC0, precision = 8;  // 0xC2: progressive
    std::string ids = "\1\2\3";          // one component id each
    unsigned luma_sampling = 0x11, chroma_sampling = 0x11;
    unsigned luma_quant = 0;  // the luminance's quantisation table; chrominance uses 0
    std::string app = segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
    std::string dqt = std::string(1, '\0') + std::string(64, '\1');
    std::string dht = std::string("\x00\x01", 2) + std::string(15, '\0') + '\0' +
                      std::string("\x10\x01", 2) + std::string(15, '\0') + '\0';
    std::string before_scan;      // segments between the tables and the scan
    unsigned scan_tables = 0x00;  // DC << 4 | AC, for every component of the scan
    std::string scan_data = std::string(64, '\0');
    size_t metadata = 0;  // bytes of APP15 segments before the frame header

    std::string bytes() const
    {
        std::string f = "\xFF\xD8" + app;
        for (size_t left = metadata; left > 0; left -= std::min<size_t>(left, 65000))
            f += segment(0xEF, std::string(std::min<size_t>(left, 65000), 'x'));
        if (!dqt.empty())
            f += segment(0xDB, dqt);
        std::string sof_body =
            static_cast<char>(precision) + be16(h) + be16(w) + static_cast<char>(ids.size());
        for (char id : ids)
            sof_body += {id, static_cast<char>(id == 1 ? luma_sampling : chroma_sampling),
                         static_cast<char>(id == 1 ? luma_quant : 0)};
        f += segment(sof, sof_body) + segment(0xC4, dht) + before_scan;
        std::string sos = std::string(1, static_cast<char>(ids.size()));
        for (char id : ids)
            sos += {id, static_cast<char>(scan_tables)};
        f += segment(0xDA, sos + std::string("\x00\x3F\x00", 3));
        return f + scan_data + "\xFF\xD9";
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

// `f` with the bytes from `at` past its scan marker replaced by `bytes`; `cut` drops the rest.
std::string scan_changed(std::string f, size_t at, const std::string& bytes, bool cut = false)
{
    const size_t sos = f.find("\xFF\xDA");
    f.replace(sos + at, bytes.size(), bytes);
    return cut ? f.substr(0, sos + at + bytes.size()) : f;
}

// What the picture check lets through and what it refuses, on files written byte by byte at the
// edges the loaders care about. Every refusal here stands for a file that makes its loader crash,
// abort or write past its bitmap, or that is not all there; every acceptance for one it reads.
TEST(PictureCheck, HandWrittenFilesAtTheLoadersEdges)
{
    const std::string row5 = std::string(15, '\x7F') + std::string(1, '\0');  // 5 pixels + padding
    const std::string rle_row = std::string("\x10\x07\x00\x00", 4);  // 16 pixels, end of row
    const std::string grey = jpeg_with([](Jpeg& j) { j.ids = "\1"; }).bytes();
    struct Case {
        const char* what;
        std::string bytes;
        bool jpeg;
        const char* fault;  // null: accepted
    } cases[] = {
        {"a stand-in JPEG", Jpeg().bytes(), true, nullptr},
        {"JPEG 8192 wide", jpeg_with([](Jpeg& j) { j.w = 8192; }).bytes(), true, nullptr},
        {"JPEG 8193 wide", jpeg_with([](Jpeg& j) { j.w = 8193; }).bytes(), true,
         "claims 8193x64 pixels"},
        {"JPEG 8193 high", jpeg_with([](Jpeg& j) { j.h = 8193; }).bytes(), true,
         "claims 64x8193 pixels"},
        {"5 MB of metadata before the frame header",
         jpeg_with([](Jpeg& j) { j.metadata = 5 << 20; }).bytes(), true, nullptr},
        {"DHT with three codes of length 1", jpeg_with([](Jpeg& j) {
                                                 j.dht[1] = 3;
                                                 j.dht += std::string(2, '\0');
                                             }).bytes(),
         true, "its Huffman table 0 has more codes of length 1 than fit"},
        {"DHT counting more symbols than its segment holds", jpeg_with([](Jpeg& j) {
                                                                 j.dht[19] = 0;
                                                                 j.dht[34] = 40;
                                                             }).bytes(),
         true, "its Huffman table 0 runs past its segment"},
        {"a scan naming table 3", jpeg_with([](Jpeg& j) { j.scan_tables = 0x33; }).bytes(), true,
         "its scan uses DC Huffman table 3, which the file does not define before it"},
        {"a scan naming AC table 1", jpeg_with([](Jpeg& j) { j.scan_tables = 0x01; }).bytes(), true,
         "its scan uses AC Huffman table 1"},
        {"luminance sampling 2x2", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x22; }).bytes(), true,
         nullptr},
        {"luminance sampling 4x1", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x41; }).bytes(), true,
         "its luminance sampling 4x1 in baseline colour makes the loader write past the picture"},
        {"colour luminance 1x4", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x14; }).bytes(), true,
         "its luminance sampling 1x4 in baseline colour makes the loader write past the picture"},
        {"progressive colour luminance 1x4", jpeg_with([](Jpeg& j) {
                                                 j.sof = 0xC2;
                                                 j.luma_sampling = 0x14;
                                             }).bytes(),
         true, "its luminance sampling 1x4 in progressive colour"},
        {"progressive colour 2x2", jpeg_with([](Jpeg& j) {
                                       j.sof = 0xC2;
                                       j.luma_sampling = 0x22;
                                   }).bytes(),
         true, nullptr},
        {"greyscale 4x1 (read as 1x1)", jpeg_with([](Jpeg& j) {
                                            j.ids = "\1";
                                            j.luma_sampling = 0x41;
                                        }).bytes(),
         true, nullptr},
        {"progressive greyscale 1x1", jpeg_with([](Jpeg& j) {
                                          j.sof = 0xC2;
                                          j.ids = "\1";
                                      }).bytes(),
         true, nullptr},
        {"progressive greyscale 2x2", jpeg_with([](Jpeg& j) {
                                          j.sof = 0xC2;
                                          j.ids = "\1";
                                          j.luma_sampling = 0x22;
                                      }).bytes(),
         true,
         "is progressive greyscale with luminance sampling 2x2, which makes the loader write past the picture"},
        {"progressive greyscale 1x2", jpeg_with([](Jpeg& j) {
                                          j.sof = 0xC2;
                                          j.ids = "\1";
                                          j.luma_sampling = 0x12;
                                      }).bytes(),
         true, "is progressive greyscale with luminance sampling 1x2"},
        {"luminance 3x1", jpeg_with([](Jpeg& j) { j.luma_sampling = 0x31; }).bytes(), true,
         "its luminance sampling 3x1 is not one the loader reads (1x1, 2x1, 1x2 or 2x2)"},
        {"every component 1x2, as a video tool writes 4:4:4",
         jpeg_with([](Jpeg& j) { j.luma_sampling = j.chroma_sampling = 0x12; }).bytes(), true,
         "its chrominance sampling 1x2 is read by the loader as 1x1"},
        {"components 0, 1 and 2",
         jpeg_with([](Jpeg& j) { j.ids = std::string("\0\1\2", 3); }).bytes(), true,
         "its frame names component 0; the loader reads components 1 (greyscale) or 1, 2 and 3 (colour; "
         "in baseline, 1, 2 and one numbered above 2) only"},
        {"components 1, 2 and 4 (read as 1, 2 and 3)",
         jpeg_with([](Jpeg& j) { j.ids = "\1\2\4"; }).bytes(), true, nullptr},
        {"progressive components 1, 2 and 4", jpeg_with([](Jpeg& j) {
                                                  j.sof = 0xC2;
                                                  j.ids = "\1\2\4";
                                              }).bytes(),
         true, "its frame names component 4"},
        {"components 1, 3 and 4", jpeg_with([](Jpeg& j) { j.ids = "\1\3\4"; }).bytes(), true,
         "its frame has no component 2"},
        {"components 2, 1 and 3, scanned in that order",
         jpeg_with([](Jpeg& j) { j.ids = "\2\1\3"; }).bytes(), true,
         "its scan puts component 2 first; the loader reads baseline colour with luminance (1) first"},
        {"baseline colour in three scans of one component",
         [] {
             std::string f = Jpeg().bytes();
             const size_t sos = f.find("\xFF\xDA");
             std::string scans;
             for (char id : std::string("\1\2\3"))
                 scans += segment(0xDA, std::string("\1", 1) + id + std::string("\0\0\x3F\0", 4)) +
                          std::string(24, '\0');
             return f.substr(0, sos) + scans + "\xFF\xD9";
         }(),
         true, "its colour image is coded in separate scans (1 of its 3 components in a scan)"},
        {"a colour frame whose only scan is its luminance",
         scan_changed(Jpeg().bytes(), 2, std::string("\x00\x08\x01\x01\x00\x00\x3F\x00", 8)), true,
         "its colour image is coded in separate scans (1 of its 3 components in a scan)"},
        {"a colour frame whose only scan is its luminance and one chrominance",
         scan_changed(Jpeg().bytes(), 2,
                      std::string("\x00\x0A\x02\x01\x00\x02\x00\x00\x3F\x00", 10)),
         true, "its colour image is coded in separate scans (2 of its 3 components in a scan)"},
        {"chrominance with two quantisation tables",
         [] {
             std::string f = jpeg_with([](Jpeg& j) {
                                 j.dqt += std::string(1, '\1') + std::string(64, '\1');
                             }).bytes();
             f[f.find("\xFF\xC0") + 18] = 1;  // component 3's table
             return f;
         }(),
         true, "its two chrominance components use quantisation tables 0 and 1"},
        {"no end-of-image marker",
         [] {
             const std::string f = Jpeg().bytes();
             return f.substr(0, f.size() - 2);
         }(),
         true,
         "is cut short: its 226 bytes end inside its image data, before its end-of-image marker"},
        {"cut inside its image data",
         [] {
             const std::string f = Jpeg().bytes();
             return f.substr(0, f.size() - 40);
         }(),
         true, "is cut short: its 188 bytes end inside its image data"},
        {"cut inside its Huffman tables",
         [] {
             const std::string f = Jpeg().bytes();
             return f.substr(0, f.find("\xFF\xC4") + 10);
         }(),
         true, "is cut short: its "},
        {"components 1, 1 and 3", jpeg_with([](Jpeg& j) { j.ids = "\1\1\3"; }).bytes(), true,
         "its frame names component 1 twice"},
        {"two components", jpeg_with([](Jpeg& j) { j.ids = "\1\2"; }).bytes(), true,
         "has 2 components"},
        {"lossless coding", jpeg_with([](Jpeg& j) { j.sof = 0xC3; }).bytes(), true,
         "is coded as SOF3"},
        {"12-bit samples", jpeg_with([](Jpeg& j) { j.precision = 12; }).bytes(), true,
         "has 12-bit samples; the loader reads 8-bit ones only"},
        {"Exif instead of JFIF",
         jpeg_with([](Jpeg& j) { j.app = segment(0xE1, std::string("Exif\0\0MM", 8)); }).bytes(),
         true, nullptr},
        {"only an ICC profile",
         jpeg_with([](Jpeg& j) { j.app = segment(0xE2, "ICC_PROFILE"); }).bytes(), true, nullptr},
        {"JFIF, then an AVI1 APP0",
         jpeg_with([](Jpeg& j) { j.app += segment(0xE0, "AVI1"); }).bytes(), true, nullptr},
        {"JFIF, Exif, then XMP", jpeg_with([](Jpeg& j) {
                                     j.app += segment(0xE1, std::string("Exif\0\0", 6)) +
                                              segment(0xE1, "http://ns.adobe.com/xap/1.0/");
                                 }).bytes(),
         true, nullptr},
        {"JFIF then XMP",
         jpeg_with([](Jpeg& j) { j.app += segment(0xE1, "http://ns.adobe.com/xap/1.0/"); }).bytes(),
         true,
         "its first APP1 segment is \"http://ns.adobe.com/xap/1.0/\", not Exif; the loader reads its first APP1 only as Exif"},
        {"an AVI1 APP0 first",
         jpeg_with([](Jpeg& j) { j.app = segment(0xE0, "AVI1") + j.app; }).bytes(), true,
         "its first APP0 segment is \"AVI1\", not JFIF 1.x"},
        {"JFIF 2.0", jpeg_with([](Jpeg& j) { j.app[9] = 2; }).bytes(), true, "not JFIF 1.x"},
        {"no APPn at all", jpeg_with([](Jpeg& j) { j.app = segment(0xFE, "a comment"); }).bytes(),
         true,
         "has no JFIF APP0, Exif APP1 or other APPn segment before its image data; the loader reads none without one"},
        {"no quantisation table", jpeg_with([](Jpeg& j) { j.dqt.clear(); }).bytes(), true,
         "its image data comes before any quantisation table"},
        {"quantisation table 4", jpeg_with([](Jpeg& j) { j.dqt[0] = 4; }).bytes(), true,
         "its quantisation table 4 (precision 0) cannot be read"},
        {"16-bit quantisation table", jpeg_with([](Jpeg& j) { j.dqt[0] = 0x10; }).bytes(), true,
         "its quantisation table 0 (precision 1) cannot be read"},
        {"Huffman table number 4", jpeg_with([](Jpeg& j) { j.dht[0] = 4; }).bytes(), true,
         "its Huffman table has class 0 and number 4"},
        {"Huffman class 2", jpeg_with([](Jpeg& j) { j.dht[0] = 0x20; }).bytes(), true,
         "its Huffman table has class 2 and number 0"},
        {"DHT filling lengths 1 and 2 exactly (1 + 2 codes)", jpeg_with([](Jpeg& j) {
                                                                  j.dht[2] = 2;
                                                                  j.dht.insert(18, 2, '\0');
                                                              }).bytes(),
         true, nullptr},
        {"DHT with 1 code of length 1 and 3 of length 2", jpeg_with([](Jpeg& j) {
                                                              j.dht[2] = 3;
                                                              j.dht.insert(18, 3, '\0');
                                                          }).bytes(),
         true, "its Huffman table 0 has more codes of length 2 than fit"},
        {"DHT with one code of each length to 15, then 3 of length 16",
         jpeg_with([](Jpeg& j) {
             j.dht.replace(2, 15, std::string(14, '\1') + '\3');
             j.dht.insert(18, 17, '\0');
         }).bytes(),
         true, "its Huffman table 0 has more codes of length 16 than fit"},
        {"restart markers in the image data",
         jpeg_with([](Jpeg& j) {
             j.before_scan = segment(0xDD, be16(1));
             j.scan_data = std::string(8, '\0') + "\xFF\xD0" + std::string(8, '\0') + "\xFF\xD1" +
                           std::string(8, '\0') + "\xFF\xD7" + std::string(8, '\0');
         }).bytes(),
         true, nullptr},
        {"a restart interval without restart markers",
         jpeg_with([](Jpeg& j) { j.before_scan = segment(0xDD, be16(1)); }).bytes(), true,
         "it sets a restart interval of 1 MCUs, but its image data holds no restart marker"},
        {"a restart interval of 0 (none)",
         jpeg_with([](Jpeg& j) { j.before_scan = segment(0xDD, be16(0)); }).bytes(), true, nullptr},
        {"luminance with quantisation table 3, never defined",
         jpeg_with([](Jpeg& j) { j.luma_quant = 3; }).bytes(), true,
         "its component 1 uses quantisation table 3, which the file does not define before its "
         "image data"},
        {"luminance naming quantisation table 4",
         jpeg_with([](Jpeg& j) { j.luma_quant = 4; }).bytes(), true,
         "its component 1 names quantisation table 4; tables are numbered 0..3"},
        {"a DC Huffman symbol of 200", jpeg_with([](Jpeg& j) { j.dht[17] = '\xC8'; }).bytes(), true,
         "its DC Huffman table 0 holds the symbol 200; DC symbols are 0..11"},
        {"an AC Huffman symbol of size 11", jpeg_with([](Jpeg& j) { j.dht[35] = 0x1B; }).bytes(),
         true,
         "its AC Huffman table 0 holds the symbol 27 (a run of 1, size 11); AC sizes are 0..10"},
        {"a restart marker before the image data",
         jpeg_with([](Jpeg& j) { j.before_scan = "\xFF\xD7"; }).bytes(), true,
         "has a restart or TEM marker before its image data"},
        {"a scan header naming four components",
         scan_changed(Jpeg().bytes(), 2,
                      std::string("\x00\x0E\x04\x01\x00\x02\x00\x03\x00\x01\x00\x00\x3F\x00", 14)),
         true, "its scan header cannot be read"},
        {"a frame header one byte short of its three components",
         [] {
             std::string f = Jpeg().bytes();
             const size_t sof = f.find("\xFF\xC0");
             f[sof + 3] = 16;
             return f.erase(sof + 18, 1);
         }(),
         true, "its frame header is cut short"},
        {"a grey scan naming component 2", scan_changed(grey, 5, "\2"), true,
         "its scan names component 2, which its frame does not have"},
        {"JPEG 8192x8192", jpeg_with([](Jpeg& j) { j.w = j.h = 8192; }).bytes(), true, nullptr},
        {"17 bytes: a frame without components, an empty scan header at the end",
         std::string("\xFF\xD8\xFF\xC0\x00\x09\x08\x00\x40\x00\x40\x00\x00\xFF\xDA\x00\x02", 17),
         true, "has 0 components"},
        {"an empty scan header at the very end", scan_changed(grey, 3, std::string("\2", 1), true),
         true, "its scan header cannot be read"},
        {"BMP 8192x1", bmp(8192, 1, 24, 0, std::string(8192 * 3, '\0')), false, nullptr},
        {"BMP 8193x1", bmp(8193, 1, 24, 0, std::string(8196 * 3, '\0')), false,
         "claims 8193x1 pixels"},
        {"top-down BMP", bmp(5, -3, 24, 0, row5 + row5 + row5), false,
         "is stored top down (a negative height), which the loader cannot read"},
        {"rows padded to 4 bytes", bmp(5, 3, 24, 0, row5 + row5 + row5), false, nullptr},
        {"the last row's padding missing", bmp(5, 3, 24, 0, row5 + row5 + row5.substr(0, 15)),
         false, "is cut short: 101 bytes, its header needs 102"},
        {"pixel data at 0xFFFFFFFF", bmp(5, 3, 24, 0, row5 + row5 + row5, 0xFFFFFFFF), false,
         "its header needs 4294967343"},
        {"RLE8 rows, then the end code",
         bmp(16, 2, 8, 1, rle_row + rle_row + std::string("\0\1", 2)), false, nullptr},
        {"an RLE8 run past its row", bmp(16, 2, 8, 1, std::string("\x11\x07\x00\x01", 4)), false,
         "its run-length data overruns the picture at row 0, column 0"},
        {"RLE8 rows past the last",
         bmp(16, 2, 8, 1, rle_row + rle_row + rle_row + std::string("\0\1", 2)), false,
         "overruns the picture at row 2"},
        {"RLE8 without an end code", bmp(16, 2, 8, 1, rle_row + rle_row), false,
         "its run-length data runs past the end of the file (no end code)"},
        {"RLE8 on 24-bit pixels", bmp(16, 2, 24, 1, rle_row + std::string("\0\1", 2)), false,
         "is run-length coded for 8-bit pixels but has 24-bit pixels"},
        {"RLE8 odd literal, padded, then a move to the last row's end",
         bmp(16, 2, 8, 1, std::string("\0\3\1\2\3\0\x0D\1\0\0\0\2\x10\0\0\1", 16)), false, nullptr},
        {"RLE8 move to just past the last row", bmp(16, 2, 8, 1, std::string("\0\2\0\2\0\1", 6)),
         false, nullptr},
        {"RLE8 move past the row's end", bmp(16, 2, 8, 1, std::string("\x0A\1\0\2\7\0\0\1", 8)),
         false, "its run-length data moves outside the picture at row 0, column 17"},
        {"RLE8 move up past the last row", bmp(16, 2, 8, 1, std::string("\0\2\0\3\0\1", 6)), false,
         "moves outside the picture at row 3"},
        {"RLE8 move into the last row's end and one on",
         bmp(16, 2, 8, 1, std::string("\0\2\1\2\0\1", 6)), false,
         "moves outside the picture at row 2, column 1"},
        {"RLE8 move cut short", bmp(16, 2, 8, 1, std::string("\0\2\1", 3)), false,
         "its run-length data runs past the end of the file"},
        {"RLE4 odd literals: 5 pixels in 3 bytes and a pad, 3 in 2",
         bmp(16, 1, 4, 2, std::string("\0\5\x12\x34\x50\0\0\3\x12\x30\x08\1\0\1", 14)), false,
         nullptr},
        {"RLE4 odd literal cut short", bmp(16, 1, 4, 2, std::string("\0\5\x12\x34", 4)), false,
         "its run-length data runs past the end of the file"},
        {"BMP 1x8192", bmp(1, 8192, 24, 0, std::string(8192 * 4, '\0')), false, nullptr},
        {"BMP 1x8193", bmp(1, 8193, 24, 0, std::string(8193 * 4, '\0')), false,
         "claims 1x8193 pixels"},
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
    // A file of the size limit is read; one byte over, it is refused before a byte of it is read.
    const std::string huge = dir.file("huge.jpg");
    std::ofstream(huge, std::ios::binary) << Jpeg().bytes();
    ASSERT_EQ(truncate(huge.c_str(), kMaxPictureFileSize), 0);
    std::string error;
    EXPECT_TRUE(check_picture_file(huge, true, error)) << error;
    ASSERT_EQ(truncate(huge.c_str(), kMaxPictureFileSize + 1), 0);
    EXPECT_FALSE(check_picture_file(huge, true, error));
    EXPECT_NE(error.find("is 67108865 bytes; pictures of up to 64 MB are accepted"),
              std::string::npos)
        << error;
}

std::vector<unsigned char> read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where a mutation does the most harm: a JPEG's markers, a BMP's headers and pixel data, a
// module's header and every record its offset tables name.
std::vector<size_t> hot_spots(const std::vector<unsigned char>& f, char kind)
{
    std::vector<size_t> spots{0};
    if (kind == 'j') {
        for (size_t i = 0; i + 1 < f.size(); i++)
            if (f[i] == 0xFF && f[i + 1] != 0 && f[i + 1] != 0xFF)
                spots.push_back(i);
    } else if (kind == 'b') {
        spots.push_back(f[10] | f[11] << 8);
    } else {
        const size_t tables = it::song::kSize + it::get16(f, it::song::kOrders);
        const size_t records = it::get16(f, it::song::kInstruments) +
                               it::get16(f, it::song::kSamples) + it::get16(f, it::song::kPatterns);
        for (size_t i = 0; i < records; i++)
            spots.push_back(it::get32(f, tables + 4 * i));
        spots.push_back(tables);
    }
    return spots;
}

// Seeded mutations of every committed picture and the module through both checkers: bit flips,
// extreme bytes and 16/32-bit values, cuts, deletions and repeats, mostly at the places the
// checkers parse. Run in the sanitizer build, any read outside a file ends the test; here every
// refusal must name its fault, and both verdicts must occur for each kind of file.
TEST(PictureCheck, SeededMutationsOfTheCommittedFilesThroughBothCheckers)
{
    ShowRandom rng;
    auto draw = [&](size_t n) {
        return n == 0 ? 0 : (size_t(rng.next()) << 15 | size_t(rng.next())) % n;
    };
    struct File {
        const char* name;
        char kind;  // 'j'peg, 'b'mp, 'm'odule
        int cases;
    };
    // The committed BMPs hold plain rows; run-length data comes from two written here: runs, odd
    // and even literals, moves, row ends and the end code.
    const std::string rle_bmps[] = {
        bmp(16, 4, 8, 1,
            std::string("\5\x11\0\3\1\2\3\0\0\2\4\1\0\0\0\4\x09\x08\7\6\x08\1\0\0\0\1", 26)),
        bmp(16, 4, 4, 2,
            std::string("\5\x11\0\3\x12\x30\0\2\4\1\0\0\0\5\x12\x34\x50\0\x08\1\0\0\0\1", 24))};
    const File files[] = {
        {"afro.jpg", 'j', 500},    {"face1.jpg", 'j', 500}, {"face2.jpg", 'j', 500},
        {"face3.jpg", 'j', 500},   {"ilta.jpg", 'j', 500},  {"logo.jpg", 'j', 500},
        {"ruvo2.jpg", 'j', 500},   {"tolmo.jpg", 'j', 500}, {"porras.bmp", 'b', 400},
        {"porras2.bmp", 'b', 400}, {"tile.bmp", 'b', 400},  {"rle8", 'b', 500},
        {"rle4", 'b', 500},        {"80S5.IT", 'm', 1500}};
    static const unsigned kWide[] = {0,    1,      2,      0x7F,       0x80,
                                     0xFF, 0xFFFF, 0x8000, 0xFFFFFFFF, 0x80000000};
    int accepted[3] = {}, refused[3] = {};
    for (const File& file : files) {
        SCOPED_TRACE(file.name);
        const std::string& written = rle_bmps[file.name[3] == '8' ? 0 : 1];
        const std::vector<unsigned char> original =
            std::string(file.name).rfind("rle", 0) == 0
                ? std::vector<unsigned char>(written.begin(), written.end())
                : read_all(repo_data_dir() + "/" + file.name);
        std::string problem;
        ASSERT_TRUE(file.kind == 'm'
                        ? check_module(original, problem)
                        : (problem = picture_fault(original, file.kind == 'j')).empty())
            << problem;
        const std::vector<size_t> spots = hot_spots(original, file.kind);
        for (int n = 0; n < file.cases; n++) {
            std::vector<unsigned char> f = original;
            for (int m = 1 + static_cast<int>(draw(3)); m > 0 && !f.empty(); m--) {
                const size_t at =
                    draw(4) == 0 ? draw(f.size())
                                 : std::min(f.size() - 1, spots[draw(spots.size())] + draw(64));
                const size_t kind = draw(7);
                if (kind == 6) {  // a record or segment that ends at the file's very end
                    const size_t spot = spots[draw(spots.size())];
                    if (file.kind == 'j' && spot + 4 <= f.size()) {
                        f[spot + 2] = 0;
                        f[spot + 3] = static_cast<unsigned char>(2 + draw(3));
                        if (draw(2))
                            f.resize(spot + 4 + draw(3));
                    } else if (file.kind == 'b' && f.size() >= 14) {
                        const size_t end = f.size() - std::min(f.size(), draw(16));
                        for (size_t i = 0; i < 4; i++)
                            f[10 + i] = static_cast<unsigned char>(end >> (8 * i));
                    } else if (file.kind == 'm') {
                        const size_t entry = it::song::kSize +
                                             it::get16(original, it::song::kOrders) +
                                             4 * draw(spots.size() - 2);
                        const size_t end = f.size() - std::min(f.size(), draw(600));
                        for (size_t i = 0; i < 4 && entry + i < f.size(); i++)
                            f[entry + i] = static_cast<unsigned char>(end >> (8 * i));
                    }
                } else if (kind == 0) {
                    f[at] ^= static_cast<unsigned char>(1 << draw(8));
                } else if (kind == 1) {
                    f[at] = static_cast<unsigned char>(kWide[draw(6)] ^ (draw(2) ? 0 : draw(256)));
                } else if (kind == 2) {
                    const unsigned v = kWide[draw(10)] + static_cast<unsigned>(draw(3)) - 1;
                    const size_t bytes = draw(2) ? 2 : 4, big_endian = draw(2);
                    for (size_t i = 0; i < bytes && at + i < f.size(); i++)
                        f[at + i] =
                            static_cast<unsigned char>(v >> (8 * (big_endian ? bytes - 1 - i : i)));
                } else if (kind == 3) {
                    f.resize(at);
                } else if (kind == 4) {
                    f.erase(f.begin() + static_cast<long>(at),
                            f.begin() + static_cast<long>(std::min(f.size(), at + 1 + draw(64))));
                } else {
                    const size_t len = std::min(f.size() - at, 1 + draw(64));
                    const std::vector<unsigned char> span(f.begin() + static_cast<long>(at),
                                                          f.begin() + static_cast<long>(at + len));
                    f.insert(f.begin() + static_cast<long>(draw(f.size())), span.begin(),
                             span.end());
                }
            }
            f.shrink_to_fit();  // the sanitizer then sees a read one past the end
            const int k = file.kind == 'j' ? 0 : file.kind == 'b' ? 1 : 2;
            std::string fault;
            if (k < 2) {
                fault = picture_fault(f, k == 0);
            } else if (check_module(f, fault)) {
                fault.clear();
            } else if (fault.empty()) {
                fault = "(refused without a reason)";
                ADD_FAILURE() << "case " << n
                              << ": the module check refused without naming a fault";
            }
            (fault.empty() ? accepted : refused)[k]++;
        }
    }
    for (int k = 0; k < 3; k++) {
        EXPECT_GT(accepted[k], 50) << "kind " << k;
        EXPECT_GT(refused[k], 200) << "kind " << k;
    }
    std::printf("mutations accepted/refused: JPEG %d/%d, BMP %d/%d, module %d/%d\n", accepted[0],
                refused[0], accepted[1], refused[1], accepted[2], refused[2]);
}

}  // namespace
