// The sandbox where there are no processes (the browser): the body runs in the caller's process,
// its reports go straight to the listener. Nothing is isolated; the page's own sandbox is the
// browser's.
#include "sandbox/sandbox.h"

#include <chrono>
#include <ctime>

namespace {

double process_cpu()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

class InlineChild : public SandboxChild {
public:
    InlineChild(SandboxListener& listener, const std::string& input)
        : listener_(listener), input_(input)
    {}
    void send(const void* data, size_t size) override
    {
        if (ok_)
            ok_ = listener_.received(static_cast<const char*>(data), size);
    }
    void cpu_budget(double) override {}
    double cpu_seconds() const override { return process_cpu(); }
    const std::string& input() const override { return input_; }
    bool ok() const { return ok_; }

private:
    SandboxListener& listener_;
    const std::string& input_;
    bool ok_ = true;
};

}  // namespace

bool in_sandbox_child()
{
    return false;
}

SandboxResult run_sandboxed(const std::function<void(SandboxChild&)>& body, const SandboxLimits&,
                            SandboxListener& listener, const std::string& input)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = process_cpu();
    InlineChild child(listener, input);
    body(child);
    SandboxResult r;
    r.end = child.ok() ? SandboxEnd::Exited : SandboxEnd::Unreadable;
    r.how = child.ok() ? "ended the process (status 0)" : "sent a report that cannot be read";
    r.cpu_seconds = process_cpu() - cpu;
    r.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}
