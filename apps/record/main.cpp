// stream8-record: the show as a video file and as pictures of chosen frames, without a screen.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "record/options.h"
#include "record/recording_host.h"
#include "sandbox/descriptors.h"
#include "show/probe.h"
#include "show/show.h"

int main(int argc, char** argv)
{
    // Closed standard descriptors become /dev/null: no file or pipe opened later may take them.
    null_standard_fds(false);
    RecordOptions opts;
    bool help = false;
    std::string error;
    if (!parse_record_options(std::vector<std::string>(argv + 1, argv + argc), opts, help, error))
        return cli::usage_fault("stream8-record", error);
    if (help) {
        std::printf("%s", record_usage());
        return 0;
    }

    // The pictures are decoded in the probe's child; one that crashes its decoder, or a probe
    // that cannot run, stops the run here; a module the player fails on is left silent.
    const ProbeResult probe = probe_show_data(opts.data_dir);
    if (!probe.failure.empty()) {
        std::fprintf(stderr, "stream8-record: cannot start: %s\n", probe.failure.c_str());
        return 1;
    }
    RecordingHost host(opts);
    if (!host.open(error)) {
        std::fprintf(stderr, "stream8-record: %s\n", error.c_str());
        return 1;
    }
    if (run_show(host, opts.data_dir, probe) != 0) {
        std::fprintf(stderr, "stream8-record: %s\n", host.fatal_message().c_str());
        return 1;
    }
    if (!host.close(error)) {
        std::fprintf(stderr, "stream8-record: %s\n", error.c_str());
        return 1;
    }

    if (opts.video) {
        const double seconds = static_cast<double>(host.frames_written()) / kFrameRate;
        std::printf("stream8-record: wrote %s: %ld frames (to %s), %d:%05.2f (%.2f s) at %ld fps, "
                    "%dx%d, %s\n",
                    opts.out.c_str(), host.frames_written(), label_text(host.last_label()).c_str(),
                    static_cast<int>(seconds / 60), seconds - 60 * static_cast<int>(seconds / 60),
                    seconds, kFrameRate, 640 * opts.scale, 480 * opts.scale,
                    host.music_loaded() ? "48 kHz stereo sound" : "silent 48 kHz stereo sound");
    }
    if (!opts.frames.empty()) {
        std::printf("stream8-record: wrote %ld of %ld requested pictures to %s\n",
                    host.pngs_written(), opts.frames.size(), opts.frames_dir.c_str());
        if (host.pngs_written() < opts.frames.size())
            std::fprintf(stderr,
                         "stream8-record: the show ended (or --until stopped it) before the "
                         "other requested frames\n");
    }
    return 0;
}
