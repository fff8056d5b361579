#include "frame/live_host.h"

#include <allegro.h>
#include <aldumb.h>
#include <xalleg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "frame/tick.h"
#include "music/module_check.h"

namespace {
// Where in its tick a frame on time is presented: after the drawing of any scene on a fast
// machine, early enough to leave the rest of the tick for the copy to the X server.
constexpr std::chrono::milliseconds kPresentDelay{10};
}

void LiveHost::init()
{
    // Without a reachable display the later calls would crash inside Allegro: test first.
    if (allegro_init() != 0) {
        // Allegro leaves its error text empty when X cannot be reached: say what was tried.
        const char* display = std::getenv("DISPLAY");
        const std::string which = display && *display
                                      ? std::string("the display '") + display + "' named by DISPLAY"
                                      : std::string("a display: DISPLAY is not set");
        std::fprintf(stderr, "stream8: cannot open %s%s%s\n", which.c_str(),
                     allegro_error[0] ? "; " : "", allegro_error);
        std::exit(-1);
    }
    // The effects draw 32-bit pixels and blend them by 32-bit rules; at 8, 15, 16 or 24 bits they
    // would lose or garble colours. The X11 driver converts each present to the desktop's depth.
    set_color_depth(32);
    if (set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 640, 480, 0, 0) != 0) {
        allegro_message("%s\n", allegro_error);
        std::exit(-1);
    }
    install_timer();
    install_keyboard();
    install_mouse();
    if (const char* path = std::getenv("STREAM8_PHASE_LOG"))
        phase_log_ = std::fopen(path, "w");
}

void LiveHost::log_phase(const char* name)
{
    if (!phase_log_)
        return;
    const std::chrono::duration<double> t = std::chrono::steady_clock::now() - tick_start_;
    std::fprintf(phase_log_, "%s %.4f\n", name, t.count());
    std::fflush(phase_log_);
}

void LiveHost::begin_phase(Phase phase)
{
    static const char* const names[] = {"logo", "smear", "loop", "pause", "fade"};
    log_phase(names[static_cast<int>(phase)]);
}

void LiveHost::install_tick()
{
    tick_start_ = std::chrono::steady_clock::now();
    ticking_ = true;
}

long LiveHost::ticks_elapsed() const
{
    if (!ticking_)
        return 0;
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - tick_start_).count();
    return static_cast<long>(us * TIMERS_PER_SECOND / (kTickPeriod * 1000000LL));
}

std::chrono::steady_clock::time_point LiveHost::tick_time(long n) const
{
    const long long us = (n * kTickPeriod * 1000000LL + TIMERS_PER_SECOND - 1) / TIMERS_PER_SECOND;
    return tick_start_ + std::chrono::microseconds(us);
}

void LiveHost::idle()
{
    // Sleeps until the next tick is due, at most 2 ms at a time so that Esc is seen at once.
    const auto cap = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
    std::this_thread::sleep_until(std::min(cap, tick_time(taken_ + 1)));
}

void LiveHost::present(BITMAP* frame)
{
    // A frame on time goes out at a fixed moment of its tick, so every frame stays on screen for
    // one whole tick however long it took to draw; one that is late goes out at once.
    if (ticking_ && owed() <= 1) {
        const auto due = tick_time(ticks_elapsed()) + kPresentDelay;
        if (std::chrono::steady_clock::now() < due)
            std::this_thread::sleep_until(due);
    }
    // The driver copies the frame into its image and only queues the request that sends it; its
    // background thread flushes such requests every 20 ms or so, and a flush while the next frame
    // is being copied shows bands of two frames. Under the display lock, with the connection
    // synced, the whole frame is on the X server before this returns.
    XLOCK();
    blit(frame, screen, 0, 0, 0, 0, 640, 480);
    XSync(_xwin.display, False);
    XUNLOCK();
}

bool LiveHost::esc_held()
{
    return key[KEY_ESC] != 0;
}

void LiveHost::deinit()
{
    clear_keybuf();
}

void LiveHost::set_windowed_mode()
{
    set_gfx_mode(GFX_AUTODETECT_WINDOWED, 640, 480, 0, 0);
}

void LiveHost::report_fatal(const std::string& message)
{
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    // A terminal user reads standard error; a desktop user gets Allegro's message box.
    std::fprintf(stderr, "stream8: %s\n", message.c_str());
    allegro_message("stream8: %s\n", message.c_str());
}

void LiveHost::start_music(const std::string& module_path)
{
    atexit(dumb_exit);
    dumb_register_stdfiles();
    // The music is the mixer's only voice: play it at full scale instead of the library's default
    // of half, which leaves room for a second voice the show never has.
    set_volume_per_voice(0);
    const bool sound = install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr) == 0;
    // DUMB never sees a module that fails the check: it would crash, abort or litter on one.
    std::string problem;
    if (check_module_file(module_path, problem))
        module_ = dumb_load_it_quick(module_path.c_str());
    if (module_)
        player_ = al_start_duh(module_, 2, 0, 1.0f, 4096, 48000);
    // The show runs on in silence with unchanged timing; say why, naming a bad module whether or
    // not a sound device opened.
    if (!module_)
        std::fprintf(stderr, "stream8: %s: cannot load the module%s; the show runs silent\n",
                     module_path.c_str(), problem.empty() ? "" : (" (" + problem + ")").c_str());
    if (!sound)
        std::fprintf(stderr, "stream8: no sound driver (%s); the show runs silent\n", allegro_error);
    else if (digi_card == DIGI_NONE)
        std::fprintf(stderr, "stream8: no sound device could be opened; the show runs without sound\n");
    else if (module_ && !player_)
        std::fprintf(stderr, "stream8: cannot start the music stream; the show runs silent\n");
}

void LiveHost::poll_music()
{
    if (player_)
        al_poll_duh(player_);
}

void LiveHost::set_music_volume(float volume)
{
    if (player_)
        al_duh_set_volume(player_, volume);
}

void LiveHost::end_music()
{
    log_phase("end");
    if (!player_)
        return;
    // The stream holds two buffers of 4096 frames, 85 ms each, still at the fade's last gain.
    // Refill them with silence for three buffers' time, then stop: the sound ends in silence.
    al_duh_set_volume(player_, 0.0f);
    for (int ms = 0; ms < 3 * 4096 * 1000 / 48000; ms++) {
        al_poll_duh(player_);
        rest(1);
    }
    al_stop_duh(player_);
    player_ = nullptr;
}
