// The sandbox on Windows, run under Wine by `./demo test-windows`: each way a child can end, with
// the verdict it must get. One line per case; the status is the number of cases that failed.
// Every case is a call of run_sandboxed in this one process, so the child of each call runs this
// program again up to that call (the earlier calls return at once there).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "sandbox/sandbox.h"

namespace {

class Collect : public SandboxListener {
public:
    bool received(const char* data, size_t size) override
    {
        text.append(data, size);
        return !refuse;
    }
    std::string text;
    bool refuse = false;
};

void spin(double seconds, SandboxChild& child)
{
    const double until = child.cpu_seconds() + seconds;
    for (volatile unsigned x = 0; child.cpu_seconds() < until; x = x + 1) {
    }
}

const char* end_name(SandboxEnd end)
{
    static const char* const names[] = {"Exited",      "Crashed",        "OutOfCpu", "WroteFile",
                                        "OutOfMemory", "StartedProcess", "Stalled",  "Unreadable",
                                        "Killed",      "NotStarted"};
    return names[static_cast<int>(end)];
}

int failures = 0;

// Runs `body` and checks its end, a part of its `how`, and what else `extra` checks.
void check(const char* what, const std::function<void(SandboxChild&)>& body,
           const SandboxLimits& limits, SandboxEnd end, const char* how,
           const std::function<std::string(const SandboxResult&, const std::string&)>& extra = {},
           const std::string& input = {}, bool refuse = false)
{
    Collect got;
    got.refuse = refuse;
    const SandboxResult r = run_sandboxed(body, limits, got, input);
    std::string fault;
    if (r.end != end)
        fault = std::string("ended as ") + end_name(r.end) + ", expected " + end_name(end);
    else if (r.how.find(how) == std::string::npos)
        fault = "\"" + r.how + "\" lacks \"" + how + "\"";
    else if (extra)
        fault = extra(r, got.text);
    if (!fault.empty())
        failures++;
    std::printf("%s %s: %s (%s, %.2f s CPU, %.2f s)%s%s\n", fault.empty() ? "ok  " : "FAIL", what,
                end_name(r.end), r.how.c_str(), r.cpu_seconds, r.wall_seconds,
                fault.empty() ? "" : ": ", fault.c_str());
    std::fflush(stdout);
}

}  // namespace

int main()
{
    SandboxLimits quick;
    quick.cpu_seconds = 3;
    quick.memory_bytes = 64 << 20;
    // Long enough that a working child is never taken for a stalled one on a loaded machine.
    quick.stall_seconds = 3;

    // The input arrives whole (bigger than a pipe holds); the child works in a fresh empty
    // directory that is gone once it has ended.
    std::string input(3 << 20, '\0');
    for (size_t i = 0; i < input.size(); i++)
        input[i] = static_cast<char>(i * 7 + (i >> 12));
    check(
        "reports and ends with status 0",
        [](SandboxChild& c) {
            const std::string here = std::filesystem::current_path().string();
            const bool empty = std::filesystem::is_empty(here);
            const std::string head = here + (empty ? "|empty|" : "|not empty|");
            c.send(head.data(), head.size());
            c.send(c.input().data(), c.input().size());
        },
        quick, SandboxEnd::Exited, "status 0",
        [&input](const SandboxResult&, const std::string& text) -> std::string {
            const size_t bar = text.find("|empty|");
            if (bar == std::string::npos)
                return "the working directory is not an empty one: " + text.substr(0, 200);
            if (text.substr(bar + 7) != input)
                return "the input came back different";
            if (std::filesystem::exists(text.substr(0, bar)))
                return "the working directory is still there";
            return "";
        },
        input);
    check(
        "ends with status 3", [](SandboxChild&) { std::_Exit(3); }, quick, SandboxEnd::Exited,
        "ended the process (status 3)");
    check(
        "writes through a null pointer",
        [](SandboxChild&) { *static_cast<volatile int*>(nullptr) = 1; }, quick, SandboxEnd::Crashed,
        "crashed on it (access violation, 0xC0000005)");
    check(
        "aborts", [](SandboxChild&) { std::abort(); }, quick, SandboxEnd::Crashed,
        "crashed on it (abort or stack buffer overrun, 0xC0000409)");
    check(
        "spins past its step's CPU budget",
        [](SandboxChild& c) {
            c.cpu_budget(0.3);
            spin(10, c);
        },
        quick, SandboxEnd::OutOfCpu, "ran out of CPU time",
        [](const SandboxResult& r, const std::string&) -> std::string {
            return r.cpu_seconds >= 0.3 && r.cpu_seconds < 1.5 ? "" : "not ended at its budget";
        });
    SandboxLimits one_second = quick;
    one_second.cpu_seconds = 1;
    check(
        "spins past the whole CPU limit", [](SandboxChild& c) { spin(10, c); }, one_second,
        SandboxEnd::OutOfCpu, "ran out of CPU time",
        [](const SandboxResult& r, const std::string&) -> std::string {
            return r.cpu_seconds >= 1 && r.cpu_seconds < 2 ? "" : "not ended at its limit";
        });
    check(
        "takes more memory than it may",
        [](SandboxChild& c) {
            const size_t size = 256 << 20;
            if (char* p = static_cast<char*>(std::malloc(size))) {
                std::memset(p, 1, size);
                c.send("allocated", 9);
            }
            spin(2, c);  // the verdict comes while it lives on
        },
        quick, SandboxEnd::OutOfMemory, "went past its memory limit (64 MB)");
    SandboxLimits short_stall = quick;
    short_stall.stall_seconds = 0.5;
    check(
        "blocks without using CPU", [](SandboxChild&) { Sleep(INFINITE); }, short_stall,
        SandboxEnd::Stalled, "used no CPU time and said nothing for 0.5 s");
    check(
        "starts a process",
        [](SandboxChild& c) {
            STARTUPINFOW si{};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi{};
            wchar_t command[] = L"cmd.exe /c exit 0";
            if (CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &si, &pi))
                WaitForSingleObject(pi.hProcess, INFINITE);
            spin(2, c);
        },
        quick, SandboxEnd::StartedProcess, "tried to start a process");
    check(
        "sends what its listener refuses",
        [](SandboxChild& c) {
            c.send("?", 1);
            Sleep(INFINITE);
        },
        quick, SandboxEnd::Unreadable, "cannot be read", {}, {}, true);
    std::printf("%s: %d of 10 cases failed\n", failures ? "FAIL" : "ok  ", failures);
    return failures;
}
