// The sandbox on Windows: the child is this program started again, under a job object.
//
// A function cannot cross into another process. run_sandboxed starts this very program with its
// own command line and STREAM8_SANDBOX naming the call (calls are counted in each process) and the
// handles the child inherits; the child runs main as the parent did up to that call, runs the body
// there, and ends at once (TerminateProcess of itself: no atexit handler, no library clean-up).
// The child gets:
// - the write end of the report pipe, and a block of shared memory that carries the input the
//   parent holds (byte for byte, whatever the files hold by now) and the child's counters;
// - the null device as its standard input, output and error: nothing it prints reaches anyone;
// - no error dialog of any kind: a fault ends it at once with the exception code as its status;
// - as its working directory (from the call on; before it, the parent's, so that main finds what
//   the parent found), a fresh empty directory in the temporary directory, which the parent
//   removes after the child has ended. POSIX removes the directory as soon as the child stands in
//   it, so no file can be made there; Windows cannot remove a directory in use, so a file made
//   there is possible and goes with the directory;
// - no limit on writing files: Windows has no limit on a file's growth like RLIMIT_FSIZE, and the
//   verdict WroteFile never comes from here.
//
// The limits: a job object with KILL_ON_JOB_CLOSE (the child ends with the parent, however the
// parent ends: Ctrl-C, a closed window, a crash), ACTIVE_PROCESS 1 (no process of its own),
// PROCESS_MEMORY and PROCESS_TIME, the child created suspended, put in the job, then resumed;
// the job's messages (through an I/O completion port) say which limit it met. Wine (8.0) keeps
// those limits but enforces only KILL_ON_JOB_CLOSE, and its counters of another process
// (GetProcessTimes, GetProcessMemoryInfo, VirtualQueryEx) stand still. So a thread in the child
// measures its own CPU time and committed memory into the shared block, and the parent's watcher
// ends a child past a limit itself and names the verdict; a process the child starts is ended
// with it (the job's NEW_PROCESS message names it). On Windows the job enforces as well, and
// what the job refuses (an allocation, a process) ends the child with the same verdict.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <new>
#include <string>

#include "sandbox/sandbox.h"

namespace fs = std::filesystem;

namespace {

const wchar_t kChildVariable[] = L"STREAM8_SANDBOX";
const wchar_t kScratchVariable[] = L"STREAM8_SANDBOX_DIR";

// How long the child's own start (this program's start-up up to the call) may go without a sign
// of life before it counts as stalled, when stall_seconds is shorter.
constexpr double kStartSeconds = 60;
// How often the child's thread measures it, and the parent's watcher looks, in milliseconds.
constexpr DWORD kMeasureMs = 10;
// CPU time the body must add to count as a sign of life: more than the wobble of a clock tick
// between the process's and the measuring thread's counters.
constexpr int64_t kLifeSignUs = 30000;

// The shared block: the parent writes the limits and the input, the child its counters (in
// microseconds and bytes). Lock-free atomics of 8 bytes are address-free, so both sides can use
// them through their own mapping.
struct Shared {
    std::atomic<int64_t> started;         // 1 once the child runs the body
    std::atomic<int64_t> cpu_us;          // the body's CPU time
    std::atomic<int64_t> step_limit_us;   // the step's limit (cpu_budget), within the whole
    std::atomic<int64_t> peak_committed;  // the most memory the child had committed
    uint64_t input_size;                  // then the input's bytes
};
static_assert(std::atomic<int64_t>::is_always_lock_free,
              "the shared block needs lock-free atomics");

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double filetime_seconds(const FILETIME& f)
{
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
}

double process_cpu()
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    return filetime_seconds(kernel) + filetime_seconds(user);
}

double thread_cpu()
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user))
        return 0;
    return filetime_seconds(kernel) + filetime_seconds(user);
}

// The private memory this process has committed, from its own map (what the job's memory limit
// counts; Wine's process counters do not move).
int64_t committed_bytes()
{
    int64_t sum = 0;
    MEMORY_BASIC_INFORMATION m;
    const char* at = nullptr;
    while (VirtualQuery(at, &m, sizeof m) == sizeof m) {
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE)
            sum += static_cast<int64_t>(m.RegionSize);
        const char* next = static_cast<const char*>(m.BaseAddress) + m.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return sum;
}

// The whole child's CPU limit in whole seconds, as on POSIX.
double whole_cpu(const SandboxLimits& limits)
{
    return std::max(1.0, std::ceil(limits.cpu_seconds));
}

std::string error_text(DWORD error = GetLastError())
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "error " + std::to_string(error) : s;
}

// --- The child ---

LONG WINAPI end_on_exception(EXCEPTION_POINTERS* e)
{
    // No dialog, no debugger, no library clean-up in a broken heap: the exception code is the
    // status the parent reads.
    TerminateProcess(GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// abort() ends the child as today's C runtimes end a program on Windows (a fast fail), not with
// the status 3 of the old one: a crash, as SIGABRT is on POSIX.
constexpr DWORD kAbortStatus = 0xC0000409;
void end_on_abort(int)
{
    TerminateProcess(GetCurrentProcess(), kAbortStatus);
}

// The child's handlers: no dialog, no debugger, from its start on.
void set_child_handlers()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_on_exception);
    _set_error_mode(_OUT_TO_STDERR);  // the C runtime's messages: no message box
    std::signal(SIGABRT, end_on_abort);
}

// Set before main runs.
const bool g_is_child = [] {
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0)
        return false;
    set_child_handlers();
    return true;
}();

int g_calls = 0;  // run_sandboxed's calls in this process

[[noreturn]] void end_child(UINT status)
{
    TerminateProcess(GetCurrentProcess(), status);
    ExitProcess(status);  // not reached
}

class JobChild : public SandboxChild {
public:
    JobChild(HANDLE report, Shared* shared, double whole)
        : report_(report), shared_(shared), whole_(whole)
    {
        const char* bytes = reinterpret_cast<const char*>(shared + 1);
        input_.assign(bytes, bytes + shared->input_size);
        base_ = process_cpu();
    }
    void send(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
            if (!WriteFile(report_, p, chunk, &n, nullptr) || n == 0)
                end_child(4);  // the parent has gone
            p += n;
            size -= n;
        }
    }
    void cpu_budget(double seconds) override
    {
        const double limit = std::min(whole_, cpu_seconds() + seconds);
        shared_->step_limit_us = static_cast<int64_t>(limit * 1e6);
    }
    double cpu_seconds() const override
    {
        // The body's: without this program's start-up and the measuring thread.
        return std::max(0.0, process_cpu() - base_ - measurer_cpu_.load() / 1e6);
    }
    const std::string& input() const override { return input_; }

    // The measuring thread's work: the counters into the shared block.
    void measure()
    {
        shared_->cpu_us = static_cast<int64_t>(cpu_seconds() * 1e6);
        const int64_t committed = committed_bytes();
        if (committed > shared_->peak_committed)
            shared_->peak_committed = committed;
    }
    static DWORD WINAPI measuring(void* self)
    {
        JobChild& child = *static_cast<JobChild*>(self);
        for (;;) {
            child.measurer_cpu_ = static_cast<int64_t>(thread_cpu() * 1e6);
            child.measure();
            Sleep(kMeasureMs);
        }
    }

private:
    HANDLE report_;
    Shared* shared_;
    double whole_;
    double base_ = 0;
    std::atomic<int64_t> measurer_cpu_{0};
    std::string input_;
};

[[noreturn]] void run_child(const std::function<void(SandboxChild&)>& body,
                            const SandboxLimits& limits, unsigned long long report,
                            unsigned long long section)
{
    set_child_handlers();  // again: a library may have set its own
    auto* shared = static_cast<Shared*>(
        MapViewOfFile(reinterpret_cast<HANDLE>(section), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    static wchar_t scratch[32768];
    const DWORD n = GetEnvironmentVariableW(kScratchVariable, scratch, 32768);
    if (!shared || n == 0 || n >= 32768 || !SetCurrentDirectoryW(scratch))
        end_child(3);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    SetEnvironmentVariableW(kScratchVariable, nullptr);
    JobChild child(reinterpret_cast<HANDLE>(report), shared, whole_cpu(limits));
    if (!CreateThread(nullptr, 64 << 10, JobChild::measuring, &child, 0, nullptr))
        end_child(3);
    shared->started = 1;
    body(child);
    child.measure();  // the last counters, for a limit passed just before the end
    end_child(0);
}

// --- The parent ---

// A handle of this process, closed when it goes.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    void reset(HANDLE h = nullptr)
    {
        if (h_)
            CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    HANDLE get() const { return h_; }
    HANDLE* put()
    {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_ = nullptr;
};

std::string exception_name(DWORD code)
{
    switch (code) {
    case 0xC0000005:
        return "access violation";
    case 0xC0000006:
        return "in-page error";
    case 0xC000001D:
        return "illegal instruction";
    case 0xC0000025:
        return "noncontinuable exception";
    case 0xC000008C:
        return "array bounds exceeded";
    case 0xC000008E:
        return "floating-point division by zero";
    case 0xC0000094:
        return "integer division by zero";
    case 0xC0000095:
        return "integer overflow";
    case 0xC0000096:
        return "privileged instruction";
    case 0xC00000FD:
        return "stack overflow";
    case 0xC0000374:
        return "heap corruption";
    case 0xC0000409:
        return "abort or stack buffer overrun";
    case 0x80000003:
        return "breakpoint";
    default:
        return "exception";
    }
}

// How the child ended, from its exit code: an exception code is a crash; anything else is the
// status it gave (a process ended from outside with TerminateProcess looks the same).
void classify(DWORD status, SandboxResult& r)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(status));
    r.code = static_cast<int>(status);
    if (status == 0xC000013A) {
        r.end = SandboxEnd::Killed;
        r.how = "was ended by Ctrl-C (" + std::string(hex) + ")";
    } else if (status >= 0xC0000000u || status == 0x80000003u) {
        r.end = SandboxEnd::Crashed;
        r.how = "crashed on it (" + exception_name(status) + ", " + hex + ")";
    } else {
        r.end = SandboxEnd::Exited;
        r.how = "ended the process (status " + std::to_string(status) + ")";
    }
}

std::string verdict_text(SandboxEnd end, const SandboxLimits& limits)
{
    switch (end) {
    case SandboxEnd::OutOfCpu:
        return "ran out of CPU time";
    case SandboxEnd::OutOfMemory:
        return "went past its memory limit (" + std::to_string(limits.memory_bytes >> 20) + " MB)";
    case SandboxEnd::StartedProcess:
        return "tried to start a process";
    case SandboxEnd::Unreadable:
        return "sent a report that cannot be read";
    default:
        return "stopped: it used no CPU time and said nothing for " +
               seconds_text(limits.stall_seconds);
    }
}

}  // namespace

bool in_sandbox_child()
{
    return g_is_child;
}

namespace {

// In a child started for one call: that call runs its body here and ends the process; any other
// returns.
void run_if_this_childs_call(int call, const std::function<void(SandboxChild&)>& body,
                             const SandboxLimits& limits)
{
    wchar_t text[80] = L"";
    if (GetEnvironmentVariableW(kChildVariable, text, 80) > 0) {
        wchar_t* at = text;
        const unsigned long long its_call = std::wcstoull(at, &at, 10);
        const unsigned long long report = std::wcstoull(at, &at, 10);
        const unsigned long long section = std::wcstoull(at, &at, 10);
        if (its_call == static_cast<unsigned long long>(call) && report && section)
            run_child(body, limits, report, section);
    }
}

// What one run holds while its child lives: the scratch directory, the report pipe, the block
// shared with the child, the null device, the job with its message port, and the child. Ends the
// child's job, unmaps the block and removes the directory when it goes.
struct Run {
    fs::path scratch;
    Handle read_end, write_end, nul, section;
    void* view = nullptr;
    Shared* shared = nullptr;
    double whole = 0;          // the child's CPU seconds in all
    int64_t memory_limit = 0;  // committed bytes of the machine the child may take it to
    Handle job, port, process, thread;
    DWORD pid = 0;

    Run() = default;
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run()
    {
        thread.reset();
        process.reset();
        port.reset();
        job.reset();
        if (view)
            UnmapViewOfFile(view);
        std::error_code ec;
        if (!scratch.empty())
            fs::remove_all(scratch, ec);
    }
};

// The scratch directory, the pipe, the shared block with `input` in it and the null device: ""
// when they are there, else why not (to follow "the child").
std::string set_up(Run& r, int call, const SandboxLimits& limits, const std::string& input)
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec)
        return "has no usable directory (" + ec.message() + ")";
    for (int i = 0; i < 100 && r.scratch.empty(); i++) {
        const fs::path trial = temp / ("stream8-probe-" + std::to_string(GetCurrentProcessId()) +
                                       "-" + std::to_string(call) + "-" + std::to_string(i));
        if (fs::create_directory(trial, ec))
            r.scratch = trial;
    }
    if (r.scratch.empty())
        return "cannot make its directory in " + temp.string() + ": " + ec.message();

    // The handles the child inherits.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(r.read_end.put(), r.write_end.put(), &inherit, 1 << 20))
        return "cannot make its pipe: " + error_text();
    SetHandleInformation(r.read_end.get(), HANDLE_FLAG_INHERIT, 0);
    const uint64_t block = sizeof(Shared) + input.size();
    r.section.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE,
                                       static_cast<DWORD>(block >> 32), static_cast<DWORD>(block),
                                       nullptr));
    r.view = r.section ? MapViewOfFile(r.section.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    if (!r.view)
        return "cannot share its input: " + error_text();
    r.shared = new (r.view) Shared;
    r.whole = whole_cpu(limits);
    r.shared->step_limit_us = static_cast<int64_t>(r.whole * 1e6);
    r.shared->input_size = input.size();
    std::memcpy(static_cast<void*>(r.shared + 1), input.data(), input.size());
    r.nul.reset(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                            nullptr));
    return "";
}

// The job the child runs in, its limits and its message port: "" or why not.
std::string make_job(Run& r, const SandboxLimits& limits)
{
    r.job.reset(CreateJobObjectW(nullptr, nullptr));
    r.port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    r.memory_limit = committed_bytes() + limits.memory_bytes;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job_limits{};
    job_limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
        JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME |
        JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    job_limits.BasicLimitInformation.ActiveProcessLimit = 1;
    // The job's time counts user time from the process's start: the watcher's limit comes
    // first; this one stands behind it.
    job_limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
        static_cast<LONGLONG>((r.whole + 2) * 1e7);
    job_limits.ProcessMemoryLimit = static_cast<SIZE_T>(r.memory_limit);
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT job_port{r.job.get(), r.port.get()};
    if (!r.job || !r.port ||
        !SetInformationJobObject(r.job.get(), JobObjectExtendedLimitInformation, &job_limits,
                                 sizeof job_limits) ||
        !SetInformationJobObject(r.job.get(), JobObjectAssociateCompletionPortInformation,
                                 &job_port, sizeof job_port))
        return "cannot be given its limits: " + error_text();
    return "";
}

// The child: this program again, told which call it is for, suspended until it is in the job;
// "" or why not.
std::string start_child(Run& r, int call)
{
    wchar_t program[32768];
    const DWORD length = GetModuleFileNameW(nullptr, program, 32768);
    if (length == 0 || length >= 32768)
        return "cannot be started: this program cannot be found: " + error_text();
    std::wstring command = GetCommandLineW();
    wchar_t variable[80];
    std::swprintf(variable, 80, L"%d %llu %llu", call,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(r.write_end.get())),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(r.section.get())));
    SetEnvironmentVariableW(kChildVariable, variable);
    SetEnvironmentVariableW(kScratchVariable, r.scratch.wstring().c_str());
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = si.StartupInfo.hStdOutput = si.StartupInfo.hStdError = r.nul.get();
    // It inherits these three and no other handle this process may have made inheritable.
    HANDLE inherited[] = {r.write_end.get(), r.section.get(), r.nul.get()};
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::string list(list_size, '\0');
    si.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    if (!InitializeProcThreadAttributeList(si.lpAttributeList, 1, 0, &list_size) ||
        !UpdateProcThreadAttribute(si.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                   inherited, sizeof inherited, nullptr, nullptr))
        return "cannot be started: " + error_text();
    PROCESS_INFORMATION pi{};
    const BOOL created =
        CreateProcessW(program, command.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                       nullptr, &si.StartupInfo, &pi);
    const DWORD create_error = GetLastError();
    DeleteProcThreadAttributeList(si.lpAttributeList);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    SetEnvironmentVariableW(kScratchVariable, nullptr);
    if (!created)
        return "cannot be started: " + error_text(create_error);
    r.process.reset(pi.hProcess);
    r.thread.reset(pi.hThread);
    r.pid = pi.dwProcessId;
    if (!AssignProcessToJobObject(r.job.get(), r.process.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(r.process.get(), 1);
        WaitForSingleObject(r.process.get(), INFINITE);
        return "cannot be put under its limits: " + error_text(error);
    }
    ResumeThread(r.thread.get());
    r.write_end.reset();  // the child's end only: the pipe breaks when the child has gone
    return "";
}

// Reads the child's report, follows the job's messages and the child's counters, and stops the
// child at the first limit it passes.
class Watcher {
public:
    Watcher(Run& r, const SandboxLimits& limits, SandboxListener& listener)
        : r_(r), limits_(limits), listener_(listener)
    {}

    // Until the child has gone and its pipe is closed, or it was stopped.
    void watch()
    {
        Clock::time_point last_sign = Clock::now();
        int64_t sign_cpu = 0;
        while (!killed_) {
            bool got = false;
            if (!read_report(got))
                break;
            job_messages(got ? 0 : kMeasureMs);
            const SandboxEnd over = met_ != SandboxEnd::Exited ? met_ : over_limit();
            if (over != SandboxEnd::Exited) {
                kill(over);
                break;
            }
            // The only wall-clock limit: a child that neither uses CPU nor says anything.
            const int64_t cpu = r_.shared->cpu_us;
            if (cpu >= sign_cpu + kLifeSignUs || got) {
                sign_cpu = cpu;
                last_sign = Clock::now();
            }
            const double allowed = r_.shared->started
                                       ? limits_.stall_seconds
                                       : std::max(limits_.stall_seconds, kStartSeconds);
            if (since(last_sign) > allowed) {
                kill(SandboxEnd::Stalled);
                break;
            }
            if (!exited_)
                exited_ = WaitForSingleObject(r_.process.get(), 0) == WAIT_OBJECT_0;
            if (exited_ && !pipe_open_)
                break;
        }
    }

    // After the child's end: how it ended, in `result`.
    void verdict(SandboxResult& result)
    {
        WaitForSingleObject(r_.process.get(), INFINITE);
        r_.read_end.reset();
        DWORD status = 1;
        GetExitCodeProcess(r_.process.get(), &status);
        if (!killed_)
            job_messages(0);  // a limit the job met just before the end
        result.cpu_seconds = r_.shared->cpu_us / 1e6;
        if (!killed_ && met_ == SandboxEnd::Exited)
            met_ = over_limit();
        if (killed_ || met_ != SandboxEnd::Exited) {
            result.end = killed_ ? killed_as_ : met_;
            result.how = verdict_text(result.end, limits_);
        } else {
            classify(status, result);
        }
    }

private:
    // Hands what the pipe holds to the listener (`got` when there was some); false when the
    // listener refused it and the child was stopped.
    bool read_report(bool& got)
    {
        static char buffer[1 << 16];
        if (!pipe_open_)
            return true;
        DWORD available = 0, n = 0;
        if (!PeekNamedPipe(r_.read_end.get(), nullptr, 0, nullptr, &available, nullptr)) {
            pipe_open_ = false;
        } else if (available > 0) {
            if (!ReadFile(r_.read_end.get(), buffer, std::min<DWORD>(available, sizeof buffer), &n,
                          nullptr)) {
                pipe_open_ = false;
            } else if (n > 0) {
                got = true;
                if (!listener_.received(buffer, n)) {
                    kill(SandboxEnd::Unreadable);
                    return false;
                }
            }
        }
        return true;
    }
    void kill(SandboxEnd as)
    {
        killed_ = true;
        killed_as_ = as;
        TerminateJobObject(r_.job.get(), 1);
        TerminateProcess(r_.process.get(), 1);
    }
    // The job's messages, waiting up to `wait_ms` for the first: a limit met, the child's exit.
    void job_messages(DWORD wait_ms)
    {
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* detail = nullptr;
        for (; GetQueuedCompletionStatus(r_.port.get(), &message, &key, &detail, wait_ms);
             wait_ms = 0) {
            const DWORD pid = static_cast<DWORD>(reinterpret_cast<uintptr_t>(detail));
            if (message == JOB_OBJECT_MSG_NEW_PROCESS && pid != r_.pid)
                met_ = SandboxEnd::StartedProcess;  // Wine lets it start
            else if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_LIMIT)
                met_ = SandboxEnd::StartedProcess;
            else if (message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT)
                met_ = SandboxEnd::OutOfMemory;
            else if (message == JOB_OBJECT_MSG_END_OF_PROCESS_TIME)
                met_ = SandboxEnd::OutOfCpu;
            else if ((message == JOB_OBJECT_MSG_EXIT_PROCESS ||
                      message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) &&
                     pid == r_.pid)
                exited_ = true;
        }
    }
    // A limit the child's counters show it passed.
    SandboxEnd over_limit() const
    {
        const int64_t cpu = r_.shared->cpu_us, step = r_.shared->step_limit_us;
        const int64_t limit =
            std::min(step > 0 ? step : INT64_MAX, static_cast<int64_t>(r_.whole * 1e6));
        if (r_.shared->peak_committed > r_.memory_limit)
            return SandboxEnd::OutOfMemory;
        if (cpu >= limit)
            return SandboxEnd::OutOfCpu;
        return SandboxEnd::Exited;
    }

    Run& r_;
    const SandboxLimits& limits_;
    SandboxListener& listener_;
    bool pipe_open_ = true, exited_ = false, killed_ = false;
    SandboxEnd killed_as_ = SandboxEnd::Stalled;
    SandboxEnd met_ = SandboxEnd::Exited;  // a job limit the job reported
};

}  // namespace

SandboxResult run_sandboxed(const std::function<void(SandboxChild&)>& body,
                            const SandboxLimits& limits, SandboxListener& listener,
                            const std::string& input)
{
    const Clock::time_point start = Clock::now();
    const int call = ++g_calls;
    auto fail = [&](const std::string& why) { return sandbox_not_started(why, since(start)); };
    if (g_is_child) {
        run_if_this_childs_call(call, body, limits);
        return fail("was not run in the sandbox's child (call " + std::to_string(call) + ")");
    }
    Run r;
    std::string why = set_up(r, call, limits, input);
    if (why.empty())
        why = make_job(r, limits);
    if (why.empty())
        why = start_child(r, call);
    if (!why.empty())
        return fail(why);
    Watcher watcher(r, limits, listener);
    watcher.watch();
    SandboxResult result;
    watcher.verdict(result);
    result.wall_seconds = since(start);
    return result;
}
