// A host without a screen, a timer or a sound device: frames are drawn into memory bitmaps and
// time is a count of virtual ticks that moves only while the show waits. The recorder and the
// benchmark run the show on it (the tests too, through a double that records what happened), so
// their frames are the frames of the real show.
//
// The clock: a wait's turn (idle) lets one tick arrive; a present takes no virtual time, so every
// shown frame waits for its own tick and takes exactly one, and nothing owed carries over.
//
// A program that runs the show this way derives from it and overrides after_iteration() to see
// each frame; the rest of the seam does nothing (no keys: Esc is never held; no music).
#pragma once
#include <string>

#include "host/headless_allegro.h"
#include "host/host.h"

class VirtualClockHost : public Host {
public:
    // Starts headless Allegro in `depth` bits per pixel.
    explicit VirtualClockHost(int depth = 32);

    // --- Where the show is ---
    Phase phase() const { return phase_; }
    // The current iteration's number within its phase, shown or passed, from 1 (0 before the
    // phase's first): with the phase, the frame's name (`loop:160`).
    long phase_iteration() const { return phase_iteration_; }
    // The main loop's current scene (0..5; 6 is the ending); -1 before the main loop.
    int scene() const { return scene_; }
    // The main loop has begun: the music plays from its first frame.
    bool in_loop() const { return in_loop_; }
    // Frames shown since the start, one a tick.
    long presents() const { return presents_; }
    // Virtual ticks that have arrived since the start.
    long ticks() const { return ticks_; }
    // What the last report_fatal() said.
    const std::string& fatal_message() const { return fatal_message_; }

    // --- Host ---
    void install_tick() override {}
    long owed() override { return owed_; }
    void take_tick() override { owed_--; }
    void clear_owed() override { owed_ = 0; }
    void idle() override { advance(1.0); }
    void begin_phase(Phase phase) override;
    void begin_scene(int scene) override { scene_ = scene; }
    void present(BITMAP* frame) override;
    void pass(BITMAP* frame) override;
    bool esc_held() override { return false; }
    void deinit() override {}
    void set_windowed_mode() override {}
    void report_fatal(const std::string& message) override { fatal_message_ = message; }
    void start_music(const std::vector<int16_t>&, const std::string&, const std::string&) override
    {}
    void poll_music() override {}
    void set_music_volume(float volume) override {}
    void end_music() override {}

protected:
    // Called after every iteration, shown (present) or passed, once phase_iteration() numbers it.
    virtual void after_iteration(BITMAP* frame, bool shown) {}
    // Virtual time passes: `ticks` more arrive and are owed (fractions add up across calls).
    void advance(double ticks);
    // Sets what the clock owes, as if the show were that many frames behind (or ahead).
    void set_owed(long owed) { owed_ = owed; }

private:
    Phase phase_ = Phase::Logo;
    long phase_iteration_ = 0;
    int scene_ = -1;
    bool in_loop_ = false;
    long presents_ = 0;
    long ticks_ = 0;
    long owed_ = 0;
    TickClock clock_;
    std::string fatal_message_;
};
