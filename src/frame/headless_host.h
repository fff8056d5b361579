// A host without a screen: memory bitmaps, a virtual tick and scripted keys. Tests, the recorder
// and the benchmark run the show's own code on it, so its frames are the frames of the real show.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "frame/host.h"

// Starts Allegro without a system driver (once per process) in `depth` bits per pixel, with the
// 24/32-bit pixel layout red << 16 | green << 8 | blue of the X11 display.
void start_headless_allegro(int depth = 32);

class HeadlessHost : public Host {
public:
    explicit HeadlessHost(int depth = 32);

    // Rare events, in the order they happened.
    enum class Event { InstallTick, MusicStart, MusicEnd, Deinit, Windowed, Fatal };

    // --- Script ---
    // Asked at every Esc test; true means Esc is held. Never held by default.
    std::function<bool(const HeadlessHost&)> esc;
    // Virtual time one present costs, in ticks (fractions accumulate). 0: a present takes no time,
    // so every frame waits for its tick and takes exactly one.
    double ticks_per_present = 0;
    // Called after every iteration, shown or passed, with the frame, its phase and its number
    // within the phase (1-based); `shown` tells which it was.
    std::function<void(BITMAP*, Phase, long)> on_present;

    // --- Record ---
    std::vector<Event> events;
    Phase phase = Phase::Logo;
    int scene = -1;             // the main loop's current scene (6: the ending); -1 before it
    long phase_presents = 0;    // iterations in the current phase, shown or passed: the frame's number
    long presents = 0;          // all frames shown, one a tick
    long passes = 0;            // all iterations passed
    bool shown = false;         // the last iteration was shown
    long esc_tests = 0;
    long idles = 0;             // turns of the waits for a tick
    long polls = 0;
    long polls_outside_loop = 0;  // polls before the main loop began
    bool in_loop = false;
    std::vector<float> volumes;
    std::string music_path;
    std::string music_fault;    // the probe's verdict start_music was given
    std::string fatal_message;
    long ticks = 0;             // virtual ticks since install_tick
    long owed_ticks = 0;        // the clock: ticks arrived minus ticks taken; tests may set it

    bool has(Event e) const;

    void install_tick() override;
    long owed() override { return owed_ticks; }
    void take_tick() override { owed_ticks--; }
    void clear_owed() override { owed_ticks = 0; }
    void idle() override;
    void begin_phase(Phase p) override;
    void begin_scene(int s) override { scene = s; }
    void present(BITMAP* frame) override;
    void pass(BITMAP* frame) override;
    bool esc_held() override;
    void deinit() override { events.push_back(Event::Deinit); }
    void set_windowed_mode() override { events.push_back(Event::Windowed); }
    void report_fatal(const std::string& message) override;
    void start_music(const std::string& module_path, const std::string& probe_fault) override;
    void poll_music() override;
    void set_music_volume(float volume) override { volumes.push_back(volume); }
    void end_music() override { events.push_back(Event::MusicEnd); }

private:
    void add_ticks(double n);
    double tick_debt_ = 0;
};
