// The start-up probe. The pictures and the module are decoded by libraries that trust their input:
// a file that no check knows how to fault can still crash, abort or hang them, or make them write
// files. So before the screen opens, a sandboxed child (sandbox/sandbox.h) checks and decodes
// every picture and hands the pixels to the show, which never runs a picture decoder itself, then
// loads the module and renders all the music the show can play. Each picture and the module have
// a CPU time budget of their own, the whole child one more.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "host/timing.h"
#include "sandbox/sandbox.h"

// CPU time, not wall time: the same file gets the same verdict on a quiet and on a loaded machine.
// The sandbox's own limits bound the whole start-up (its CPU time, memory and stall); these, each
// item within it.
struct ProbeLimits : SandboxLimits {
    double picture_cpu_seconds = 10;  // one picture's check and decode
    double module_cpu_seconds = 15;   // loading the module and rendering its music
};

struct ProbeResult {
    // Why the show must not start, in one line: the probe could not start or be read, it ended
    // before its last report or was killed from outside, a picture's decoder crashed, stalled,
    // wrote a file or ran out of CPU time, or the start-up ran over its CPU time. Empty: the show
    // may start.
    std::string failure;
    // The decoded pictures, or in `pictures.error` the first one the child refused cleanly (the
    // show reports that itself).
    DecodedPictures pictures;
    // The music: the module, read once and checked in this process, loaded from those bytes and
    // rendered in the child only (interleaved stereo at 48000 Hz, unit gain; see module_player.h).
    // Empty when there is none: then `module_problem` says why (the file is missing, unreadable
    // or refused by the check), or `module_fault` what the player did on it in the child ("the
    // player crashed on it with signal 11, ..."), and the show runs silent.
    std::vector<int16_t> music;
    std::string module_problem;
    std::string module_fault;
    long music_frames = 0;  // stereo frames of music the child rendered
    double seconds = 0;     // wall time the probe took

    // Why a screen must not open for the show, the probe's failure or else a picture refused;
    // empty when it may. The program and the page ask before they take the screen.
    const std::string& refusal() const { return failure.empty() ? pictures.error : failure; }
};

// Frames of music the probe renders: everything the show's player can render, from the main
// loop's first tick to the fade's last, the two buffers the stream runs ahead and the three of
// silence the end plays out (the player advances at volume 0 too), with a buffer to spare.
constexpr long kProbeMusicFrames = kMusicTicks * kSampleRate / kFrameRate + 6 * kStreamBuffer;

// The child's side of the report pipe.
class ProbeReport {
public:
    ProbeReport(SandboxChild& child, const ProbeLimits& limits) : child_(child), limits_(limits) {}
    // Before a decoder reads the picture `index` at `path`: a crash or a hang from here on is its.
    void picture_start(int index, const std::string& path);
    void picture(int index, const DecodedPicture& picture);
    // A clean refusal ("DIR/x.jpg: fault"); no picture follows it.
    void pictures_refused(const std::string& error);
    void module_start();
    // The input the parent handed the child (probe_show_data: the module's checked bytes).
    const std::string& input() const { return child_.input(); }
    // The rendered track, or (tests) only its length.
    void music(const std::vector<int16_t>& samples);
    void music_rendered(long frames);
    void done();

private:
    void send(char type, int index, int w, int h, long long value, const void* data, size_t size);
    SandboxChild& child_;
    const ProbeLimits limits_;
};

// Probes the show's data in `data_dir` (its pictures and "80S5.IT"). Call it while the process
// has no threads and no screen: it forks (on Windows, starts this program again; see
// run_sandboxed). SIGINT, SIGTERM or SIGHUP during the probe end the child at once and then the
// process, as they would have without the probe.
ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits& limits = {});

// The probe's parent with another child: `body(report, dir)` runs in the sandbox's child, set up
// as the real one, with `dir` the absolute data directory and `input` for report.input(). For
// tests that drive the watcher with a child of their own.
ProbeResult run_probe(const std::string& data_dir,
                      const std::function<void(ProbeReport&, const std::string& dir)>& body,
                      const ProbeLimits& limits = {}, const std::string& input = std::string());
