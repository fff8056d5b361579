// The seam between the show and the machine. Show code reaches the screen, the keyboard, the clock
// and the music only through a Host: LiveHost wraps Allegro's screen and key array, the steady
// clock and the DUMB player; VirtualClockHost (recorder, benchmark, and the tests' SpyHost) runs on
// memory bitmaps and a virtual clock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/timing.h"

struct BITMAP;

class Host {
public:
    virtual ~Host() = default;

    // --- The show's clock ---
    // Starts the 59 Hz tick: from now on every kTickPeriod one more frame is owed. Called once,
    // before the intro.
    virtual void install_tick() = 0;
    // Frames owed to the clock: ticks arrived minus ticks taken. Positive: the show is behind.
    virtual long owed() = 0;
    // A frame takes its tick: one less owed (it may go below zero).
    virtual void take_tick() = 0;
    // Forgets what is owed: a stretch of the show starts on time, whatever the last one lagged.
    virtual void clear_owed() = 0;
    // One turn of a wait while nothing is owed. Live: sleeps towards the next tick (2 ms at most);
    // headless: one tick of virtual time passes.
    virtual void idle() = 0;

    // Waits until a frame is owed, then takes its tick. With esc_ends, Esc is tested before each
    // turn of the wait and once more before the tick is taken, so a show running behind its clock
    // (no wait at all) still sees it; held, it ends the wait at once and the result is false
    // (nothing taken).
    bool wait_tick(bool esc_ends = false)
    {
        for (;;) {
            if (esc_ends && esc_held())
                return false;
            if (owed() > 0)
                break;
            idle();
        }
        take_tick();
        return true;
    }

    // One iteration of a stretch that shows only some of its frames (the holds, the smear, the
    // fade): a shown one waits for its tick, then is presented; any other is passed. With
    // esc_ends, Esc held during the wait ends it and the result is false (nothing presented).
    bool present_or_pass(BITMAP* frame, bool shown, bool esc_ends = false)
    {
        if (!shown) {
            pass(frame);
            return true;
        }
        if (!wait_tick(esc_ends))
            return false;
        present(frame);
        return true;
    }

    // Marks the start of a stretch of presents (logo phase, smear, main loop, pause, fade).
    virtual void begin_phase(Phase phase) = 0;
    // The main loop's scene changes: the frames presented from now on are scene `scene` (0..5;
    // 6 is the ending). Called before the first frame of each visit draws.
    virtual void begin_scene(int scene) = 0;
    // Puts one whole 640x480 frame on the screen for the tick just taken. Live, a frame on time
    // first sleeps to a fixed moment of its tick, and it is on the display when this returns.
    virtual void present(BITMAP* frame) = 0;
    // An iteration whose frame a later one overtakes before any tick shows it (the smear and fade
    // draw two a tick, the holds many): it never reaches the screen and takes no tick, but it
    // counts in the phase's numbering, so a recorder can still dump it.
    virtual void pass(BITMAP* frame) = 0;
    // True while Esc is held down at the moment of the test; consumes nothing.
    virtual bool esc_held() = 0;

    // clear_keybuf(): the program's deinit.
    virtual void deinit() = 0;
    // Leaves full screen for a 640x480 window, just before the program ends.
    virtual void set_windowed_mode() = 0;
    // A start-up failure: back to text mode, show the message (without the program's name, which
    // the host adds). The caller then ends the program.
    virtual void report_fatal(const std::string& message) = 0;

    // Music: the set-up (sound driver, stream started), the poll that feeds the stream, and the
    // music's gain. `track` is the music the start-up probe's child rendered from the module at
    // `module_path` (interleaved stereo at 48000 Hz, unit gain; it outlives the show); empty, the
    // show runs silent and `problem` says why (the file is missing, refused by the check, or the
    // player failed on it). No host reads or plays the module file itself.
    virtual void start_music(const std::vector<int16_t>& track, const std::string& module_path,
                             const std::string& problem) = 0;
    virtual void poll_music() = 0;
    virtual void set_music_volume(float volume) = 0;
    // After the fade's last frame: the music goes quiet without a click before the program ends.
    virtual void end_music() = 0;
};
