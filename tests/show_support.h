// Helpers for the headless show tests: a show on stand-in pictures.
#pragma once
#include <cstdint>
#include <memory>

#include "show/show.h"
#include "spy_host.h"
#include "test_files.h"

// A copy of the show's 15-bit generator written out here, for tests that pin the show's draws
// against it (a shared fault in ShowRandom then cannot slip through), starting past `skip` draws.
class ReplayRandom {
public:
    explicit ReplayRandom(int skip = 0)
    {
        for (int i = 0; i < skip; i++)
            next();
    }
    int next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_ = 1;
};

// The probe's result for `dir` with its pictures decoded in this process and no verdict on the
// module: for tests of the show that are not about the probe.
inline ProbeResult probed_here(const std::string& dir)
{
    ProbeResult r;
    r.pictures = decoded_pictures(dir);
    return r;
}

// A show on stand-in pictures written into `dir`, with its pictures loaded and nothing else of
// the preamble run; a failed load is reported as a test failure.
inline std::unique_ptr<Show> show_on_stand_ins(SpyHost& host, const TempDir& dir)
{
    write_stand_in_pictures(dir.path());
    auto s = std::make_unique<Show>(host);
    std::string error;
    if (!load_pictures(s->pics, decoded_pictures(dir.path()), error))
        ADD_FAILURE() << error;
    return s;
}
