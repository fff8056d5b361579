// The host of the real show: Allegro's full-screen mode, timer, keyboard and the DUMB player.
#pragma once
#include <atomic>
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
    long owed() override { return owed_.load(); }
    void take_tick() override { owed_.fetch_sub(1); }
    void clear_owed() override { owed_.store(0); }
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
    // Timer callback, in Allegro's timer thread: one more frame owed, nothing else.
    static void on_tick(void* self);

    // With STREAM8_PHASE_LOG naming a file, each phase's start (and the fade's end, as "end") is
    // written there in seconds since the tick began: how the end-to-end tests time the phases.
    void log_phase(const char* name);
    std::FILE* phase_log_ = nullptr;
    std::chrono::steady_clock::time_point tick_start_;

    // Atomic, so a tick that meets a frame taking one is never lost.
    std::atomic<long> owed_{0};
    DUH* module_ = nullptr;
    AL_DUH_PLAYER* player_ = nullptr;
};
