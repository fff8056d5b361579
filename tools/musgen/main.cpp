// stream8-musgen <output dir>: writes the show's soundtrack module 80S5.IT.
#include <cstdio>
#include <exception>

#include "soundtrack.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    try {
        musgen::writeSoundtrack(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stream8-musgen: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %s/80S5.IT\n", argv[1]);
    return 0;
}
