// The fast drawing paths against the library's own, over the whole show: every frame the show
// presents must be the same, bit for bit, whichever path drew it. On a mismatch both pictures of
// the first differing frame are written as PNG and named in the failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/frame_list.h"
#include "common/png_writer.h"
#include "host/frame_log.h"
#include "raster/raster.h"
#include "record_support.h"
#include "show/show.h"
#include "spy_host.h"

namespace {

struct ShowHashes {
    std::vector<uint64_t> hashes;
    std::vector<FrameLabel> labels;
    int result = -1;
};

// Runs the whole show on `path`, hashing every iteration's frame, shown or not; frame number `dump` (1-based,
// over the whole show) is also written to `png`.
ShowHashes run_show_on(raster::Path path, long dump = 0, const std::string& png = "")
{
    raster::set_path(path);
    SpyHost host;
    ShowHashes r;
    host.on_iteration = [&](BITMAP* b, Phase phase, long n) {
        r.hashes.push_back(frame_hash(b));
        r.labels.push_back({phase, n});
        std::string error;
        if (static_cast<long>(r.hashes.size()) == dump && !write_png(png, b, error))
            ADD_FAILURE() << error;
    };
    // The show's own start-up: the pictures decoded in the probe's child, once for every run.
    static const ProbeResult probe = probe_show_data(repo_data_dir());
    r.result = run_show(host, repo_data_dir(), probe);
    raster::set_path(raster::best_path());
    return r;
}

TEST(FastPaths, EveryFrameOfTheShowIsTheLibrarysFrame)
{
    start_headless_allegro(32);
    const ShowHashes library = run_show_on(raster::Path::allegro);
    ASSERT_EQ(library.result, 0);
    // Every iteration, shown or passed: the holds' 708 presents each, 600 smear and 900 fade passes.
    ASSERT_EQ(library.hashes.size(), 708u + 600 + 2099 + 708 + 900);
    // Every path this CPU has: the portable loops, and the vector ones.
    std::vector<raster::Path> paths = {raster::Path::portable};
    for (raster::Path p : {raster::Path::avx2, raster::Path::avx512})
        if (static_cast<int>(p) <= static_cast<int>(raster::best_path()))
            paths.push_back(p);
    for (raster::Path path : paths) {
        const char* name = raster::path_name(path);
        SCOPED_TRACE(name);
        const ShowHashes fast = run_show_on(path);
        ASSERT_EQ(fast.result, 0);
        ASSERT_EQ(fast.hashes.size(), library.hashes.size());
        for (size_t k = 0; k < fast.hashes.size(); k++) {
            if (fast.hashes[k] == library.hashes[k])
                continue;
            const std::string dir = std::filesystem::temp_directory_path().string();
            const std::string label = png_file_name(library.labels[k]);
            const std::string lib_png = dir + "/stream8-library-" + label;
            const std::string fast_png = dir + "/stream8-" + name + "-" + label;
            run_show_on(raster::Path::allegro, static_cast<long>(k) + 1, lib_png);
            run_show_on(path, static_cast<long>(k) + 1, fast_png);
            ADD_FAILURE() << "first differing frame " << label_text(library.labels[k]) << ": see "
                          << lib_png << " and " << fast_png;
            break;
        }
    }
}

}  // namespace
