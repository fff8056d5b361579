// The sandbox on POSIX: fork, rlimits, a report pipe above the standard descriptors, a watcher.
#include "sandbox/sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "sandbox/descriptors.h"

namespace fs = std::filesystem;

bool high_pipe(int fds[2])
{
    int raw[2];
    if (pipe(raw) != 0)
        return false;
    bool ok = true;
    for (int i = 0; i < 2; i++) {
        fds[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 3);
        ok = ok && fds[i] >= 0;
    }
    const int err = errno;
    close(raw[0]);
    close(raw[1]);
    if (!ok) {
        for (int i = 0; i < 2; i++)
            if (fds[i] >= 0)
                close(fds[i]);
        errno = err;
    }
    return ok;
}

void null_standard_fds(bool all)
{
    for (int fd = 0; fd <= 2; fd++) {
        if (!all && fcntl(fd, F_GETFD) >= 0)
            continue;
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double rusage_cpu(const rusage& u)
{
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

// The whole child's CPU limit in whole seconds (what RLIMIT_CPU counts), and its hard limit a
// second later (SIGKILL).
rlim_t whole_cpu(const SandboxLimits& limits)
{
    return static_cast<rlim_t>(std::max(1.0, std::ceil(limits.cpu_seconds)));
}

class PipeChild : public SandboxChild {
public:
    PipeChild(int fd, rlim_t whole, const std::string& input)
        : fd_(fd), whole_(whole), input_(input)
    {}
    void send(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(fd_, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                _exit(4);  // the parent has gone
            p += n;
            size -= static_cast<size_t>(n);
        }
    }
    void cpu_budget(double seconds) override
    {
        const rlim_t soft =
            std::min(whole_, static_cast<rlim_t>(std::ceil(cpu_seconds() + seconds)));
        const rlimit cpu{std::max<rlim_t>(soft, 1), whole_ + 1};
        setrlimit(RLIMIT_CPU, &cpu);
    }
    double cpu_seconds() const override
    {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return rusage_cpu(u);
    }
    const std::string& input() const override { return input_; }

private:
    int fd_;
    rlim_t whole_;
    const std::string& input_;  // the parent's, as the fork copied it
};

[[noreturn]] void run_child(pid_t parent, int report_fd, const std::string& scratch,
                            const SandboxLimits& limits,
                            const std::function<void(SandboxChild&)>& body,
                            const std::string& input)
{
#if defined(__linux__)
    // The child never outlives its parent, even one killed while it waits.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != parent)
        _exit(5);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(sig, SIG_DFL);
    // A crash must end the child, not run a library's own clean-up inside a broken heap.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXFSZ, SIGXCPU})
        std::signal(sig, SIG_DFL);
    null_standard_fds(true);  // the report pipe is above 2: this cannot touch it
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
    const rlim_t whole = whole_cpu(limits);
    const rlimit cpu{whole, whole + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    // No file can grow, and the working directory is removed once the child stands in it: a file
    // made there fails, one written anywhere ends the child with SIGXFSZ.
    const rlimit no_file_writes{0, 0};
    if (setrlimit(RLIMIT_FSIZE, &no_file_writes) != 0 || chdir(scratch.c_str()) != 0 ||
        rmdir(scratch.c_str()) != 0)
        _exit(3);
    PipeChild child(report_fd, whole, input);
    body(child);
    _exit(0);
}

// The signals that end a run: their handler wakes the watcher through a pipe.
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

// The CPU time a running child has used, in clock ticks (-1 where /proc cannot tell), and
// whether it is runnable (`R`: running, or waiting only for a CPU on a loaded machine).
long long child_cpu_ticks(pid_t pid, bool* runnable = nullptr)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos)
        return -1;
    // After the command name: the state is field 3, utime and stime fields 14 and 15.
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    long long utime = -1, stime = -1;
    for (int i = 3; i <= 15 && fields >> field; i++) {
        if (i == 3 && runnable)
            *runnable = field == "R";
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

bool fault_signal(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGABRT ||
           sig == SIGTRAP || sig == SIGSYS;
}

std::string signal_text(int sig)
{
    return "signal " + std::to_string(sig) + ", " + strsignal(sig);
}

// How the child ended, from its status and CPU time. Only a fault signal is a crash; SIGKILL is
// the kernel's answer to the hard CPU limit, or comes from outside.
void classify(int status, double cpu, const SandboxLimits& limits, SandboxResult& r)
{
    if (WIFEXITED(status)) {
        r.end = SandboxEnd::Exited;
        r.code = WEXITSTATUS(status);
        r.how = "ended the process (status " + std::to_string(r.code) + ")";
        return;
    }
    if (!WIFSIGNALED(status)) {
        r.end = SandboxEnd::Killed;
        r.how = "failed";
        return;
    }
    const int sig = WTERMSIG(status);
    r.code = sig;
    if (sig == SIGXFSZ) {
        r.end = SandboxEnd::WroteFile;
        r.how = "tried to write a file";
    } else if (sig == SIGXCPU ||
               (sig == SIGKILL && cpu >= static_cast<double>(whole_cpu(limits)))) {
        r.end = SandboxEnd::OutOfCpu;
        r.how = "ran out of CPU time";
    } else if (fault_signal(sig)) {
        r.end = SandboxEnd::Crashed;
        r.how = "crashed on it with " + signal_text(sig);
    } else {
        r.end = SandboxEnd::Killed;
        r.how = "was killed from outside (" + signal_text(sig) + ")";
    }
}

}  // namespace

bool in_sandbox_child()
{
    return false;  // the forked child never returns to the caller's code
}

namespace {

// What a run sets up before its child starts: the child's directory, the report pipe and the
// pipe that wakes the watcher when an ending signal arrives. Closes what it holds when it goes.
struct Launch {
    std::string scratch;
    int report[2] = {-1, -1};
    int wake[2] = {-1, -1};

    ~Launch()
    {
        for (int fd : {report[0], report[1], wake[0], wake[1]})
            if (fd >= 0)
                close(fd);
    }
    void close_end(int& fd)
    {
        close(fd);
        fd = -1;
    }
};

// The stack this process and the child run on: at least kStackFloor, raised to kStackWanted
// where the hard limit allows (a small `ulimit -s` would otherwise end the run with a
// segmentation fault). Threads made later take the same size. "", or why not (as set_up words it).
std::string ensure_stack()
{
    constexpr rlim_t kStackFloor = 1 << 20, kStackWanted = 8 << 20;
    rlimit limit;
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= kStackWanted)
        return "";
    const rlim_t wanted =
        limit.rlim_max == RLIM_INFINITY ? kStackWanted : std::min(kStackWanted, limit.rlim_max);
    if (wanted > limit.rlim_cur) {
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_STACK, &limit);
        getrlimit(RLIMIT_STACK, &limit);
    }
    if (limit.rlim_cur >= kStackFloor)
        return "";
    return "needs a larger stack: ulimit -s allows " + std::to_string(limit.rlim_cur / 1024) +
           " KB, at least " + std::to_string(kStackFloor / 1024) + " KB are needed";
}

// Makes the directory and the pipes; "" when they are there, else why not (to follow "the child").
std::string set_up(Launch& l)
{
    const std::string stack = ensure_stack();
    if (!stack.empty())
        return stack;
    const std::string parent_dir = sandbox_scratch_parent(std::getenv("TMPDIR"));
    if (parent_dir.empty())
        return "has no usable directory (TMPDIR, /tmp)";
    l.scratch = parent_dir + "/stream8-probe-XXXXXX";
    if (!mkdtemp(l.scratch.data()))
        return "cannot make its directory in " + parent_dir + ": " + std::strerror(errno);
    if (!high_pipe(l.report) || !high_pipe(l.wake)) {
        const int err = errno;
        rmdir(l.scratch.c_str());
        return std::string("cannot make its pipe: ") + std::strerror(err);
    }
    fcntl(l.wake[1], F_SETFL, O_NONBLOCK);
    return "";
}

// Why the watcher stopped the child, if it did.
struct Watched {
    bool killed = false;
    SandboxEnd as = SandboxEnd::Stalled;
};

// Reads the child until it closes the pipe. The only wall-clock limit: a child that neither uses
// CPU nor says anything for stall_seconds is stopped or blocked.
Watched watch(pid_t pid, int report, int wake, const SandboxLimits& limits,
              SandboxListener& listener)
{
    Clock::time_point last_sign = Clock::now();
    long long last_ticks = child_cpu_ticks(pid);
    std::vector<char> buffer(1 << 16);  // not on the stack: a small one must not overflow here
    for (;;) {
        const double stall_left = limits.stall_seconds - since(last_sign);
        if (stall_left <= 0) {
            bool runnable = false;
            const long long ticks = child_cpu_ticks(pid, &runnable);
            if (!runnable && (ticks < 0 || ticks == last_ticks))
                return {true, SandboxEnd::Stalled};
            last_ticks = ticks;
            last_sign = Clock::now();
            continue;
        }
        pollfd p[2] = {{report, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready = poll(p, 2, static_cast<int>(stall_left * 1000) + 1);
        if (ending_signal)
            return {};
        if (ready <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = read(report, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        last_sign = Clock::now();
        if (!listener.received(buffer.data(), static_cast<size_t>(n)))
            return {true, SandboxEnd::Unreadable};
    }
}

// How the run ended, from what the watcher saw and the child's status.
void verdict(const Watched& w, int status, const SandboxLimits& limits, SandboxResult& result)
{
    if (!w.killed) {
        classify(status, result.cpu_seconds, limits, result);
        return;
    }
    result.end = w.as;
    result.how = w.as == SandboxEnd::Stalled
                     ? "stopped: it used no CPU time and said nothing for " +
                           seconds_text(limits.stall_seconds)
                     : "sent a report that cannot be read";
}

}  // namespace

SandboxResult run_sandboxed(const std::function<void(SandboxChild&)>& body,
                            const SandboxLimits& limits, SandboxListener& listener,
                            const std::string& input)
{
    const Clock::time_point start = Clock::now();
    auto fail = [&](const std::string& why) { return sandbox_not_started(why, since(start)); };
    Launch l;
    const std::string not_set_up = set_up(l);
    if (!not_set_up.empty())
        return fail(not_set_up);

    EndingSignals signals(l.wake[1]);
    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        l.close_end(l.report[0]);
        l.close_end(l.wake[0]);
        l.close_end(l.wake[1]);
        run_child(parent, l.report[1], l.scratch, limits, body, input);
    }
    const int fork_errno = errno;
    l.close_end(l.report[1]);
    if (pid < 0) {
        rmdir(l.scratch.c_str());
        return fail(std::string("could not be started: ") + std::strerror(fork_errno));
    }

    const Watched watched = watch(pid, l.report[0], l.wake[0], limits, listener);
    if (watched.killed || ending_signal)
        kill(pid, SIGKILL);
    l.close_end(l.report[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    std::error_code ec;
    fs::remove_all(l.scratch, ec);  // the child removes it at once; not if it never got that far
    if (ending_signal) {
        // Ended from outside: as the signal would have ended the process without the sandbox.
        const int sig = ending_signal;
        signal(sig, SIG_DFL);
        raise(sig);
    }
    SandboxResult result;
    result.cpu_seconds = rusage_cpu(usage);
    verdict(watched, status, limits, result);
    result.wall_seconds = since(start);
    return result;
}
