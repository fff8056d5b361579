// The start-up probe on Windows, for now without a child process: the pictures are checked and
// decoded, and the module checked, in this process. The checks refuse every fault they know of;
// what a decoder might still do to a file no check knows how to fault is not contained here yet.
#include "show/probe.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "assets/picture_check.h"
#include "frame/headless_host.h"
#include "music/module_check.h"
#include "show/show.h"

ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits&)
{
    const auto start = std::chrono::steady_clock::now();
    ProbeResult result;
    start_headless_allegro(32);
    std::string error;
    if (!decode_pictures(
            data_dir, [](int, const std::string&) {},
            [&](int i, DecodedPicture&& picture) { result.pictures.picture[i] = std::move(picture); },
            error))
        result.pictures.error = error;
    // A module the check refuses is refused again by the host that plays it.
    result.music_frames = kProbeMusicFrames;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
