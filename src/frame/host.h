// The seam between the show and the machine. Show code reaches the screen, the keyboard, the tick
// and the music only through a Host: LiveHost wraps Allegro's screen, timer, key array and the
// DUMB player; HeadlessHost (tests, recorder, benchmark) runs on memory bitmaps and a virtual clock.
#pragma once
#include <string>

struct BITMAP;

// Stretches of the show that present frames; a recorder names frames by phase and count.
enum class Phase { Logo, Smear, Loop, Pause, Fade };

class Host {
public:
    virtual ~Host() = default;

    // Starts the 59 Hz tick (increment_speed_counter every kTickPeriod). Called once, before the intro.
    virtual void install_tick() = 0;
    // Ticks that have arrived since install_tick; bounds the unpaced waits on slow machines.
    virtual long ticks_since_install() = 0;
    // One turn of the main loop's busy wait, when no frame is owed. Live: nothing at all.
    virtual void idle() = 0;

    // Marks the start of a stretch of presents (logo phase, smear, main loop, pause, fade).
    virtual void begin_phase(Phase phase) = 0;
    // The main loop's scene changes: the frames presented from now on are scene `scene` (0..5;
    // 6 is the ending). Called before the first frame of each visit draws.
    virtual void begin_scene(int scene) = 0;
    // Copies one whole 640x480 bitmap to the screen at (0, 0).
    virtual void present(BITMAP* frame) = 0;
    // True while Esc is held down at the moment of the test; consumes nothing.
    virtual bool esc_held() = 0;

    // clear_keybuf(): the program's deinit.
    virtual void deinit() = 0;
    // Leaves full screen for a 640x480 window, just before the program ends.
    virtual void set_windowed_mode() = 0;
    // A start-up failure: back to text mode, show the message (without the program's name, which
    // the host adds). The caller then ends the program.
    virtual void report_fatal(const std::string& message) = 0;

    // Music: the set-up (DUMB shutdown registered, sound driver, module loaded, player started),
    // the poll that feeds the stream, and the player's gain.
    virtual void start_music(const std::string& module_path) = 0;
    virtual void poll_music() = 0;
    virtual void set_music_volume(float volume) = 0;
};
