// The start-up probe. The pictures and the module are decoded by libraries that trust their input:
// a file that no check knows how to fault can still crash, abort or hang them, or make them write
// files. So before the screen opens, a child process checks and decodes every picture and hands
// the pixels to the show, which never runs a picture decoder itself, then loads the module and
// renders all the music the show can play. The child runs under a memory, a CPU and a time limit,
// in a private working directory that is removed as soon as it stands in it, unable to grow any
// file, and killed if the show ends first. Only the child can be taken down.
#pragma once
#include <functional>
#include <string>

#include "assets/pictures.h"
#include "frame/timing.h"

struct ProbeLimits {
    double picture_seconds = 10;  // one picture's check and decode
    double module_seconds = 15;   // loading the module and rendering its music
    double total_seconds = 20;    // the whole start-up
    long long memory_bytes = 512LL << 20;  // address space the child may add to what it inherits
};

struct ProbeResult {
    // Why the show must not start, in one line: the probe could not start or be read, it ended
    // before its last report, a picture's decoder crashed, hung or wrote a file, or the start-up
    // ran over its limit. Empty: the show may start.
    std::string failure;
    // The decoded pictures, or in `pictures.error` the first one the child refused cleanly (the
    // show reports that itself).
    DecodedPictures pictures;
    // The module's verdict for the host that plays it: empty when the player went through the
    // show's music in the child (or the module check refused it, which every host's check repeats);
    // otherwise what the player did ("the player crashed on it with signal 11, ..."), and the
    // show runs silent.
    std::string module_fault;
    long music_frames = 0;  // stereo frames of music the child rendered
    double seconds = 0;     // wall time the probe took
};

// Frames of music the probe renders: everything the show's player can render, from the main
// loop's first tick to the fade's last, the two buffers the stream runs ahead and the three of
// silence the end plays out (the player advances at volume 0 too), with a buffer to spare.
constexpr long kProbeMusicFrames = kMusicTicks * kSampleRate / kFrameRate + 6 * kStreamBuffer;

// The child's side of the report pipe.
class ProbeReport {
public:
    explicit ProbeReport(int fd) : fd_(fd) {}
    // Before a decoder reads the picture `index` at `path`: a crash or a hang from here on is its.
    void picture_start(int index, const std::string& path);
    void picture(int index, const DecodedPicture& picture);
    // A clean refusal ("DIR/x.jpg: fault"); no picture follows it.
    void pictures_refused(const std::string& error);
    void module_start();
    void music_rendered(long frames);
    void done();

private:
    void send(char type, int index, int w, int h, long long value, const void* data, size_t size);
    int fd_;
};

// Probes the show's data in `data_dir` (its pictures and "80S5.IT"). Call it while the process
// has no threads and no screen: it forks. SIGINT, SIGTERM or SIGHUP during the probe end the
// child at once and then the process, as they would have without the probe.
ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits& limits = {});

// The probe's parent with another child: `body(report, dir)` runs in the forked child, set up as
// the real one (limits, scratch directory, no file writes), with `dir` the absolute data
// directory. For tests that drive the watcher with a child of their own.
ProbeResult run_probe(const std::string& data_dir,
                      const std::function<void(ProbeReport&, const std::string& dir)>& body,
                      const ProbeLimits& limits = {});

// Where the probe makes its scratch directory: `tmpdir` (TMPDIR) when it is absolute and a
// directory this user can make one in, else /tmp; empty when neither is.
std::string probe_scratch_parent(const char* tmpdir, const std::string& fallback = "/tmp");
