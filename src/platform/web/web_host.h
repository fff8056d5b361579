// The browser's host: the page's canvas, clock, keys and WebAudio (page.js), reached from wasm.
// The show's loop stays blocking: a wait yields to the browser (Asyncify) and resumes after it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/frame_log.h"
#include "host/host.h"
#include "music/module_audio.h"

class WebHost : public Host {
public:
    // `test`: every presented frame's "NAME HASH" goes to the page's log, and the sound handed to
    // WebAudio is hashed a second at a time as the recorder's is.
    explicit WebHost(bool test);

    void install_tick() override;
    long owed() override { return arrived() - taken_; }
    void take_tick() override;
    void clear_owed() override { taken_ = arrived(); }
    void idle() override;
    void begin_phase(Phase phase) override;
    void begin_scene(int) override {}
    void present(BITMAP* frame) override;
    void pass(BITMAP*) override { iteration_++; }
    bool esc_held() override;
    void deinit() override;
    void set_windowed_mode() override {}
    void report_fatal(const std::string& message) override;
    void start_music(const std::vector<int16_t>& track, const std::string& module_path,
                     const std::string& problem) override;
    void poll_music() override {}
    void set_music_volume(float volume) override { volume_ = volume; }
    void end_music() override;

    // After the show: the last second of the hashed sound.
    void finish();

private:
    // Ticks arrived since install_tick on the page's clock (which stands still while the page is
    // hidden).
    long arrived() const;
    double tick_ms(long n) const;  // page time of tick n

    bool test_;
    bool ticking_ = false;
    double start_ms_ = 0;
    long taken_ = 0;
    Phase phase_ = Phase::Logo;
    long iteration_ = 0;     // the frame's number within its phase, passed ones included
    long shown_ = 0;         // frames presented, one a tick: the sound track's frames
    bool in_music_ = false;  // from the main loop's first frame on, the music plays
    bool yielded_ = true;    // the browser has run since the last present
    bool esc_logged_ = false;
    float volume_ = 1.0f;
    double last_present_ms_ = 0;  // when the last present returned
    double waited_ms_ = 0;        // time in waits since then
    ModuleAudio audio_;
    std::unique_ptr<FrameLog> sound_log_;  // test only
    std::vector<int16_t> samples_;
    std::vector<uint8_t> rgba_;
};
