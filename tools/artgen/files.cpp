// Turning painted pictures into the show's files.
#include <allegro.h>
#include <jpgalleg.h>

#include <cstdio>
#include <vector>

#include "host/headless_allegro.h"
#include "pictures.h"

namespace artgen {

bool init_headless()
{
    start_headless_allegro(32);
    jpgalleg_init();
    return true;
}

namespace {

BITMAP* to_bitmap(const Picture& pic)
{
    BITMAP* bmp = create_bitmap_ex(32, pic.w(), pic.h());
    if (!bmp)
        return nullptr;
    for (int y = 0; y < pic.h(); ++y)
        for (int x = 0; x < pic.w(); ++x) {
            uint32_t p = pic.packed(x, y);
            putpixel(bmp, x, y, makecol32((p >> 16) & 255, (p >> 8) & 255, p & 255));
        }
    return bmp;
}

bool save(const std::string& dir, const char* name, const Picture& pic, int quality)
{
    std::string path = dir + "/" + name;
    BITMAP* bmp = to_bitmap(pic);
    if (!bmp) {
        std::fprintf(stderr, "artgen: no memory for %s\n", name);
        return false;
    }
    int rc;
    if (quality > 0)
        rc = save_jpg_ex(path.c_str(), bmp, nullptr, quality, JPG_SAMPLING_444 | JPG_OPTIMIZE,
                         nullptr);
    else
        rc = save_bitmap(path.c_str(), bmp, nullptr);
    destroy_bitmap(bmp);
    if (rc != 0) {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// Highest red a figure pixel of the afro picture may decode to; the show
// keys away everything from red 30 up.
const int kAfroRedMax = 20;

// The encoder's error is largest at the hard edge against the white
// background, where it can lift a figure pixel's red over the key. Encodes
// the picture in memory, decodes it, darkens every figure pixel (painted red
// below half) that decodes redder than kAfroRedMax together with its
// neighbours, and repeats until none does.
bool fit_into_key(Picture& pic, int quality)
{
    const int w = pic.w(), h = pic.h();
    std::vector<unsigned char> buf(static_cast<size_t>(w) * h * 4 + 65536);
    for (int pass = 0; pass < 40; ++pass) {
        BITMAP* bmp = to_bitmap(pic);
        if (!bmp)
            return false;
        int size = static_cast<int>(buf.size());
        int rc = save_memory_jpg_ex(buf.data(), &size, bmp, nullptr, quality,
                                    JPG_SAMPLING_444 | JPG_OPTIMIZE, nullptr);
        destroy_bitmap(bmp);
        if (rc != 0)
            return false;
        BITMAP* back = load_memory_jpg(buf.data(), size, nullptr);
        if (!back)
            return false;
        std::vector<char> bad(static_cast<size_t>(w) * h, 0);
        int nBad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (pic.at(x, y).r < 0.5 && getr32(getpixel(back, x, y)) > kAfroRedMax) {
                    bad[static_cast<size_t>(y) * w + x] = 1;
                    ++nBad;
                }
        destroy_bitmap(back);
        if (nBad == 0)
            return true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool near = false;
                for (int j = -1; j <= 1 && !near; ++j)
                    for (int i = -1; i <= 1 && !near; ++i) {
                        int u = x + i, v = y + j;
                        near = u >= 0 && v >= 0 && u < w && v < h &&
                               bad[static_cast<size_t>(v) * w + u];
                    }
                if (near && pic.at(x, y).r < 0.5)
                    pic.at(x, y) = pic.at(x, y) * 0.75;
            }
    }
    std::fprintf(stderr, "artgen: afro.jpg does not fit the colour key\n");
    return false;
}

}  // namespace

bool write_all(const std::string& dir)
{
    bool ok = true;
    // The afro picture is keyed on its red channel; the highest quality keeps
    // its hard silhouette edge free of ringing.
    Picture afro = paint_afro();
    ok = ok && fit_into_key(afro, 100) && save(dir, "afro.jpg", afro, 100);
    ok = ok && save(dir, "logo.jpg", paint_logo(), 95);
    ok = ok && save(dir, "ruvo2.jpg", paint_title(), 92);
    ok = ok && save(dir, "porras.bmp", paint_stair(), 0);
    ok = ok && save(dir, "porras2.bmp", paint_riser(), 0);
    ok = ok && save(dir, "tile.bmp", paint_tile(), 0);
    if (ok) {
        Picture face1(256, 256), face2(256, 256);
        paint_faces(face1, face2);
        // The relief height at full quality: encoder error at the outline would
        // lift pixels just over the relief's threshold, each a stray dash.
        ok = save(dir, "face1.jpg", face1, 100) && save(dir, "face2.jpg", face2, 95);
    }
    ok = ok && save(dir, "tolmo.jpg", paint_tolmo(), 92);
    ok = ok && save(dir, "face3.jpg", paint_face3(), 95);
    // The city is stretched up to three times: at high quality its lit
    // windows keep clean edges instead of halos.
    ok = ok && save(dir, "ilta.jpg", paint_ilta(), 98);
    return ok;
}

}  // namespace artgen
