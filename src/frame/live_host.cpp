#include "frame/live_host.h"

#include <allegro.h>
#include <aldumb.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/tick.h"
#include "music/module_check.h"

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
    int depth = desktop_color_depth();
    // Every effect needs true colour; 8-bit (or an unknown depth) is run at 32 bits.
    if (depth == 0 || depth == 8)
        depth = 32;
    set_color_depth(depth);
    if (set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 640, 480, 0, 0) != 0) {
        allegro_message("%s\n", allegro_error);
        std::exit(-1);
    }
    install_timer();
    install_keyboard();
    install_mouse();
}

void LiveHost::install_tick()
{
    tick_start_ = std::chrono::steady_clock::now();
    install_int_ex(increment_speed_counter, kTickPeriod);
}

long LiveHost::ticks_since_install()
{
    using namespace std::chrono;
    const auto ns = duration_cast<nanoseconds>(steady_clock::now() - tick_start_).count();
    return static_cast<long>(ns / 1e9 * TIMERS_PER_SECOND / kTickPeriod);
}

void LiveHost::present(BITMAP* frame)
{
    blit(frame, screen, 0, 0, 0, 0, 640, 480);
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
