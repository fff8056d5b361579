// A sandbox for code that reads untrusted files with libraries that trust them: the body runs in a
// child process under a CPU and a memory limit, unable to grow any file, in a working directory
// that is removed as soon as it stands in it, and ended with its parent. The parent watches it and
// says in one line how it ended. Only the child can be taken down.
//
// The process code is per platform: platform/posix/sandbox.cpp forks; platform/windows/sandbox.cpp
// starts the same program again under a job object (see there for what differs);
// platform/web/sandbox.cpp, for platforms without processes (the browser), runs the body in the
// caller's process with no isolation.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

struct SandboxLimits {
    double cpu_seconds = 20;  // CPU time of the whole child
    // Address space the child may add to what it inherits (Windows: private memory it may commit
    // beyond what the parent has when it calls).
    long long memory_bytes = 512LL << 20;
    // Wall time the child may go without using CPU or saying anything: a child that is stopped or
    // blocked (on a FIFO, say). Load never makes a working child look like one (on Windows, where
    // no one can tell a thread that waits for a CPU, one that gets 30 ms of CPU time in that
    // time counts as working).
    double stall_seconds = 60;
};

// The child's side.
class SandboxChild {
public:
    virtual ~SandboxChild() = default;
    // Sends bytes to the parent's listener, in order. A parent that has gone ends the child.
    virtual void send(const void* data, size_t size) = 0;
    // The next step may use `seconds` more CPU time (never past the whole child's limit); past
    // it, the child ends as out of CPU time.
    virtual void cpu_budget(double seconds) = 0;
    // CPU time the child has used so far.
    virtual double cpu_seconds() const = 0;
    // The input the parent handed to run_sandboxed, byte for byte as the parent held it.
    virtual const std::string& input() const = 0;
};

// The parent's side: what the child sends, as it arrives.
class SandboxListener {
public:
    virtual ~SandboxListener() = default;
    // False: what the child sent cannot be read; the child is ended.
    virtual bool received(const char* data, size_t size) = 0;
};

enum class SandboxEnd {
    Exited,          // with `code` as its status
    Crashed,         // a fault signal (`code`), or on Windows an exception code
    OutOfCpu,        // its step's or its whole CPU time
    WroteFile,       // it tried to grow a file (POSIX only)
    OutOfMemory,     // Windows: it passed its memory limit (on POSIX the allocation fails instead)
    StartedProcess,  // Windows: it tried to start a process
    Stalled,         // stopped or blocked for stall_seconds
    Unreadable,      // the listener refused what it sent
    Killed,          // ended from outside by signal `code`
    NotStarted,      // `how` says why
};

struct SandboxResult {
    SandboxEnd end = SandboxEnd::NotStarted;
    int code = 0;
    // How the child ended, to follow its subject: "crashed on it with signal 11, Segmentation
    // fault", "ran out of CPU time", "was killed from outside (signal 9, Killed)", ...; for
    // NotStarted, why it did not start, alike ("could not be started: ...", "cannot make its
    // pipe: ...").
    std::string how;
    double cpu_seconds = 0;   // the child's CPU time, when it could be measured
    double wall_seconds = 0;  // from the call to the child's end
    bool clean() const { return end == SandboxEnd::Exited && code == 0; }
};

// Runs `body` in a child set up as described above and feeds what it sends to `listener` until it
// ends; the body reads `input` through SandboxChild::input(). Call it while the process has no
// threads. SIGINT, SIGTERM or SIGHUP during the run end the child at once and then the process, as
// they would have without the sandbox.
//
// On Windows the child is this program started again with the same command line: it runs main as
// the parent did up to the same call of run_sandboxed (they are counted), runs the body there and
// ends at once. So whatever a program does before it calls this must be free of effects that
// matter twice (no window, no file made, no message), and must take the same path in the child;
// in the child, calls before its own return NotStarted without running their body.
SandboxResult run_sandboxed(const std::function<void(SandboxChild&)>& body,
                            const SandboxLimits& limits, SandboxListener& listener,
                            const std::string& input = std::string());

// True in a process started only to run one sandboxed body (Windows): it must show nothing, no
// window and no message box. False everywhere else.
bool in_sandbox_child();

// Where the sandbox makes its scratch directory: `tmpdir` (TMPDIR) when it is absolute and a
// directory this user can make one in, else `fallback`; empty when neither is.
std::string sandbox_scratch_parent(const char* tmpdir, const std::string& fallback = "/tmp");

// "1.5 s", for messages.
std::string seconds_text(double s);

// A back end's result for a child that did not start: `why` ("could not be started: ..."), after
// `wall_seconds` of trying.
SandboxResult sandbox_not_started(const std::string& why, double wall_seconds);
