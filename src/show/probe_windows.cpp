// The start-up probe on Windows, for now without a child process: the pictures are checked and
// decoded, and the module checked, in this process. The checks refuse every fault they know of;
// what a decoder might still do to a file no check knows how to fault is not contained here yet.
#include "show/probe.h"

#include <allegro.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "assets/picture_check.h"
#include "music/module_check.h"
#include "show/show.h"

ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits&)
{
    const auto start = std::chrono::steady_clock::now();
    ProbeResult result;
    // The decoders need the library, but only for this: it is shut down again, so that the host
    // that follows brings it up as its own (a system driver left installed here keeps the live
    // show's keyboard from ever being acquired).
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    set_color_depth(32);
    std::string error;
    if (!decode_pictures(
            data_dir, [](int, const std::string&) {},
            [&](int i, DecodedPicture&& picture) { result.pictures.picture[i] = std::move(picture); },
            error))
        result.pictures.error = error;
    allegro_exit();
    // A module the check refuses is refused again by the host that plays it.
    result.music_frames = kProbeMusicFrames;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
