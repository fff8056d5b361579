#include "platform/web/web_host.h"

#include <allegro.h>
#include <emscripten.h>

#include <cmath>

// --- The page's side (page.js hands its `page` object to the module) ---

// The page's JavaScript: the formatter would split its operators.
// clang-format off
// The page's clock in ms; it stands still while the page is hidden.
EM_JS(double, page_now, (), { return Module.page.now(); });
// The tick's length in seconds, which the page paces the sound by.
EM_JS(void, page_tick, (double seconds), { Module.page.tick(seconds); });
EM_JS(int, page_paused, (), { return Module.page.paused() ? 1 : 0; });
EM_JS(int, page_esc, (), { return Module.page.escHeld() ? 1 : 0; });
EM_JS(void, page_present, (const uint8_t* rgba, const char* log_line), {
    Module.page.present(HEAPU8.subarray(rgba, rgba + 640 * 480 * 4),
                        log_line ? UTF8ToString(log_line) : null);
});
EM_JS(void, page_phase, (const char* name, double seconds),
      { Module.page.phase(UTF8ToString(name), seconds); });
EM_JS(void, page_sound, (const int16_t* samples, long frames),
      { Module.page.sound(HEAP16.subarray(samples >> 1, (samples >> 1) + 2 * frames), frames); });
EM_JS(void, page_frame_cost, (double ms), { Module.page.frameCost(ms); });
EM_JS(void, page_late, (), { Module.page.late(); });
EM_JS(void, page_end_music, (int early), { Module.page.endMusic(early !== 0); });
EM_JS(void, page_fatal, (const char* message), { Module.page.fatal(UTF8ToString(message)); });
EM_JS(void, page_note, (const char* message), { Module.page.note(UTF8ToString(message)); });
EM_JS(void, page_sound_log, (const char* line), { Module.page.soundLog(UTF8ToString(line)); });
// clang-format on
// Lets the browser run (paint, events, audio) and comes back as soon as it has: a message
// round trip, which no timer clamp delays.
EM_ASYNC_JS(void, page_yield, (), { await Module.page.yieldNow(); });
// Sleeps `ms` of the page's time at most, waking early when a key changes.
EM_ASYNC_JS(void, page_sleep, (double ms), { await Module.page.sleep(ms); });

namespace {

// The sound log's lines reach the page rather than a file.
const char* const kSoundLogPath = "/sound-log.txt";

}  // namespace

WebHost::WebHost(bool test) : test_(test), rgba_(640 * 480 * 4)
{
    page_tick(TickClock::kSeconds);
    if (test_) {
        sound_log_ = std::make_unique<FrameLog>();
        sound_log_->open(kSoundLogPath);
    }
}

long WebHost::arrived() const
{
    if (!ticking_)
        return 0;
    const double ms = page_now() - start_ms_;
    return TickClock::ticks_at(static_cast<long long>(std::floor(ms * 1000.0)));
}

double WebHost::tick_ms(long n) const
{
    return start_ms_ + static_cast<double>(TickClock::due_at(n)) / 1000.0;
}

void WebHost::install_tick()
{
    start_ms_ = page_now();
    ticking_ = true;
}

void WebHost::take_tick()
{
    // The tick after this frame's has arrived already: the show is behind its clock. (The main
    // loop takes a frame's tick after presenting it, the holds before: both count here.)
    if (owed() > 1)
        page_late();
    taken_++;
}

void WebHost::idle()
{
    // Until the next tick is due, at most 4 ms at a time so that Esc is seen at once.
    const double left = tick_ms(taken_ + 1) - page_now();
    const double before = page_now();
    page_sleep(left < 0 ? 0 : left > 4 ? 4 : left);
    waited_ms_ += page_now() - before;
    yielded_ = true;
}

void WebHost::begin_phase(Phase phase)
{
    phase_ = phase;
    iteration_ = 0;
    if (phase == Phase::Loop)
        in_music_ = true;
    page_phase(phase_name(phase), (page_now() - start_ms_) / 1000.0);
}

void WebHost::present(BITMAP* frame)
{
    // A hidden page shows nothing: the show waits here with its clock stopped.
    while (page_paused()) {
        page_sleep(100);
        yielded_ = true;
    }
    // What drawing this frame cost: the time since the last present, less the waits.
    const double at = page_now();
    if (shown_ > 0)
        page_frame_cost(at - last_present_ms_ - waited_ms_);
    // A late machine draws the frames it owes back to back: the browser still gets to paint each.
    if (!yielded_)
        page_yield();
    yielded_ = false;
    iteration_++;
    shown_++;

    // 0x00RRGGBB pixels to the canvas's R, G, B, A bytes.
    uint8_t* out = rgba_.data();
    for (int y = 0; y < 480; y++) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(frame->line[y]);
        for (int x = 0; x < 640; x++, out += 4) {
            const uint32_t p = row[x];
            out[0] = static_cast<uint8_t>(p >> 16);
            out[1] = static_cast<uint8_t>(p >> 8);
            out[2] = static_cast<uint8_t>(p);
            out[3] = 255;
        }
    }
    std::string line;
    if (test_) {
        char hash[24];
        std::snprintf(hash, sizeof hash, " %016llx",
                      static_cast<unsigned long long>(frame_hash(frame)));
        line = std::string(phase_name(phase_)) + ":" + std::to_string(iteration_) + hash;
    }
    page_present(rgba_.data(), test_ ? line.c_str() : nullptr);

    // This frame's sound, as the recorder renders it: silence before the main loop, then the
    // module at the gain the show last set.
    const long n = samples_of_frame(shown_);
    samples_.clear();
    if (in_music_)
        audio_.render(n, volume_, samples_);
    else
        samples_.assign(static_cast<size_t>(n) * 2, 0);
    if (in_music_ && audio_.loaded())
        page_sound(samples_.data(), n);
    if (sound_log_)
        sound_log_->sound(samples_.data(), static_cast<size_t>(n));
    last_present_ms_ = page_now();
    waited_ms_ = 0;
}

bool WebHost::esc_held()
{
    const bool held = page_esc() != 0;
    if (held && !esc_logged_) {
        esc_logged_ = true;
        page_phase("esc", (page_now() - start_ms_) / 1000.0);
    }
    return held;
}

void WebHost::deinit()
{
    // An early end: the music ramps to silence instead of stopping mid-note.
    page_end_music(1);
}

void WebHost::report_fatal(const std::string& message)
{
    page_fatal(message.c_str());
}

void WebHost::start_music(const std::vector<int16_t>& track, const std::string& module_path,
                          const std::string& problem)
{
    // The track the start-up probe rendered from the module's checked bytes.
    audio_.load(track);
    if (track.empty())
        page_note(("the music cannot play (" + module_path +
                   (problem.empty() ? std::string() : ": " + problem) + "); the show runs silent")
                      .c_str());
}

void WebHost::end_music()
{
    page_phase("end", (page_now() - start_ms_) / 1000.0);
    page_end_music(0);
}

void WebHost::finish()
{
    if (!sound_log_)
        return;
    sound_log_->finish();
    sound_log_.reset();
    // Hand the lines of the hash log's sound to the page.
    if (std::FILE* f = std::fopen(kSoundLogPath, "r")) {
        char text[128];
        while (std::fgets(text, sizeof text, f)) {
            std::string line = text;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            page_sound_log(line.c_str());
        }
        std::fclose(f);
    }
}
