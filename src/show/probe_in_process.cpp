// The start-up probe where there are no processes to fork (the browser, where the page's sandbox
// is the boundary): the same checks run before any decoder, in this process, and the pictures are
// decoded here; a refusal is reported as the forked probe reports it. The module is checked by the
// host that plays it, as everywhere.
#include <chrono>
#include <filesystem>

#include "assets/picture_check.h"
#include "frame/headless_allegro.h"
#include "show/probe.h"

ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits&)
{
    const auto start = std::chrono::steady_clock::now();
    ProbeResult result;
    std::error_code ec;
    if (!std::filesystem::is_directory(data_dir, ec)) {
        result.failure = "cannot find the data directory " + data_dir;
        return result;
    }
    start_headless_allegro(32);
    std::string error;
    if (!decode_pictures(
            data_dir, [](int, const std::string&) {},
            [&](int i, DecodedPicture&& picture) { result.pictures.picture[i] = std::move(picture); },
            error))
        result.pictures.error = error;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
