#include "show/probe.h"

#include <dumb.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "assets/picture_check.h"
#include "host/headless_allegro.h"
#include "music/module_check.h"
#include "music/module_player.h"
#include "show/show.h"

namespace fs = std::filesystem;

namespace {
//  One message of the report pipe: this head, then `length` bytes of payload ('P' and 'R' text, 'I'
// pixels, 'A' samples). 'P' picture start, 'I' picture, 'R' refusal, 'M' module start, 'A'
// the music's track, 'm' music rendered (`value` frames), 'D' done. `cpu`: the child's CPU time when it sent the message.
struct Message {
    char type;
    char pad[3];
    int32_t index, w, h;
    int64_t value;
    double cpu;
    uint64_t length;
};
constexpr size_t kMaxText = 1 << 16;

// --- The child ---

// The signals that end a faulty child (those of a limit passed where the system has them). On
// Windows the library installs no handler, and the sandbox's child keeps its own for SIGABRT.
#ifndef _WIN32
constexpr int kFaultSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGABRT, SIGBUS, SIGXFSZ, SIGXCPU};
#else
constexpr int kFaultSignals[] = {SIGSEGV, SIGFPE, SIGILL};
#endif

// The module's bytes come as the child's input: read and checked by the parent (empty when it
// has none), and the same whatever the file holds by now.
void probe_body(ProbeReport& report, const std::string& dir)
{
    start_headless_allegro(32);
    // A crash must end the child, not run the library's own clean-up inside a broken heap.
    for (int sig : kFaultSignals)
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
    const std::string& input = report.input();
    const std::vector<uint8_t> module(input.begin(), input.end());
    std::vector<int16_t> track;
    if (!module.empty() && render_module(module, kProbeMusicFrames, track))
        report.music(track);
    else
        report.music_rendered(0);
    report.done();
}

// The parent's side: reads the child's messages and keeps the CPU time of each item.
class Watcher : public SandboxListener {
public:
    Watcher(const std::string& data_dir, const std::string& dir, const ProbeLimits& limits,
            ProbeResult& result)
        : data_dir_(data_dir), dir_(dir), limits_(limits), result_(result)
    {}

    bool received(const char* data, size_t size) override
    {
        while (size > 0) {
            const bool in_head = head_got_ < sizeof head_;
            char* into = in_head ? reinterpret_cast<char*>(&head_) + head_got_ : dst_;
            const size_t n = std::min(size, in_head ? sizeof head_ - head_got_ : left_);
            std::memcpy(into, data, n);
            data += n;
            size -= n;
            if (in_head) {
                head_got_ += n;
                if (head_got_ == sizeof head_ && !start_payload())
                    return false;
            } else {
                dst_ += n;
                left_ -= n;
            }
            if (head_got_ == sizeof head_ && left_ == 0) {
                head_got_ = 0;
                if (!finish_message())
                    return false;
            }
        }
        return true;
    }

    // The verdict once the child has ended as `end` says.
    void judge(const SandboxResult& end)
    {
        if (end.end == SandboxEnd::NotStarted) {
            result_.failure = "the start-up probe " + end.how;
            return;
        }
        if (end.end == SandboxEnd::Unreadable) {
            result_.failure = "the start-up probe's report cannot be read";
            return;
        }
        if (end.end == SandboxEnd::Killed) {
            // Not a fault of the file it was reading: said as what it is.
            result_.failure = "the start-up probe " + end.how;
            if (item_ == Item::Picture || item_ == Item::Module)
                result_.failure += " while it read " + shown(path_);
            return;
        }
        if (end.clean() && done_)
            return;
        const double item_cpu = end.cpu_seconds - item_cpu_start_;
        if (end.end == SandboxEnd::OutOfCpu &&
            (end.cpu_seconds >= std::ceil(limits_.cpu_seconds) - 0.05 ||
             item_cpu < item_limit() - 0.05)) {
            note_item_cpu(end.cpu_seconds);
            result_.failure =
                "the start-up used more than " + seconds_text(limits_.cpu_seconds) + " of CPU time";
            if (!slowest_.empty())
                result_.failure += "; the slowest file, " + slowest_ + ", took " +
                                   seconds_text(slowest_seconds_) + " of it";
            return;
        }
        std::string how = end.how;
        if (end.end == SandboxEnd::OutOfCpu)
            how += " (" + seconds_text(item_limit()) + ")";
        if (item_ == Item::Picture)
            result_.failure = shown(path_) + ": the picture loader " + how;
        else if (item_ == Item::Module)
            result_.module_fault = "the player " + how;
        else
            result_.failure = std::string("the start-up probe ended before its ") +
                              (item_ == Item::Start ? "first" : "last") + " report (" + how + ")";
    }

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

    double item_limit() const
    {
        return item_ == Item::Module ? limits_.module_cpu_seconds : limits_.picture_cpu_seconds;
    }

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

    bool start_payload()
    {
        const Message& m = head_;
        left_ = m.length;
        if (m.type == 'P' || m.type == 'R') {
            if (m.length > kMaxText)
                return false;
            text_.assign(m.length, '\0');
            dst_ = text_.data();
            return true;
        }
        if (m.type == 'A') {
            if (m.length % 4 != 0 || m.length > 4ULL * kProbeMusicFrames)
                return false;
            result_.music.assign(m.length / 2, 0);
            dst_ = reinterpret_cast<char*>(result_.music.data());
            return true;
        }
        if (m.type == 'I') {
            const long long bytes = 4LL * m.w * m.h;
            if (m.index < 0 || m.index >= kPictureCount || m.w < 1 || m.h < 1 ||
                m.w > kMaxPictureSide || m.h > kMaxPictureSide ||
                m.length != static_cast<uint64_t>(bytes) ||
                pixel_bytes_ + bytes > kPicturePixelBudget)
                return false;
            pixel_bytes_ += bytes;
            DecodedPicture& p = result_.pictures.picture[m.index];
            p.w = m.w;
            p.h = m.h;
            p.argb.assign(static_cast<size_t>(m.w) * m.h, 0);
            dst_ = reinterpret_cast<char*>(p.argb.data());
            return true;
        }
        return m.length == 0;
    }

    // The item that ends at the child's CPU time `cpu`, against the slowest so far.
    void note_item_cpu(double cpu)
    {
        if (item_ != Item::Picture && item_ != Item::Module)
            return;
        const double s = cpu - item_cpu_start_;
        if (s >= slowest_seconds_) {
            slowest_seconds_ = s;
            slowest_ = shown(path_);
        }
    }

    void begin_item(Item item, const std::string& path)
    {
        note_item_cpu(head_.cpu);
        item_ = item;
        path_ = path;
        item_cpu_start_ = head_.cpu;
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
        case 'A':
            result_.music_frames = static_cast<long>(result_.music.size() / 2);
            return true;
        case 'D':
            begin_item(Item::Between, "");
            done_ = true;
            return true;
        default:
            return false;
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
    double item_cpu_start_ = 0;
    std::string slowest_;
    double slowest_seconds_ = -1;
    bool done_ = false;
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
    m.cpu = child_.cpu_seconds();
    m.length = size;
    child_.send(&m, sizeof m);
    if (size > 0)
        child_.send(data, size);
}

void ProbeReport::picture_start(int index, const std::string& path)
{
    send('P', index, 0, 0, 0, path.data(), std::min(path.size(), kMaxText));
    child_.cpu_budget(limits_.picture_cpu_seconds);
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
    child_.cpu_budget(limits_.module_cpu_seconds);
}

void ProbeReport::music(const std::vector<int16_t>& samples)
{
    send('A', 0, 0, 0, 0, samples.data(), samples.size() * sizeof(int16_t));
}

void ProbeReport::music_rendered(long frames)
{
    send('m', 0, 0, 0, frames, nullptr, 0);
}

void ProbeReport::done()
{
    send('D', 0, 0, 0, 0, nullptr, 0);
}

ProbeResult run_probe(const std::string& data_dir,
                      const std::function<void(ProbeReport&, const std::string& dir)>& body,
                      const ProbeLimits& limits, const std::string& input)
{
    // Set-up: the data directory as the child will spell it.
    ProbeResult result;
    std::error_code ec;
    const std::string dir = fs::absolute(data_dir, ec).string();
    if (ec) {
        result.failure = "cannot find the data directory " + data_dir + ": " + ec.message();
        return result;
    }
    // The run, watched.
    Watcher watch(data_dir, dir, limits, result);
    const SandboxResult end = run_sandboxed(
        [&](SandboxChild& child) {
            ProbeReport report(child, limits);
            body(report, dir);
        },
        limits, watch, input);
    // The verdict. A module the player failed on leaves the show silent, but only with every
    // picture there.
    watch.judge(end);
    if (result.failure.empty() && !watch.complete())
        result.failure = "the start-up probe ended without every picture";
    if (!result.failure.empty()) {
        result.module_fault.clear();  // the show does not start: nothing plays the module
        result.music.clear();
    }
    result.seconds = end.wall_seconds;
    return result;
}

ProbeResult probe_show_data(const std::string& data_dir, const ProbeLimits& limits)
{
    // The module is read once, here, and checked; the child loads those bytes and no others.
    std::vector<uint8_t> module;
    std::string problem;
    if (!read_module_bytes(module_file(data_dir), module, problem) ||
        !check_module(module, problem))
        module.clear();
    ProbeResult result =
        run_probe(data_dir, probe_body, limits, std::string(module.begin(), module.end()));
    result.module_problem = problem;
    if (result.failure.empty() && result.pictures.error.empty() && problem.empty() &&
        result.module_fault.empty() && result.music.empty())
        result.module_fault = "the player cannot read it";
    return result;
}
