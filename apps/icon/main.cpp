// stream8-icon: the desktop icon, made at build time from the show's own logo: the whole logo
// scaled to fit 256x256, centred on black, as a PNG.
// Usage: stream8-icon LOGO.jpg OUT.png
#include <allegro.h>
#include <jpgalleg.h>

#include <cstdio>
#include <string>

#include "common/png_writer.h"
#include "host/headless_allegro.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: stream8-icon LOGO.jpg OUT.png\n");
        return 2;
    }
    start_headless_allegro(32);
    BITMAP* logo = load_jpg(argv[1], nullptr);
    if (!logo) {
        std::fprintf(stderr, "stream8-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    BITMAP* icon = create_bitmap(256, 256);
    clear_to_color(icon, 0);
    const bool wide = logo->w >= logo->h;
    const int w = wide ? 256 : 256 * logo->w / logo->h;
    const int h = wide ? 256 * logo->h / logo->w : 256;
    stretch_blit(logo, icon, 0, 0, logo->w, logo->h, (256 - w) / 2, (256 - h) / 2, w, h);
    std::string error;
    if (!write_png(argv[2], icon, error)) {
        std::fprintf(stderr, "stream8-icon: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
END_OF_MAIN()
