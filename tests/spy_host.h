// The tests' host: the virtual-clock host with a script (Esc, the cost of a present) and a record
// of everything the show asked of it, for the tests to read.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "host/virtual_clock_host.h"

class SpyHost : public VirtualClockHost {
public:
    explicit SpyHost(int depth = 32) : VirtualClockHost(depth) {}

    // Rare events, in the order they happened.
    enum class Event { InstallTick, MusicStart, MusicEnd, Deinit, Windowed, Fatal };

    // --- Script ---
    // Asked at every Esc test; true means Esc is held. Never held by default.
    std::function<bool(const SpyHost&)> esc;
    // Virtual time one present costs, in ticks (fractions accumulate). 0: a present takes no time,
    // so every frame waits for its tick and takes exactly one.
    double ticks_per_present = 0;
    // Called after every iteration, shown or passed, with the frame, its phase and its number
    // within the phase (1-based); `shown` tells which it was.
    std::function<void(BITMAP*, Phase, long)> on_iteration;
    // The clock owes `n` ticks, as if the show were that far behind.
    using VirtualClockHost::set_owed;

    // --- Record ---
    std::vector<Event> events;
    long passes = 0;     // all iterations passed
    bool shown = false;  // the last iteration was shown
    long esc_tests = 0;
    long idles = 0;  // turns of the waits for a tick
    long polls = 0;
    long polls_outside_loop = 0;  // polls before the main loop began
    std::vector<float> volumes;
    std::string music_path;
    std::string music_fault;  // the probe's verdict start_music was given

    bool has(Event e) const;

    void install_tick() override { events.push_back(Event::InstallTick); }
    void idle() override;
    void present(BITMAP* frame) override;
    bool esc_held() override;
    void deinit() override { events.push_back(Event::Deinit); }
    void set_windowed_mode() override { events.push_back(Event::Windowed); }
    void report_fatal(const std::string& message) override;
    void start_music(const std::vector<int16_t>& track, const std::string& module_path,
                     const std::string& problem) override;
    void poll_music() override;
    void set_music_volume(float volume) override { volumes.push_back(volume); }
    void end_music() override { events.push_back(Event::MusicEnd); }

protected:
    void after_iteration(BITMAP* frame, bool shown) override;
};
