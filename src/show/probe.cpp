#include "show/probe.h"

#include <dumb.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "assets/picture_check.h"
#include "frame/headless_host.h"
#include "music/module_check.h"
#include "show/show.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// One message of the report pipe: this head, then `length` bytes of payload ('P' and 'R' text,
// 'I' pixels). 'P' picture start, 'I' picture, 'R' refusal, 'M' module start, 'm' music rendered
// (`value` frames), 'D' done.
struct Message {
    char type;
    char pad[3];
    int32_t index, w, h;
    int64_t value;
    uint64_t length;
};
constexpr size_t kMaxText = 1 << 16;

// --- The child ---

void write_all(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(4);  // the parent has gone
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void probe_body(ProbeReport& report, const std::string& dir)
{
    start_headless_allegro(32);
    // A crash must end the child, not run the library's own clean-up inside a broken heap.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ, SIGXCPU})
        std::signal(sig, SIG_DFL);

    std::string error;
    if (!decode_pictures(
            dir, [&](int i, const std::string& path) { report.picture_start(i, path); },
            [&](int i, DecodedPicture&& picture) { report.picture(i, picture); }, error)) {
        report.pictures_refused(error);
        report.done();  // the show stops at the refusal: its music does not matter
        return;
    }

    report.module_start();
    std::string problem;
    const std::string module = module_file(dir);
    long rendered = 0;
    if (check_module_file(module, problem)) {
        dumb_register_stdfiles();
        if (DUH* duh = dumb_load_it_quick(module.c_str())) {
            if (DUH_SIGRENDERER* r = duh_start_sigrenderer(duh, 0, 2, 0)) {
                // As the player renders it: 48000 Hz stereo in buffers of 4096 frames.
                std::vector<short> buffer(2 * kStreamBuffer);
                while (rendered < kProbeMusicFrames) {
                    const long n = std::min(kProbeMusicFrames - rendered, kStreamBuffer);
                    duh_render(r, 16, 0, 1.0f, 65536.0f / kSampleRate, n, buffer.data());
                    rendered += n;
                }
            }
        }
    }
    report.music_rendered(rendered);
    report.done();
}

[[noreturn]] void run_child(pid_t parent, int report_fd, const std::string& scratch,
                            const ProbeLimits& limits,
                            const std::function<void(ProbeReport&, const std::string&)>& body,
                            const std::string& dir)
{
    // The child never outlives the show, even one killed while it waits.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(5);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(sig, SIG_DFL);
    // The report pipe is above 2, so these cannot land on it.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        for (int fd = 0; fd <= 2; fd++)
            if (null != fd)
                dup2(null, fd);
        if (null > 2)
            close(null);
    }
    // Memory beyond what the child inherits, and CPU: a decoder that runs away fails an
    // allocation or is ended.
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
#if !defined(__SANITIZE_ADDRESS__)
    const rlim_t memory = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + limits.memory_bytes;
    const rlimit as{memory, memory};
    setrlimit(RLIMIT_AS, &as);
#endif
    const rlim_t cpu = static_cast<rlim_t>(std::ceil(limits.total_seconds));
    const rlimit cpu_limit{cpu, cpu + 1};
    setrlimit(RLIMIT_CPU, &cpu_limit);
    // No file can grow, and the working directory is removed once the child stands in it: a file
    // made there fails, one written anywhere ends the child with SIGXFSZ.
    const rlimit no_file_writes{0, 0};
    if (setrlimit(RLIMIT_FSIZE, &no_file_writes) != 0 || chdir(scratch.c_str()) != 0 ||
        rmdir(scratch.c_str()) != 0)
        _exit(3);
    ProbeReport report(report_fd);
    body(report, dir);
    _exit(0);
}

// --- The parent ---

std::string how_it_failed(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXFSZ)
            return "tried to write a file";
        if (sig == SIGXCPU)
            return "ran out of CPU time";
        return "crashed on it with signal " + std::to_string(sig) + ", " + strsignal(sig);
    }
    if (WIFEXITED(status))
        return "ended the process (status " + std::to_string(WEXITSTATUS(status)) + ")";
    return "failed";
}

std::string seconds_text(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

// A pipe whose ends are both above the standard descriptors, closed on exec.
bool high_pipe(int fds[2])
{
    int raw[2];
    if (pipe(raw) != 0)
        return false;
    bool ok = true;
    for (int i = 0; i < 2; i++) {
        fds[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 3);
        ok = ok && fds[i] >= 0;
        close(raw[i]);
    }
    if (!ok) {
        for (int i = 0; i < 2; i++)
            if (fds[i] >= 0)
                close(fds[i]);
    }
    return ok;
}

// The signals that end a start-up: their handler wakes the watcher through a pipe.
int wake_fd = -1;
volatile sig_atomic_t ending_signal = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_ending_signal(int sig)
{
    ending_signal = sig;
    const char byte = 1;
    if (write(wake_fd, &byte, 1) < 0) {
        // The pipe is full: the watcher wakes anyway.
    }
}

// Installs the handler for each ending signal whose action is the default (one that is ignored
// stays ignored), and puts back the old actions when it goes.
class EndingSignals {
public:
    explicit EndingSignals(int fd)
    {
        wake_fd = fd;
        ending_signal = 0;
        struct sigaction act {};
        act.sa_handler = on_ending_signal;
        sigemptyset(&act.sa_mask);
        for (size_t i = 0; i < std::size(kEndingSignals); i++) {
            sigaction(kEndingSignals[i], nullptr, &old_[i]);
            if (old_[i].sa_handler == SIG_DFL)
                sigaction(kEndingSignals[i], &act, nullptr);
        }
    }
    ~EndingSignals()
    {
        for (size_t i = 0; i < std::size(kEndingSignals); i++)
            sigaction(kEndingSignals[i], &old_[i], nullptr);
    }

private:
    struct sigaction old_[std::size(kEndingSignals)];
};

// Reads the child's messages and keeps the time of each item.
class Watcher {
public:
    Watcher(const std::string& data_dir, const std::string& dir, const ProbeLimits& limits,
            ProbeResult& result)
        : data_dir_(data_dir), dir_(dir), limits_(limits), result_(result)
    {
    }

    // Takes what `fd` has; false at its end or on a malformed report (then failure_ says so).
    bool read_from(int fd)
    {
        char* into = head_got_ < sizeof head_ ? reinterpret_cast<char*>(&head_) + head_got_ : dst_;
        const size_t want = head_got_ < sizeof head_ ? sizeof head_ - head_got_ : left_;
        const ssize_t n = read(fd, into, want);
        if (n < 0 && errno == EINTR)
            return true;
        if (n <= 0)
            return false;
        if (head_got_ < sizeof head_) {
            head_got_ += static_cast<size_t>(n);
            if (head_got_ == sizeof head_ && !start_payload())
                return false;
        } else {
            dst_ += n;
            left_ -= static_cast<size_t>(n);
        }
        if (head_got_ == sizeof head_ && left_ == 0) {
            head_got_ = 0;
            return finish_message();
        }
        return true;
    }

    double item_limit() const
    {
        return item_ == Item::Module ? limits_.module_seconds : limits_.picture_seconds;
    }
    double item_seconds() const { return since(item_start_); }

    // The message for an item that did not finish, or a child that ended in it with `how`.
    void item_failed(const std::string& how)
    {
        if (item_ == Item::Picture)
            result_.failure = shown(path_) + ": the picture loader " + how;
        else if (item_ == Item::Module)
            result_.module_fault = "the player " + how;
        else
            result_.failure = std::string("the start-up probe ended before its ") +
                              (item_ == Item::Start ? "first" : "last") + " report (" + how + ")";
    }

    // The start-up ran over its limit: the file that took longest is named.
    void over_time()
    {
        note_item_time();
        result_.failure = "the start-up took longer than " + seconds_text(limits_.total_seconds);
        if (!slowest_.empty())
            result_.failure += "; the slowest file, " + slowest_ + ", took " +
                               seconds_text(slowest_seconds_);
    }

    bool done() const { return done_; }
    bool malformed() const { return malformed_; }

    // After a clean end: every picture is there, or a refusal.
    bool complete() const
    {
        if (!result_.pictures.error.empty())
            return true;
        for (const DecodedPicture& p : result_.pictures.picture)
            if (p.argb.empty())
                return false;
        return true;
    }

private:
    enum class Item { Start, Picture, Between, Module };

    // A path the child spelled with the absolute directory, as the user gave it.
    std::string shown(const std::string& path) const
    {
        return path.rfind(dir_ + "/", 0) == 0 ? data_dir_ + path.substr(dir_.size()) : path;
    }
    std::string shown_text(std::string text) const
    {
        for (size_t at = 0; (at = text.find(dir_ + "/", at)) != std::string::npos;
             at += data_dir_.size() + 1)
            text.replace(at, dir_.size(), data_dir_);
        return text;
    }

    bool bad()
    {
        malformed_ = true;
        result_.failure = "the start-up probe's report cannot be read";
        return false;
    }

    bool start_payload()
    {
        const Message& m = head_;
        left_ = m.length;
        if (m.type == 'P' || m.type == 'R') {
            if (m.length > kMaxText)
                return bad();
            text_.assign(m.length, '\0');
            dst_ = text_.data();
            return true;
        }
        if (m.type == 'I') {
            const long long bytes = 4LL * m.w * m.h;
            if (m.index < 0 || m.index >= kPictureCount || m.w < 1 || m.h < 1 ||
                m.w > kMaxPictureSide || m.h > kMaxPictureSide ||
                m.length != static_cast<uint64_t>(bytes) || pixel_bytes_ + bytes > kPicturePixelBudget)
                return bad();
            pixel_bytes_ += bytes;
            DecodedPicture& p = result_.pictures.picture[m.index];
            p.w = m.w;
            p.h = m.h;
            p.argb.assign(static_cast<size_t>(m.w) * m.h, 0);
            dst_ = reinterpret_cast<char*>(p.argb.data());
            return true;
        }
        return m.length == 0 ? true : bad();
    }

    void note_item_time()
    {
        if (item_ != Item::Picture && item_ != Item::Module)
            return;
        const double s = since(item_start_);
        if (s >= slowest_seconds_) {
            slowest_seconds_ = s;
            slowest_ = shown(path_);
        }
    }

    void begin_item(Item item, const std::string& path)
    {
        note_item_time();
        item_ = item;
        path_ = path;
        item_start_ = Clock::now();
    }

    bool finish_message()
    {
        switch (head_.type) {
        case 'P':
            begin_item(Item::Picture, text_);
            return true;
        case 'I':
        case 'R':
            if (head_.type == 'R')
                result_.pictures.error = shown_text(text_);
            begin_item(Item::Between, "");
            return true;
        case 'M':
            begin_item(Item::Module, module_file(dir_));
            return true;
        case 'm':
            result_.music_frames = static_cast<long>(head_.value);
            return true;
        case 'D':
            begin_item(Item::Between, "");
            done_ = true;
            return true;
        default:
            return bad();
        }
    }

    const std::string data_dir_, dir_;
    const ProbeLimits limits_;
    ProbeResult& result_;

    Message head_{};
    size_t head_got_ = 0;
    char* dst_ = nullptr;
    size_t left_ = 0;
    std::string text_;
    long long pixel_bytes_ = 0;

    Item item_ = Item::Start;
    std::string path_;
    Clock::time_point item_start_ = Clock::now();
    std::string slowest_;
    double slowest_seconds_ = -1;
    bool done_ = false;
    bool malformed_ = false;
};

}  // namespace

void ProbeReport::send(char type, int index, int w, int h, long long value, const void* data,
                       size_t size)
{
    Message m{};
    m.type = type;
    m.index = index;
    m.w = w;
    m.h = h;
    m.value = value;
    m.length = size;
    write_all(fd_, &m, sizeof m);
    if (size > 0)
        write_all(fd_, data, size);
}

void ProbeReport::picture_start(int index, const std::string& path)
{
    send('P', index, 0, 0, 0, path.data(), std::min(path.size(), kMaxText));
}

void ProbeReport::picture(int index, const DecodedPicture& p)
{
    send('I', index, p.w, p.h, 0, p.argb.data(), p.argb.size() * 4);
}

void ProbeReport::pictures_refused(const std::string& error)
{
    send('R', 0, 0, 0, 0, error.data(), std::min(error.size(), kMaxText));
}

void ProbeReport::module_start()
{
    send('M', 0, 0, 0, 0, nullptr, 0);
}

void ProbeReport::music_rendered(long frames)
{
    send('m', 0, 0, 0, frames, nullptr, 0);
}

void ProbeReport::done()
{
    send('D', 0, 0, 0, 0, nullptr, 0);
}

std::string probe_scratch_parent(const char* tmpdir, const std::string& fallback)
{
    for (const std::string& dir : {std::string(tmpdir ? tmpdir : ""), fallback}) {
        struct stat st;
        if (dir.empty() || dir[0] != '/' || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        // Usable: a directory can be made and removed in it (/proc, say, refuses).
        std::string trial = dir + "/stream8-probe-XXXXXX";
        if (mkdtemp(trial.data()) && rmdir(trial.c_str()) == 0)
            return dir;
    }
    return "";
}

ProbeResult run_probe(const std::string& data_dir,
                      const std::function<void(ProbeReport&, const std::string& dir)>& body,
                      const ProbeLimits& limits)
{
    const Clock::time_point start = Clock::now();
    ProbeResult result;
    auto fail = [&](const std::string& why) {
        result.failure = why;
        result.seconds = since(start);
        return result;
    };
    std::error_code ec;
    const std::string dir = fs::absolute(data_dir, ec).string();
    if (ec)
        return fail("cannot find the data directory " + data_dir + ": " + ec.message());
    const std::string parent_dir = probe_scratch_parent(std::getenv("TMPDIR"));
    if (parent_dir.empty())
        return fail("no usable directory for the start-up probe (TMPDIR, /tmp)");
    std::string scratch = parent_dir + "/stream8-probe-XXXXXX";
    if (!mkdtemp(scratch.data()))
        return fail("cannot make the start-up probe's directory in " + parent_dir + ": " +
                    std::strerror(errno));
    int report[2] = {-1, -1}, wake[2] = {-1, -1};
    if (!high_pipe(report) || !high_pipe(wake)) {
        const int err = errno;
        for (int fd : {report[0], report[1], wake[0], wake[1]})
            if (fd >= 0)
                close(fd);
        rmdir(scratch.c_str());
        return fail(std::string("cannot make the start-up probe's pipe: ") + std::strerror(err));
    }
    fcntl(wake[1], F_SETFL, O_NONBLOCK);

    EndingSignals signals(wake[1]);
    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        close(wake[0]);
        close(wake[1]);
        run_child(parent, report[1], scratch, limits, body, dir);
    }
    const int fork_errno = errno;
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        close(wake[0]);
        close(wake[1]);
        rmdir(scratch.c_str());
        return fail(std::string("cannot start the start-up probe: ") + std::strerror(fork_errno));
    }

    // Reads the child's messages until it closes the pipe, each item and the whole under its limit.
    Watcher watch(data_dir, dir, limits, result);
    bool killed = false;
    for (;;) {
        const double item_left = watch.item_limit() - watch.item_seconds();
        const double total_left = limits.total_seconds - since(start);
        if (total_left <= 0) {
            watch.over_time();
            killed = true;
            break;
        }
        if (item_left <= 0) {
            watch.item_failed("did not finish within " + seconds_text(watch.item_limit()));
            killed = true;
            break;
        }
        pollfd p[2] = {{report[0], POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int wait_ms = static_cast<int>(std::min(item_left, total_left) * 1000) + 1;
        const int ready = poll(p, 2, wait_ms);
        if (ending_signal)
            break;
        if (ready <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        if (!watch.read_from(report[0])) {
            killed = watch.malformed();
            break;
        }
    }
    if (killed || ending_signal)
        kill(pid, SIGKILL);
    close(report[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    close(wake[0]);
    close(wake[1]);
    fs::remove_all(scratch, ec);  // the child removes it at once; not if it never got that far
    if (ending_signal) {
        // Ended from outside: as the signal would have ended the process without the probe.
        const int sig = ending_signal;
        signal(sig, SIG_DFL);
        raise(sig);
    }

    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!killed && !(clean && watch.done()))
        watch.item_failed(how_it_failed(status));
    // A module the player failed on leaves the show silent, but only with every picture there.
    if (result.failure.empty() && !watch.complete())
        result.failure = "the start-up probe ended without every picture";
    if (!result.failure.empty())
        result.module_fault.clear();  // the show does not start: nothing plays the module
    result.seconds = since(start);
    return result;
}

ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits& limits)
{
    return run_probe(data_dir, probe_body, limits);
}
