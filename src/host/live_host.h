// The host of the real show: Allegro's screen (full screen at the desktop's size, or a window),
// keyboard, the music's stream (fed from the track the start-up probe rendered) and a clock.
#pragma once
#include <chrono>
#include <cstdio>
#include <vector>

#include "host/frame_log.h"
#include "host/host.h"

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
    // Returns 0, or the program's exit status with `error` set (and nothing left open) when the
    // screen cannot be had: -1 when there is no display or the mode cannot be set, 1 when the
    // desktop is too small for the show (or for the scale asked for).
    int init(const ScreenChoice& choice, std::string& error);
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
    // With STREAM8_PHASE_LOG naming a file, each phase's start (and the fade's end, as "end"; the
    // first Esc seen, "esc"; the full screen given up, "released") is written there in seconds
    // since the tick began: how the end-to-end tests time the phases.
    void log_phase(const char* name);
    double seconds_since_tick() const;
    bool esc_logged_ = false;
    std::FILE* phase_log_ = nullptr;
    // What the show did with its time in the phase under way, written to the phase log when the
    // phase ends as "timing NAME presents=N late=N owed=N end=N waits=N slept=S spun=S queued=S
    // polls=N present_waits=N present_slept=S present_spun=S present_queued=S woke=MS": the
    // frames presented and those late (more than a tick owed, sent at once), the most ticks owed
    // at a present or at the phase's end and those owed at its end; the waits for a tick, their
    // wall time spent asleep, on the CPU (spinning) and ready to run but kept off the CPU by
    // other work (the kernel's run delay, so that a busy machine lengthens no side), and the
    // clock polls that found nothing owed; the same for the presents' waits for their moment in
    // the tick, and the median time from that moment to the waking. A test judges the length
    // only of a phase that ended on time, and the waits always.
    struct Waits {
        long count = 0;
        double slept = 0, spun = 0, queued = 0;
    };
    struct Account {
        long presents = 0, late = 0, most_owed = 0, end_owed = 0, polls = 0;
        Waits ticks, presents_due;
        std::vector<double> woke;
    };
    struct ThreadTimes {
        double wall = 0, cpu = 0, queued = 0;
    };
    ThreadTimes thread_times() const;
    void add_wait(const ThreadTimes& from, Waits& waits);
    Account account_;
    bool waiting_ = false;
    ThreadTimes wait_start_;
    int sched_fd_ = -1;
    void note_owed(long owed);
    void note_phase_end();
    void end_wait();
    void log_account();
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
    float volume_ = 1.0f;
    float fed_volume_ = 1.0f;  // the gain the last buffer fed ended on
    bool playing_ = false;     // the show has polled the music: it has begun
    bool ramping_ = false;
    float ramp_from_ = 0;
    long ramp_done_ = 0;
    long silent_buffers_ = 0;  // buffers fed wholly silent after the ramp
    void start_ramp();
    // Fills every buffer the stream has free.
    void feed_stream();
    // Keeps the stream fed for `ms` milliseconds, then stops it.
    void play_out_and_stop(long ms);
};
