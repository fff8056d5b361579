// The host of the real show: Allegro's full-screen mode, keyboard, the DUMB player and a clock.
#pragma once
#include <chrono>
#include <cstdio>

#include "frame/host.h"

struct AL_DUH_PLAYER;
struct DUH;

class LiveHost : public Host {
public:
    // Brings up Allegro and the 640x480 full-screen mode, drawn at 32 bits whatever the desktop's
    // depth (the library converts for the screen), then the timer, keyboard and mouse. Exits the
    // process with status -1 when Allegro or the mode cannot start.
    void init();

    void install_tick() override;
    long owed() override { return ticks_elapsed() - taken_; }
    void take_tick() override { taken_++; }
    void clear_owed() override { taken_ = ticks_elapsed(); }
    void idle() override;
    void begin_phase(Phase phase) override;
    void begin_scene(int) override {}
    void present(BITMAP* frame) override;
    bool esc_held() override;
    void deinit() override;
    void set_windowed_mode() override;
    void report_fatal(const std::string& message) override;
    void start_music(const std::string& module_path) override;
    void poll_music() override;
    void set_music_volume(float volume) override;
    void end_music() override;

private:
    // With STREAM8_PHASE_LOG naming a file, each phase's start (and the fade's end, as "end") is
    // written there in seconds since the tick began: how the end-to-end tests time the phases.
    void log_phase(const char* name);
    std::FILE* phase_log_ = nullptr;
    // The clock: ticks are counted from the steady clock, not by a timer thread, so each one
    // falls exactly on its time. 0 before install_tick.
    long ticks_elapsed() const;
    std::chrono::steady_clock::time_point tick_time(long n) const;
    bool ticking_ = false;
    std::chrono::steady_clock::time_point tick_start_;
    long taken_ = 0;  // ticks taken by frames (or forgotten)
    DUH* module_ = nullptr;
    AL_DUH_PLAYER* player_ = nullptr;
};
