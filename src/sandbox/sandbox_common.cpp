// What every platform's sandbox shares: the scratch directory's parent, the wording of times and
// the result of a child that did not start.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "sandbox/sandbox.h"

namespace fs = std::filesystem;

SandboxResult sandbox_not_started(const std::string& why, double wall_seconds)
{
    SandboxResult result;
    result.end = SandboxEnd::NotStarted;
    result.how = why;
    result.wall_seconds = wall_seconds;
    return result;
}

std::string seconds_text(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

std::string sandbox_scratch_parent(const char* tmpdir, const std::string& fallback)
{
    std::random_device random;
    for (const std::string& dir : {std::string(tmpdir ? tmpdir : ""), fallback}) {
        std::error_code ec;
        if (dir.empty() || !fs::path(dir).is_absolute() || !fs::is_directory(dir, ec))
            continue;
        // Usable: a directory can be made and removed in it (/proc, say, refuses).
        const fs::path trial = fs::path(dir) / ("stream8-probe-" + std::to_string(random()) +
                                                std::to_string(random()));
        if (fs::create_directory(trial, ec) && fs::remove(trial, ec))
            return dir;
    }
    return "";
}
