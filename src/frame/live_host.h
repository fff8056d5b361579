// The host of the real show: Allegro's full-screen mode, timer, keyboard and the DUMB player.
#pragma once
#include <chrono>

#include "frame/host.h"

struct AL_DUH_PLAYER;
struct DUH;

class LiveHost : public Host {
public:
    // Brings up Allegro and the 640x480 full-screen mode at the desktop's depth, then the timer,
    // keyboard and mouse. Exits the process with status -1 when Allegro or the mode cannot start.
    void init();

    void install_tick() override;
    long ticks_since_install() override;
    void idle() override {}
    void begin_phase(Phase) override {}
    void begin_scene(int) override {}
    void present(BITMAP* frame) override;
    bool esc_held() override;
    void deinit() override;
    void set_windowed_mode() override;
    void report_fatal(const std::string& message) override;
    void start_music(const std::string& module_path) override;
    void poll_music() override;
    void set_music_volume(float volume) override;

private:
    std::chrono::steady_clock::time_point tick_start_;
    DUH* module_ = nullptr;
    AL_DUH_PLAYER* player_ = nullptr;
};
