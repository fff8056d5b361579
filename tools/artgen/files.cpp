// Turning painted pictures into the show's files.
#include <allegro.h>
#include <jpgalleg.h>

#include <cstdio>

#include "frame/headless_host.h"
#include "pictures.h"

namespace artgen {

bool init_headless() {
    start_headless_allegro(32);
    jpgalleg_init();
    return true;
}

namespace {

BITMAP* to_bitmap(const Picture& pic) {
    BITMAP* bmp = create_bitmap_ex(32, pic.w(), pic.h());
    if (!bmp) return nullptr;
    for (int y = 0; y < pic.h(); ++y)
        for (int x = 0; x < pic.w(); ++x) {
            uint32_t p = pic.packed(x, y);
            putpixel(bmp, x, y, makecol32((p >> 16) & 255, (p >> 8) & 255, p & 255));
        }
    return bmp;
}

bool save(const std::string& dir, const char* name, const Picture& pic, int quality) {
    std::string path = dir + "/" + name;
    BITMAP* bmp = to_bitmap(pic);
    if (!bmp) {
        std::fprintf(stderr, "artgen: no memory for %s\n", name);
        return false;
    }
    int rc;
    if (quality > 0)
        rc = save_jpg_ex(path.c_str(), bmp, nullptr, quality, JPG_SAMPLING_444 | JPG_OPTIMIZE, nullptr);
    else
        rc = save_bitmap(path.c_str(), bmp, nullptr);
    destroy_bitmap(bmp);
    if (rc != 0) {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool write_all(const std::string& dir) {
    bool ok = true;
    // The afro picture is keyed on its red channel; the highest quality keeps
    // its hard silhouette edge free of ringing.
    ok = ok && save(dir, "afro.jpg", paint_afro(), 100);
    ok = ok && save(dir, "logo.jpg", paint_logo(), 95);
    ok = ok && save(dir, "ruvo2.jpg", paint_title(), 92);
    ok = ok && save(dir, "porras.bmp", paint_stair(), 0);
    ok = ok && save(dir, "porras2.bmp", paint_riser(), 0);
    ok = ok && save(dir, "tile.bmp", paint_tile(), 0);
    if (ok) {
        Picture face1(256, 256), face2(256, 256);
        paint_faces(face1, face2);
        ok = save(dir, "face1.jpg", face1, 95) && save(dir, "face2.jpg", face2, 95);
    }
    ok = ok && save(dir, "tolmo.jpg", paint_tolmo(), 92);
    ok = ok && save(dir, "face3.jpg", paint_face3(), 95);
    ok = ok && save(dir, "ilta.jpg", paint_ilta(), 92);
    return ok;
}

}  // namespace artgen
