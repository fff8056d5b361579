// stream8-bench: renders the whole show headless, without encoding, and reports how long each
// frame took to render, by phase and by scene, against the 59 Hz tick.
//
// A frame's render time is the time from the previous present to its own: everything the show
// did to make it (the main loop's head, the sequencer, the scene's drawing). It is measured on the
// rendering thread's CPU clock, so other load on a shared machine does not count, and on the wall
// clock beside it. The first present also carries the start-up (pictures, tables, tiles), which is
// reported on its own line.
//
// --path chooses the drawing paths (allegro: the library for everything; portable; avx2; avx512;
// the default is the best the CPU has); --compare runs the show twice, through the library and on
// the fast paths, and prints the ratio of their median frame times per phase and scene.
#include <getopt.h>
#include <time.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/frame_stats.h"
#include "cli/command_line.h"
#include "common/frame_list.h"
#include "host/virtual_clock_host.h"
#include "raster/raster.h"
#include "show/probe.h"
#include "show/show.h"

namespace {

// Short names of the scenes 0..5, for the table.
const char* const kSceneNames[6] = {"stairs", "plasma", "helix", "tunnel", "julia", "xortunnel"};

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// CPU time of the calling thread, in milliseconds.
#if defined(__EMSCRIPTEN__)
// wasm has no thread CPU clock: under Node, the process's CPU time (user and system), whose other
// threads (its compiler, its collector) add little to one thread running the show.
EM_JS(double, node_cpu_ms, (), {
    const u = process.cpuUsage();
    return (u.user + u.system) / 1000;
});
double thread_cpu_ms()
{
    return node_cpu_ms();
}
#else
double thread_cpu_ms()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}
#endif

class BenchHost : public VirtualClockHost {
public:
    BenchHost()
    {
        for (Phase p : all_phases())
            phases.push_back(FrameTimes{phase_name(p), {}, {}, {}, -1});
        for (int s = 0; s < 6; s++)
            scenes.push_back(FrameTimes{
                std::string("scene ") + std::to_string(s) + " " + kSceneNames[s], {}, {}, {}, -1});
    }

    void begin()
    {
        last_ = start_ = Clock::now();
        last_cpu_ = start_cpu_ = thread_cpu_ms();
    }

    // Called once the show has returned.
    void finish()
    {
        ending_tail_ms = thread_cpu_ms() - last_cpu_;
        total_cpu_ms = thread_cpu_ms() - start_cpu_;
        total_wall_ms = since_start();
    }

    double since_start() const { return ms_between(start_, Clock::now()); }

    std::vector<FrameTimes> phases;
    std::vector<FrameTimes> scenes;
    double startup_ms = 0;      // CPU
    double ending_tail_ms = 0;  // CPU after the last present
    double total_cpu_ms = 0, total_wall_ms = 0;
    bool progress = true;

protected:
    // A shown frame's render time: from the previous present to this one.
    void after_iteration(BITMAP* frame, bool shown) override
    {
        if (!shown)
            return;
        const Clock::time_point now = Clock::now();
        const double now_cpu = thread_cpu_ms();
        const double wall = ms_between(last_, now);
        const double cpu = now_cpu - last_cpu_;
        last_ = now;
        last_cpu_ = now_cpu;
        const FrameLabel label{phase(), phase_iteration()};
        if (presents() == 1) {
            startup_ms = cpu;
            return;
        }
        const std::string text = label_text(label);
        if (progress && presents() % 500 == 0)
            std::fprintf(stderr, "stream8-bench: %ld frames (%s), %.1f s\n", presents(),
                         text.c_str(), since_start() / 1000.0);
        for (size_t i = 0; i < all_phases().size(); i++)
            if (all_phases()[i] == phase())
                phases[i].add(cpu, wall, text);
        if (phase() == Phase::Loop && scene() >= 0 && scene() < 6)
            scenes[scene()].add(cpu, wall, text);
    }

private:
    Clock::time_point start_, last_;
    double start_cpu_ = 0, last_cpu_ = 0;
};

void print_row(const FrameTimes& f)
{
    const TimeSummary s = summarize(f.ms);
    if (s.count == 0) {
        std::printf("  %-18s %6d\n", f.name.c_str(), 0);
        return;
    }
    const TimeSummary w = summarize(f.wall);
    std::printf("  %-18s %6ld %9.2f %9.2f %9.2f %9.2f %9ld  %-11s %9.2f\n", f.name.c_str(), s.count,
                s.median, s.p99, s.max, w.median, w.over_tick, f.worst_label.c_str(),
                s.total / 1000.0);
}

void print_table(const BenchHost& host)
{
    std::printf("  %-18s %6s %9s %9s %9s %9s %9s  %-11s %9s\n", "", "frames", "median", "p99",
                "max", "wall med", "wall>tick", "worst", "total s");
    std::printf("  %-18s %6d %9s %9s %9.2f\n", "start-up", 1, "", "", host.startup_ms);
    for (const FrameTimes& f : host.phases)
        print_row(f);
    std::printf("\n");
    for (const FrameTimes& f : host.scenes)
        print_row(f);

    // The worst frame of the whole show after start-up.
    const FrameTimes* worst = nullptr;
    for (const FrameTimes& f : host.phases)
        if (!f.ms.empty() && (!worst || f.worst > worst->worst))
            worst = &f;
    std::printf("\n");
    if (worst)
        std::printf("worst frame: %s, %.2f ms of CPU = %.2f ticks of %.2f ms (%s)\n",
                    worst->worst_label.c_str(), worst->worst, worst->worst / kTickMs, kTickMs,
                    worst->worst <= kTickMs ? "within the tick" : "over the tick");
    const double nominal_s = static_cast<double>(host.presents()) / kFrameRate;
    std::printf(
        "whole show: %ld frames, rendered in %.2f s of CPU (%.2f s wall; start-up %.2f s, after "
        "the last frame %.2f s); nominal length %.2f s at 59 fps: CPU %.1f%% of it\n",
        host.presents(), host.total_cpu_ms / 1000.0, host.total_wall_ms / 1000.0,
        host.startup_ms / 1000.0, host.ending_tail_ms / 1000.0, nominal_s,
        100.0 * host.total_cpu_ms / 1000.0 / nominal_s);
}

// What putting a frame on a large screen costs before the X server's part: the frame scaled k
// times into a screen-sized buffer, on the fast path and through the library's stretch_blit.
void print_present_costs()
{
    BITMAP* frame = create_bitmap(640, 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            putpixel(frame, x, y, makecol(x & 255, y & 255, (x ^ y) & 255));
    std::printf(
        "\npresent: one frame scaled into the screen's buffer, ms of CPU (fast path / library)\n");
    for (int k = 1; k <= 4; k++) {
        BITMAP* screen_buffer = create_bitmap(640 * k, 480 * k);
        const int reps = 400 / (k * k);
        double ms[2];
        for (int library = 0; library <= 1; library++) {
            const raster::Path was = raster::path();
            if (library)
                raster::set_path(raster::Path::allegro);
            const double t0 = thread_cpu_ms();
            for (int r = 0; r < reps; r++)
                raster::scale_blit(frame, screen_buffer, k, 0, 0);
            ms[library] = (thread_cpu_ms() - t0) / reps;
            raster::set_path(was);
        }
        std::printf("  x%d %4dx%-4d %9.3f %9.3f\n", k, 640 * k, 480 * k, ms[0], ms[1]);
        destroy_bitmap(screen_buffer);
    }
    destroy_bitmap(frame);
}

// One whole show on `path`; false (with the reason printed) when it could not start.
bool run_bench(BenchHost& host, raster::Path path, const std::string& data_dir,
               const ProbeResult& probe)
{
    raster::set_path(path);
    host.begin();
    const int rc = run_show(host, data_dir, probe);
    host.finish();
    if (rc != 0) {
        std::fprintf(stderr, "stream8-bench: %s\n", host.fatal_message().c_str());
        return false;
    }
    return true;
}

void print_ratio_row(const FrameTimes& slow, const FrameTimes& fast)
{
    const TimeSummary a = summarize(slow.ms);
    const TimeSummary b = summarize(fast.ms);
    if (a.count == 0 || b.count == 0)
        return;
    std::printf("  %-18s %6ld %9.2f %9.2f %7.2fx %9.2f %9.2f %7.2fx\n", slow.name.c_str(), a.count,
                a.median, b.median, b.median > 0 ? a.median / b.median : 0.0, a.p99, b.p99,
                b.p99 > 0 ? a.p99 / b.p99 : 0.0);
}

const char* const kUsage =
    "usage: stream8-bench [--data DIR] [--path allegro|portable|avx2|avx512] [--compare] [--quiet]\n";

// A command-line fault: one line saying what; status 2.
int bad_usage(const std::string& what)
{
    return cli::usage_fault("stream8-bench", what);
}

struct BenchOptions {
    std::string data_dir = "ruvo";
    bool quiet = false;
    bool compare = false;
    raster::Path path = raster::path();  // STREAM8_RASTER, else the best this CPU has
};

// Reads the command line into `opts`. False when the program ends here, with `status`: 0 after
// --help, 2 after a fault (reported).
bool parse_bench_options(int argc, char** argv, BenchOptions& opts, int& status)
{
    const option options[] = {
        {"data", required_argument, nullptr, 'd'}, {"path", required_argument, nullptr, 'p'},
        {"compare", no_argument, nullptr, 'c'},    {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},       {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the faults are reported below, in the program's own words
    status = cli::kUsageStatus;
    for (;;) {
        const int previous = optind;
        const int id = getopt_long(argc, argv, "+:h", options, nullptr);
        if (id == -1)
            break;
        switch (id) {
        case 'h':
            std::printf("%s", kUsage);
            status = 0;
            return false;
        case ':':
        case '?':
            bad_usage(cli::getopt_fault(id, options, argv, previous));
            return false;
        case 'd':
            opts.data_dir = optarg;
            if (opts.data_dir.empty()) {
                bad_usage("--data needs a directory");
                return false;
            }
            break;
        case 'p':
            if (!raster::parse_path(optarg, opts.path)) {
                bad_usage("unknown path '" + std::string(optarg) + "'");
                return false;
            }
            break;
        case 'c':
            opts.compare = true;
            break;
        case 'q':
            opts.quiet = true;
            break;
        }
    }
    if (optind < argc) {
        bad_usage(cli::stray_word(argv[optind]));
        return false;
    }
    return true;
}

// One show on the chosen paths: its table, then the cost of a present.
int bench_one(const BenchOptions& opts, const ProbeResult& probe)
{
    BenchHost host;
    host.progress = !opts.quiet;
    if (!run_bench(host, opts.path, opts.data_dir, probe))
        return 1;
    std::printf("stream8-bench: render time per frame in ms of the rendering thread's CPU, "
                "wall-clock median beside (tick %.2f ms; drawing paths: %s)\n\n",
                kTickMs, raster::path_name(raster::path()));
    print_table(host);
    print_present_costs();
    return 0;
}

// --compare: the show through the library, then on the chosen paths; the ratios, then the table
// of the second run.
int bench_compared(const BenchOptions& opts, const ProbeResult& probe)
{
    BenchHost library, host;
    library.progress = host.progress = !opts.quiet;
    if (!run_bench(library, raster::Path::allegro, opts.data_dir, probe) ||
        !run_bench(host, opts.path, opts.data_dir, probe))
        return 1;
    std::printf("stream8-bench: CPU time per frame in ms, the library's drawing against the %s "
                "paths\n\n",
                raster::path_name(raster::path()));
    std::printf("  %-18s %6s %9s %9s %8s %9s %9s %8s\n", "", "frames", "median", "fast", "ratio",
                "p99", "fast", "ratio");
    for (size_t i = 0; i < host.phases.size(); i++)
        print_ratio_row(library.phases[i], host.phases[i]);
    std::printf("\n");
    for (size_t i = 0; i < host.scenes.size(); i++)
        print_ratio_row(library.scenes[i], host.scenes[i]);
    std::printf(
        "\nwhole show: %.2f s of CPU through the library, %.2f s on the fast paths: %.2fx\n\n",
        library.total_cpu_ms / 1000.0, host.total_cpu_ms / 1000.0,
        library.total_cpu_ms / host.total_cpu_ms);
    print_table(host);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions opts;
    int status = 0;
    if (!parse_bench_options(argc, argv, opts, status))
        return status;

    // The show's start-up probe, timed: it runs before the screen opens, so it adds to start-up.
    const ProbeResult probe = probe_show_data(opts.data_dir);
    if (!probe.failure.empty()) {
        std::fprintf(stderr, "stream8-bench: cannot start: %s\n", probe.failure.c_str());
        return 1;
    }
    std::printf("stream8-bench: start-up probe of the pictures and the music: %.0f ms wall%s\n",
                probe.seconds * 1000, probe.module_fault.empty() ? "" : " (the module failed it)");
    return opts.compare ? bench_compared(opts, probe) : bench_one(opts, probe);
}
