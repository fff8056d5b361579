// Helpers for the headless show tests: a show on stand-in pictures.
#pragma once
#include <memory>

#include "frame/headless_host.h"
#include "show/show.h"
#include "test_files.h"

// A show on stand-in pictures written into `dir`, with its pictures loaded and nothing else of
// the preamble run; a failed load is reported as a test failure.
inline std::unique_ptr<Show> show_on_stand_ins(HeadlessHost& host, const TempDir& dir)
{
    write_stand_in_pictures(dir.path());
    auto s = std::make_unique<Show>(host);
    std::string error;
    if (!load_pictures(s->pics, dir.path(), s->x, s->y, error))
        ADD_FAILURE() << error;
    return s;
}
