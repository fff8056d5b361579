// The host of the real show: Allegro's screen (full screen at the desktop's size, or a window),
// keyboard, the music's stream (fed from the track the start-up probe rendered) and a clock.
#pragma once
#include <chrono>
#include <cstdio>
#include <vector>

#include "host/frame_log.h"
#include "host/host.h"
#include "host/phase_log.h"
#include "music/module_player.h"

struct AUDIOSTREAM;
struct BITMAP;

// How the show meets the screen.
struct ScreenChoice {
    bool window = false;  // a window instead of the full screen
    int scale = 0;        // each frame pixel a scale x scale block; 0: the largest that fits
};

// The largest whole k whose 640k x 480k picture fits a w x h area; 0 when none does.
int fitting_scale(int w, int h);
// The scale of the window on a w x h desktop: the largest whose window, with room for its frame
// (title bar and borders), fits the desktop; 1 at least.
int window_scale(int w, int h);

class LiveHost : public Host {
public:
    // Brings up Allegro and the screen, drawn at 32 bits whatever the desktop's depth (the library
    // converts for the screen), then the timer, keyboard and mouse. Full screen covers the
    // desktop at its own size and shows each frame scaled by a whole factor, centred on black.
    // The program calls it once, after the probe. False with `error` set (and nothing left open)
    // when the screen cannot be had: no display, a mode that cannot be set, a desktop too small
    // for the show (or for the scale asked for), no keyboard.
    bool init(const ScreenChoice& choice, std::string& error);
    // The scale and place of the picture on the screen.
    int scale() const { return scale_; }

    void install_tick() override;
    long owed() override;
    void take_tick() override { taken_++; }
    void clear_owed() override;
    void idle() override;
    void begin_phase(Phase phase) override;
    void begin_scene(int) override {}
    void present(BITMAP* frame) override;
    void pass(BITMAP* frame) override;
    bool esc_held() override;
    void deinit() override;
    void set_windowed_mode() override;
    void report_fatal(const std::string& message) override;
    void start_music(const std::vector<int16_t>& track, const std::string& module_path,
                     const std::string& problem) override;
    void poll_music() override;
    void set_music_volume(float volume) override;
    void end_music() override;

    // After the show, before the program returns: leaves full screen at once if the show did not,
    // then lets the sound die away (an early end ramps it down first) and stops it.
    void finish();

private:
    // The phase log (STREAM8_PHASE_LOG): the phases' moments and the account of each.
    void log_phase(const char* name);
    double seconds_since_tick() const;
    void note_phase_end();
    bool esc_logged_ = false;
    PhaseLog phase_log_;
    // With STREAM8_FRAME_LOG naming a file, the hash of every frame presented, named as the
    // recorder names it, and the moment it went out: how the end-to-end tests compare the live
    // show with the recorder's and time the presents within their ticks.
    FrameLog frame_log_;
    Phase phase_ = Phase::Logo;
    long phase_iteration_ = 0;
    // The clock: ticks are counted from the steady clock, not by a timer thread, so each one
    // falls exactly on its time. 0 before install_tick.
    long ticks_elapsed() const;
    std::chrono::steady_clock::time_point tick_time(long n) const;
    bool ticking_ = false;
    std::chrono::steady_clock::time_point tick_start_;
    long taken_ = 0;  // ticks taken by frames (or forgotten)
    // The picture on the screen: scale and top-left corner.
    int scale_ = 1;
    int left_ = 0, top_ = 0;
    bool fullscreen_ = false;
    // The music: the stream, the track it plays and where, its gain, and the ramp to silence
    // that an end starts (the gain falls by equal steps each sample frame, to exactly 0).
    AUDIOSTREAM* stream_ = nullptr;
    const std::vector<int16_t>* track_ = nullptr;
    long track_pos_ = 0;
    // An end ramps the samples to silence over 40 ms: the gain falls by 1/1920 of its start a
    // frame, so no step is above -65 dBFS, and ends at exactly 0.
    StreamGain gain_{kSampleRate * 40 / 1000};
    bool playing_ = false;     // the show has polled the music: it has begun
    long silent_buffers_ = 0;  // buffers fed wholly silent after the ramp
    // Fills every buffer the stream has free.
    void feed_stream();
    // Keeps the stream fed for `ms` milliseconds, then stops it.
    void play_out_and_stop(long ms);
};
