// stream8-artgen: writes the show's eleven pictures into the directory given
// as the only argument. The output is the same byte for byte on every run.
#include <cstdio>

#include "pictures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-directory>\n", argv[0]);
        return 2;
    }
    if (!artgen::init_headless()) {
        std::fprintf(stderr, "artgen: cannot start Allegro\n");
        return 1;
    }
    return artgen::write_all(argv[1]) ? 0 : 1;
}
