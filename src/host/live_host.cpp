#include "host/live_host.h"

#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <time.h>

#include "music/module_player.h"
#include "platform/live_platform.h"
#include "platform/refusal_dialog.h"

namespace {
// Where in its tick a frame on time is presented: after the drawing of any scene on a fast
// machine, early enough to leave the rest of the tick for the copy to the X server.
constexpr std::chrono::milliseconds kPresentDelay{10};
// How long the sound plays on after an early end before it stops: the mixer's ramp, then what
// the driver and the device have already taken.
constexpr int kDrainMs = 250;
}  // namespace

namespace {

// Set by the window's close button; read as Esc.
volatile int close_requested = 0;

void on_close_button()
{
    close_requested = 1;
}

// Room a window manager's frame takes around a window: title bar and borders.
constexpr int kFrameRoomW = 16;
constexpr int kFrameRoomH = 48;

}  // namespace

int fitting_scale(int w, int h)
{
    return std::min(w / 640, h / 480);
}

int window_scale(int w, int h)
{
    return std::max(1, fitting_scale(w - kFrameRoomW, h - kFrameRoomH));
}

namespace {

// The scale the show takes on a dw x dh desktop as `choice` asks; 0 with `error` set when the
// show (or the scale asked for) does not fit.
int chosen_scale(const ScreenChoice& choice, int dw, int dh, std::string& error)
{
    const std::string desktop = std::to_string(dw) + "x" + std::to_string(dh);
    if (fitting_scale(dw, dh) < 1) {
        error = "the desktop is " + desktop + ", smaller than the show's 640x480";
        return 0;
    }
    const int k = choice.scale > 0 ? choice.scale
                  : choice.window  ? window_scale(dw, dh)
                                   : fitting_scale(dw, dh);
    if (k > fitting_scale(dw, dh)) {
        error = "--scale " + std::to_string(k) + " needs " + std::to_string(640 * k) + "x" +
                std::to_string(480 * k) + "; the desktop is " + desktop;
        return 0;
    }
    return k;
}

// Sets a sw x sh window or full screen at 32 bits on a desktop of `depth` bits; false with
// `error` set.
bool open_screen(bool window, int sw, int sh, int depth, std::string& error)
{
    // The effects draw 32-bit pixels and blend them by 32-bit rules; at 8, 15, 16 or 24 bits they
    // would lose or garble colours. The X11 driver converts each present to the desktop's depth.
    // Full screen takes the desktop's own size, so no mode switch happens.
    set_color_depth(32);
    if (set_gfx_mode(window ? GFX_AUTODETECT_WINDOWED : GFX_AUTODETECT_FULLSCREEN, sw, sh, 0, 0) !=
        0) {
        const std::string why = allegro_error;
        if (why.find("grab") != std::string::npos)
            error = "cannot take the keyboard (" + why + "): is another copy of the show running?";
        else
            error = "cannot open a " + std::to_string(sw) + "x" + std::to_string(sh) + " " +
                    (window ? "window" : "full screen") + " at 32 bits on this " +
                    std::to_string(depth) +
                    "-bit display: " + (why.empty() ? "no reason given" : why);
        return false;
    }
    // Blenders that work on 24-bit colour (the hue blender among them) split pixels by the 24-bit
    // shifts; the driver sets only the 32-bit ones. Both layouts are red << 16 | green << 8 | blue,
    // as on the headless host.
    _rgb_r_shift_24 = _rgb_r_shift_32;
    _rgb_g_shift_24 = _rgb_g_shift_32;
    _rgb_b_shift_24 = _rgb_b_shift_32;
    return true;
}

}  // namespace

bool LiveHost::init(const ScreenChoice& choice, std::string& error)
{
    // Without a reachable display the later calls would crash inside Allegro: test first.
    live_platform::before_init();
    if (allegro_init() != 0) {
        error = live_platform::init_failure();
        return false;
    }
    int dw = 0, dh = 0;
    if (get_desktop_resolution(&dw, &dh) != 0 || dw <= 0 || dh <= 0) {
        dw = 640;
        dh = 480;
    }
    const int k = chosen_scale(choice, dw, dh, error);
    const int sw = choice.window ? 640 * k : dw, sh = choice.window ? 480 * k : dh;
    if (k == 0 || !open_screen(choice.window, sw, sh, desktop_color_depth(), error)) {
        allegro_exit();
        return false;
    }
    fullscreen_ = !choice.window;
    scale_ = k;
    left_ = (SCREEN_W - 640 * k) / 2;
    top_ = (SCREEN_H - 480 * k) / 2;
    clear_to_color(screen, 0);
    set_window_title("stream8");
    set_close_button_callback(on_close_button);
    install_timer();
    // Without the keyboard nothing could end a full-screen show early: it does not start.
    if (install_keyboard() != 0) {
        error = std::string("cannot read the keyboard") +
                (allegro_error[0] ? std::string(": ") + allegro_error : std::string());
        allegro_exit();
        return false;
    }
    install_mouse();
    if (const char* path = std::getenv("STREAM8_PHASE_LOG"))
        phase_log_.open(path);
    if (const char* path = std::getenv("STREAM8_FRAME_LOG"))
        frame_log_.open(path);
    return true;
}

long LiveHost::owed()
{
    const long n = ticks_elapsed() - taken_;
    if (n > 0)
        phase_log_.end_wait();
    else
        phase_log_.poll_found_nothing();
    return n;
}

void LiveHost::note_phase_end()
{
    phase_log_.phase_ends(ticks_elapsed() - taken_);
}

void LiveHost::clear_owed()
{
    // What is forgotten here was owed at the end of the phase before.
    note_phase_end();
    taken_ = ticks_elapsed();
}

double LiveHost::seconds_since_tick() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tick_start_).count();
}

void LiveHost::log_phase(const char* name)
{
    phase_log_.moment(name, seconds_since_tick());
}

void LiveHost::begin_phase(Phase phase)
{
    if (ticking_) {
        note_phase_end();
        if (phase != phase_)
            phase_log_.account(phase_, ticking_);
    }
    phase_ = phase;
    phase_iteration_ = 0;
    log_phase(phase_name(phase));
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
                             std::chrono::steady_clock::now() - tick_start_)
                             .count();
    return TickClock::ticks_at(us);
}

std::chrono::steady_clock::time_point LiveHost::tick_time(long n) const
{
    return tick_start_ + std::chrono::microseconds(TickClock::due_at(n));
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
    phase_log_.end_wait();
    const long owed_now = ticks_elapsed() - taken_;
    if (ticking_ && owed_now <= 1) {
        const auto due = tick_time(ticks_elapsed()) + kPresentDelay;
        if (std::chrono::steady_clock::now() < due) {
            phase_log_.begin_present_wait();
            std::this_thread::sleep_until(due);
            phase_log_.end_present_wait(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - due).count());
        }
    } else if (ticking_) {
        phase_log_.late_present();
    }
    phase_log_.presented(owed_now);
    phase_iteration_++;
    if (frame_log_.is_open())
        frame_log_.frame(phase_, phase_iteration_, frame, seconds_since_tick());
    live_platform::present(frame, scale_, left_, top_);
}

void LiveHost::pass(BITMAP*)
{
    phase_iteration_++;
}

bool LiveHost::esc_held()
{
    // Closing the window is Esc held.
    const bool held = key[KEY_ESC] != 0 || close_requested;
    if (held && !esc_logged_) {
        esc_logged_ = true;
        phase_log_.account(phase_, ticking_);
        log_phase("esc");
    }
    return held;
}

void LiveHost::deinit()
{
    clear_keybuf();
    // An early end: the music fades to silence in the mixer instead of stopping mid-note when
    // the sound shuts down. (The stream is the mixer's only voice.)
    if (stream_)
        gain_.start_ramp();
}

void LiveHost::set_windowed_mode()
{
    set_gfx_mode(GFX_AUTODETECT_WINDOWED, 640, 480, 0, 0);
    if (fullscreen_)
        log_phase("released");
    fullscreen_ = false;
}

void LiveHost::finish()
{
    // The screen and the keyboard go back at once; the sound's last moments need no screen.
    if (fullscreen_) {
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
        fullscreen_ = false;
        log_phase("released");
    }
    if (!stream_)
        return;
    // What the driver has already mixed plays out, then the ramped, silent stream: fed, not
    // stopped, until the sound that leaves the machine is silence.
    play_out_and_stop(kDrainMs);
}

void LiveHost::play_out_and_stop(long ms)
{
    // The stream holds two buffers: once a third wholly silent one has gone in after the ramp,
    // everything it held before has played. On a busy machine the driver takes its buffers late,
    // so that count, not the time, decides; the time (at least `ms`, at most two seconds) only
    // bounds a stream that never takes another buffer.
    const auto start = std::chrono::steady_clock::now();
    const auto cap = std::chrono::milliseconds(2000);
    const auto least = std::chrono::milliseconds(ms);
    for (;;) {
        feed_stream();
        const auto spent = std::chrono::steady_clock::now() - start;
        if (spent >= cap || (silent_buffers_ >= 3 && spent >= least) ||
            (!gain_.ramping() && spent >= least))
            break;
        rest(1);
    }
    stop_audio_stream(stream_);
    stream_ = nullptr;
}

void LiveHost::report_fatal(const std::string& message)
{
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    fullscreen_ = false;
    // A terminal user reads standard error; a desktop user gets the refusal's window.
    std::fprintf(stderr, "stream8: %s\n", message.c_str());
    show_refusal_dialog("stream8: " + message);
}

void LiveHost::start_music(const std::vector<int16_t>& track, const std::string& module_path,
                           const std::string& problem)
{
    // The music is the mixer's only voice: play it at full scale instead of the library's default
    // of half, which leaves room for a second voice the show never has.
    set_volume_per_voice(0);
    // The drivers Allegro tries print their own complaints when there is no sound device; the
    // show says it in one line of its own below.
    bool sound;
    {
        live_platform::QuietStderr quiet;
        sound = install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr) == 0;
    }
    // The track the probe's child rendered: this process never plays the module file itself.
    // One stereo voice of 16-bit samples at volume 255, centred, as the recorder's level assumes.
    if (!track.empty() && sound && digi_card != DIGI_NONE) {
        track_ = &track;
        // It starts silent; the show's first poll (the main loop's first frame) starts the music.
        stream_ = play_audio_stream(kStreamBuffer, 16, TRUE, kSampleRate, 255, 128);
    }
    // The show runs on in silence with unchanged timing; say why, naming a bad module whether or
    // not a sound device opened.
    if (track.empty())
        std::fprintf(stderr, "stream8: %s: cannot load the module%s; the show runs silent\n",
                     module_path.c_str(), problem.empty() ? "" : (" (" + problem + ")").c_str());
    if (!sound)
        std::fprintf(stderr, "stream8: no sound driver (%s); the show runs silent\n",
                     allegro_error);
    else if (digi_card == DIGI_NONE)
        std::fprintf(stderr,
                     "stream8: no sound device could be opened; the show runs without sound\n");
    else if (!track.empty() && !stream_)
        std::fprintf(stderr, "stream8: cannot start the music stream; the show runs silent\n");
}

void LiveHost::feed_stream()
{
    while (void* buffer = get_audio_stream_buffer(stream_)) {
        // The stream takes unsigned samples: silence is 0x8000.
        uint16_t* out = static_cast<uint16_t*>(buffer);
        if (gain_.silent())
            silent_buffers_++;
        // Before the main loop's first poll the music has not begun: an early end plays silence.
        const long have = playing_ ? static_cast<long>(track_->size() / 2) : 0;
        for (long i = 0; i < kStreamBuffer; i++, track_pos_ += playing_ ? 1 : 0) {
            // A new gain is reached in equal steps over the buffer, never in one.
            const float gain = gain_.next(i, kStreamBuffer);
            for (int side = 0; side < 2; side++) {
                int s =
                    track_pos_ < have ? (*track_)[2 * static_cast<size_t>(track_pos_) + side] : 0;
                if (gain != 1.0f)
                    s = static_cast<int>(s * gain);
                out[2 * i + side] = static_cast<uint16_t>(s + 0x8000);
            }
        }
        free_audio_stream_buffer(stream_);
        gain_.buffer_fed();
    }
}

void LiveHost::poll_music()
{
    if (stream_) {
        playing_ = true;
        feed_stream();
    }
}

void LiveHost::set_music_volume(float volume)
{
    gain_.set_volume(volume);
}

void LiveHost::end_music()
{
    note_phase_end();
    phase_log_.account(phase_, ticking_);
    log_phase("end");
    if (!stream_)
        return;
    // The stream holds two buffers of 4096 frames, 85 ms each, still at the fade's last gain.
    // What follows ramps from it to silence; fed for three buffers' time, then stopped: the
    // sound ends in silence.
    gain_.start_ramp();
    play_out_and_stop(3 * kStreamBuffer * 1000 / kSampleRate);
}
