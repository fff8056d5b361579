#include "spy_host.h"

#include <algorithm>

bool SpyHost::has(Event e) const
{
    return std::find(events.begin(), events.end(), e) != events.end();
}

void SpyHost::idle()
{
    idles++;
    VirtualClockHost::idle();
}

void SpyHost::present(BITMAP* frame)
{
    VirtualClockHost::present(frame);
    advance(ticks_per_present);
}

void SpyHost::after_iteration(BITMAP* frame, bool shown_now)
{
    shown = shown_now;
    if (!shown_now)
        passes++;
    if (on_iteration)
        on_iteration(frame, phase(), phase_iteration());
}

bool SpyHost::esc_held()
{
    esc_tests++;
    return esc && esc(*this);
}

void SpyHost::report_fatal(const std::string& message)
{
    events.push_back(Event::Fatal);
    VirtualClockHost::report_fatal(message);
}

void SpyHost::start_music(const std::vector<int16_t>&, const std::string& module_path,
                          const std::string& probe_fault)
{
    events.push_back(Event::MusicStart);
    music_path = module_path;
    music_fault = probe_fault;
}

void SpyHost::poll_music()
{
    polls++;
    if (!in_loop())
        polls_outside_loop++;
}
