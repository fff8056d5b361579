#include "assets/pictures.h"

#include <jpgalleg.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <vector>

#include "assets/picture_check.h"

namespace {

long decodes = 0;

struct MinSize {
    int w, h;
};

// Each picture in load order: its file, its loader, whether the loader is handed the palette that
// receives each file's palette (nothing reads it), and the size its users read.
struct PictureFile {
    const char* name;
    bool jpeg;
    bool palette;
    MinSize need;
};
constexpr MinSize kAny{1, 1};
constexpr PictureFile kPictures[kPictureCount] = {
    {"afro.jpg", true, false, kAny},       {"logo.jpg", true, true, kAny},
    {"ruvo2.jpg", true, true, {640, 480}}, {"porras.bmp", false, true, kAny},
    {"porras2.bmp", false, true, kAny},    {"tile.bmp", false, true, kAny},
    {"face2.jpg", true, true, {256, 256}}, {"face1.jpg", true, true, {256, 256}},
    {"tolmo.jpg", true, true, {320, 401}}, {"face3.jpg", true, false, {256, 256}},
    {"ilta.jpg", true, true, {180, 240}},
};

BITMAP* created(int w, int h)
{
    BITMAP* b = create_bitmap(w, h);
    if (b)
        clear_to_color(b, 0);
    return b;
}

bool big_enough(const std::string& path, int w, int h, MinSize need, std::string& error)
{
    if (w >= need.w && h >= need.h)
        return true;
    error = path + ": is " + std::to_string(w) + "x" + std::to_string(h) + ", needs at least " +
            std::to_string(need.w) + "x" + std::to_string(need.h);
    return false;
}

unsigned be16(const std::vector<unsigned char>& b, size_t at)
{
    return b[at] << 8 | b[at + 1];
}

long le32(const std::vector<unsigned char>& b, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--)
        v = v << 8 | b[at + i];
    return static_cast<int32_t>(v);
}

// The size a file's header claims (the check has read it already; this only needs the numbers).
// False when the header cannot be found.
bool claimed_size(const std::vector<unsigned char>& b, bool jpeg, long& w, long& h)
{
    if (!jpeg) {
        if (b.size() < 26)
            return false;
        const bool core = le32(b, 14) == 12;  // the OS/2 header has 16-bit sides
        w = core ? static_cast<long>(b[18] | b[19] << 8) : le32(b, 18);
        h = core ? static_cast<long>(b[20] | b[21] << 8) : le32(b, 22);
        h = h < 0 ? -h : h;
        return true;
    }
    for (size_t at = 2; at + 9 <= b.size();) {
        if (b[at] != 0xFF)
            return false;
        const unsigned marker = b[at + 1];
        if (marker == 0xFF) {
            at++;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            h = be16(b, at + 5);
            w = be16(b, at + 7);
            return true;
        }
        at += 2 + be16(b, at + 2);
    }
    return false;
}

// A file in memory, read through Allegro's file functions.
struct MemoryFile {
    const std::vector<unsigned char>& bytes;
    size_t at = 0;
};

// The memory file's PACKFILE functions: reading and skipping forward only, as the BMP loader does.
int memory_close(void*)
{
    return 0;
}
int memory_getc(void* f)
{
    MemoryFile& m = *static_cast<MemoryFile*>(f);
    return m.at < m.bytes.size() ? m.bytes[m.at++] : EOF;
}
int memory_ungetc(int c, void* f)
{
    MemoryFile& m = *static_cast<MemoryFile*>(f);
    if (m.at == 0)
        return EOF;
    m.at--;
    return c;
}
long memory_read(void* to, long n, void* f)
{
    MemoryFile& m = *static_cast<MemoryFile*>(f);
    const size_t count = std::min(static_cast<size_t>(n < 0 ? 0 : n), m.bytes.size() - m.at);
    std::memcpy(to, m.bytes.data() + m.at, count);
    m.at += count;
    return static_cast<long>(count);
}
int memory_putc(int, void*)
{
    return EOF;
}
long memory_write(const void*, long, void*)
{
    return 0;
}
int memory_seek(void* f, int offset)
{
    MemoryFile& m = *static_cast<MemoryFile*>(f);
    if (offset < 0 || static_cast<size_t>(offset) > m.bytes.size() - m.at)
        return -1;
    m.at += static_cast<size_t>(offset);
    return 0;
}
int memory_eof(void* f)
{
    MemoryFile& m = *static_cast<MemoryFile*>(f);
    return m.at >= m.bytes.size();
}
int memory_error(void*)
{
    return 0;
}
const PACKFILE_VTABLE kMemoryFile = {memory_close, memory_getc, memory_ungetc,
                                     memory_read,  memory_putc, memory_write,
                                     memory_seek,  memory_eof,  memory_error};

// Allegro's BMP loader over a file in memory.
BITMAP* load_memory_bmp(const std::vector<unsigned char>& bytes, RGB* palette)
{
    MemoryFile file{bytes};
    PACKFILE* f = pack_fopen_vtable(&kMemoryFile, &file);
    if (!f)
        return nullptr;
    BITMAP* b = load_bmp_pf(f, palette);
    pack_fclose(f);
    return b;
}

// Decodes one picture; false with `error` set. `used`: bytes of pixels decoded so far.
bool decode_one(const std::string& dir, const PictureFile& file, RGB* palette, long long& used,
                const std::function<void(int, const std::string&)>& before, int index,
                DecodedPicture& out, std::string& error)
{
    const std::string path = dir + "/" + file.name;
    const bool jpeg = file.jpeg;
    std::vector<unsigned char> bytes;  // read once: the decoder reads what the check passed
    if (!read_picture_file(path, jpeg, bytes, error))
        return false;
    long w = 0, h = 0;
    if (claimed_size(bytes, jpeg, w, h) && used + 4LL * w * h > kPicturePixelBudget) {
        error = path + ": is too large to decode: " + std::to_string(w) + "x" + std::to_string(h) +
                " pixels would take the pictures' " + std::to_string(used >> 20) + " MB past " +
                std::to_string(kPicturePixelBudget >> 20) + " MB";
        return false;
    }
    if (before)
        before(index, path);
    decodes++;
    errno = 0;
    BITMAP* b = jpeg ? load_memory_jpg(bytes.data(), static_cast<int>(bytes.size()), palette)
                     : load_memory_bmp(bytes, palette);
    if (!b && errno == ENOMEM) {
        error = path + ": is too large to decode: its decoder ran out of memory";
        return false;
    }
    if (!b) {
        error =
            path + ": cannot be read as a " +
            (jpeg
                 ? "JPEG picture (the loader reads 8-bit baseline and progressive JPEGs after a JFIF "
                   "APP0, an Exif APP1 or another APPn: colour with luminance sampling 1x1, 2x1, 1x2 "
                   "or 2x2 over chrominance 1x1, greyscale baseline at any sampling, progressive at 1x1)"
                 : "BMP picture");
        return false;
    }
    const bool usable = big_enough(path, b->w, b->h, file.need, error);
    if (usable) {
        out.w = b->w;
        out.h = b->h;
        out.argb.resize(static_cast<size_t>(b->w) * b->h);
        uint32_t* to = out.argb.data();
        for (int y = 0; y < b->h; y++) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(b->line[y]);
            for (int x = 0; x < b->w; x++, to++)
                *to = static_cast<uint32_t>(geta32(row[x])) << 24 | getr32(row[x]) << 16 |
                      getg32(row[x]) << 8 | getb32(row[x]);
        }
        used += 4LL * b->w * b->h;
    }
    destroy_bitmap(b);
    return usable;
}

// Builds one picture's bitmap in this process's pixel layout.
BITMAP* built(const DecodedPicture& d)
{
    BITMAP* b = create_bitmap_ex(32, d.w, d.h);
    if (!b)
        return nullptr;
    const uint32_t* from = d.argb.data();
    for (int y = 0; y < d.h; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(b->line[y]);
        for (int x = 0; x < d.w; x++, from++)
            row[x] = static_cast<uint32_t>(
                makeacol32(*from >> 16 & 255, *from >> 8 & 255, *from & 255, *from >> 24));
    }
    return b;
}

}  // namespace

const char* picture_name(int index)
{
    assert(index >= 0 && index < kPictureCount);
    return kPictures[index].name;
}

bool decode_pictures(const std::string& dir,
                     const std::function<void(int index, const std::string& path)>& before,
                     const std::function<void(int index, DecodedPicture&& picture)>& decoded,
                     std::string& error)
{
    PALETTE palette;
    long long used = 0;
    for (int i = 0; i < kPictureCount; i++) {
        DecodedPicture picture;
        if (!decode_one(dir, kPictures[i], kPictures[i].palette ? palette : nullptr, used, before,
                        i, picture, error))
            return false;
        if (decoded)
            decoded(i, std::move(picture));
    }
    return true;
}

long picture_decodes()
{
    return decodes;
}

void colour_key_afro(BITMAP* afro)
{
    const int key = makecol(255, 0, 255);
    for (int x = 0; x <= 269; x++)
        for (int y = 0; y <= 479; y++)
            if (getpixel(afro, x, y) > ftofix(30.0))
                putpixel(afro, x, y, key);
}

bool load_pictures(Pictures& p, const DecodedPictures& decoded, std::string& error)
{
    if (!decoded.error.empty()) {
        error = decoded.error;
        return false;
    }
    if (get_color_depth() != 32) {
        error = "the pictures are decoded for 32-bit colour";
        return false;
    }
    BITMAP** const slots[kPictureCount] = {
        &p.afroImage,  &p.logoImage,  &p.titleImage, &p.stairsImage, &p.stairs2Image, &p.tileImage,
        &p.face2Image, &p.face1Image, &p.tolmoImage, &p.face3Image,  &p.iltaImage};
    for (int i = 0; i < kPictureCount; i++) {
        const DecodedPicture& d = decoded.picture[i];
        // The pixels come from another process: trust nothing of them but what is checked here.
        if (d.w <= 0 || d.h <= 0 || d.argb.size() != static_cast<size_t>(d.w) * d.h) {
            error = std::string(kPictures[i].name) + ": no decoded picture";
            return false;
        }
        if (!big_enough(kPictures[i].name, d.w, d.h, kPictures[i].need, error))
            return false;
        *slots[i] = built(d);
        if (!*slots[i]) {
            error = std::string(kPictures[i].name) + ": out of memory for its bitmap";
            return false;
        }
    }
    colour_key_afro(p.afroImage);
    p.canvas = created(640, 480);
    p.auxCanvas = created(640, 480);
    p.textBitmap = created(320, 160);
    p.stairsBitmap = created(272, 57);
    p.stairs2Bitmap = created(272, 20);
    p.face1Rotated = created(256, 256);
    p.face2Rotated = created(256, 256);
    return true;
}

void fill_stairs_bitmaps(Pictures& p)
{
    set_burn_blender(50, 50, 50, 150);
    draw_trans_sprite(p.stairsBitmap, p.stairsImage, 0, 0);
    clear_to_color(p.stairs2Bitmap, makecol(255, 0, 255));
    draw_sprite(p.stairs2Bitmap, p.stairs2Image, 0, 0);
}
