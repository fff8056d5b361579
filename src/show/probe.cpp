#include "show/probe.h"

#include <dumb.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "assets/pictures.h"
#include "frame/headless_host.h"
#include "frame/timing.h"
#include "music/module_check.h"
#include "show/show.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The music the show plays, from the main loop's first tick to the fade's last, rendered as the
// player renders it, 48000 Hz stereo in buffers of 4096 frames.
constexpr long kMusicFrames = kMusicTicks * kSampleRate / kFrameRate;
constexpr long kBuffer = kStreamBuffer;

// Time allowed for one picture, and for loading and rendering the module.
constexpr double kPictureSeconds = 10;
constexpr double kModuleSeconds = 15;

int report_fd = -1;

// One line to the parent: "P path" before a picture, "M" before the module, "done" at the end.
// The last line tells which file a crash, a hang or a write belongs to.
void tell(const std::string& line)
{
    const std::string text = line + "\n";
    if (write(report_fd, text.data(), text.size()) < 0) {
        // The parent has gone; nothing is left to tell.
    }
}

void before_picture(const std::string& path)
{
    tell("P " + path);
}

[[noreturn]] void run_child(pid_t parent, const std::string& dir, const std::string& scratch)
{
    // The child never outlives the show, even one killed while it waits.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(5);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    // No file can grow, and the working directory is removed once the child stands in it: a file
    // made there fails, one written anywhere ends the child with SIGXFSZ.
    const rlimit no_file_writes{0, 0};
    if (setrlimit(RLIMIT_FSIZE, &no_file_writes) != 0 || chdir(scratch.c_str()) != 0 ||
        rmdir(scratch.c_str()) != 0)
        _exit(3);
    start_headless_allegro(32);
    // A crash must end the child, not run the library's own clean-up inside a broken heap.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ})
        std::signal(sig, SIG_DFL);

    set_picture_load_watch(before_picture);
    Pictures pics;
    int x = 0, y = 0;
    std::string error;
    load_pictures(pics, dir, x, y, error);  // a clean refusal is the show's to report

    tell("M");
    std::string problem;
    const std::string module = module_file(dir);
    if (check_module_file(module, problem)) {
        dumb_register_stdfiles();
        if (DUH* duh = dumb_load_it_quick(module.c_str())) {
            if (DUH_SIGRENDERER* r = duh_start_sigrenderer(duh, 0, 2, 0)) {
                std::vector<short> buffer(2 * kBuffer);
                for (long left = kMusicFrames; left > 0; left -= kBuffer)
                    duh_render(r, 16, 0, 1.0f, 65536.0f / kSampleRate, std::min(left, kBuffer),
                               buffer.data());
            }
        }
    }
    tell("done");
    _exit(0);
}

std::string how_it_failed(int status, bool timed_out, double limit)
{
    if (timed_out)
        return "did not finish within " + std::to_string(static_cast<int>(limit)) + " s";
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXFSZ)
            return "tried to write a file";
        return "crashed on it with signal " + std::to_string(sig) + ", " + strsignal(sig);
    }
    if (WIFEXITED(status))
        return "ended the process (status " + std::to_string(WEXITSTATUS(status)) + ")";
    return "failed";
}

}  // namespace

ProbeResult probe_show_data(const std::string& data_dir)
{
    const Clock::time_point start = Clock::now();
    ProbeResult result;
    std::error_code ec;
    const std::string dir = fs::absolute(data_dir, ec).string();
    std::string scratch = (fs::temp_directory_path(ec) / "stream8-probe-XXXXXX").string();
    int fds[2];
    if (ec || !mkdtemp(scratch.data()) || pipe(fds) != 0)
        return result;  // no place to probe in: the checks alone stand guard

    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        report_fd = fds[1];
        run_child(parent, dir, scratch);
    }
    close(fds[1]);

    // Reads the child's lines until it closes the pipe; each item has its own time limit.
    std::string last = "start", pending;
    double limit = kPictureSeconds;
    Clock::time_point item_start = Clock::now();
    bool timed_out = false;
    while (pid > 0) {
        const double spent = std::chrono::duration<double>(Clock::now() - item_start).count();
        if (spent >= limit) {
            timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>((limit - spent) * 1000) + 1) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
            last = pending.substr(0, nl);
            limit = last == "M" ? kModuleSeconds : kPictureSeconds;
            item_start = Clock::now();
        }
    }
    close(fds[0]);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    fs::remove_all(scratch, ec);

    const bool clean = pid > 0 && !timed_out && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!(clean && last == "done")) {
        const std::string how = how_it_failed(status, timed_out, limit);
        if (last.rfind("P ", 0) == 0) {
            const std::string path = last.substr(2);
            const std::string shown = path.rfind(dir + "/", 0) == 0
                                          ? data_dir + path.substr(dir.size())
                                          : path;
            result.picture_fault = shown + ": the picture loader " + how;
        } else if (last == "M") {
            result.module_fault = "the player " + how;
            note_module_fault(module_file(data_dir), result.module_fault);
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}
