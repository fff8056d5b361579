#include "frame/headless_host.h"

#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

void start_headless_allegro(int depth)
{
    static bool started = false;
    if (!started) {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        started = true;
    }
    _rgb_r_shift_32 = 16;
    _rgb_g_shift_32 = 8;
    _rgb_b_shift_32 = 0;
    _rgb_r_shift_24 = 16;
    _rgb_g_shift_24 = 8;
    _rgb_b_shift_24 = 0;
    set_color_depth(depth);
}

HeadlessHost::HeadlessHost(int depth)
{
    start_headless_allegro(depth);
}

bool HeadlessHost::has(Event e) const
{
    return std::find(events.begin(), events.end(), e) != events.end();
}

void HeadlessHost::add_ticks(double n)
{
    tick_debt_ += n;
    while (tick_debt_ >= 1.0) {
        tick_debt_ -= 1.0;
        ticks++;
        owed_ticks++;
    }
}

void HeadlessHost::install_tick()
{
    events.push_back(Event::InstallTick);
}

void HeadlessHost::idle()
{
    idles++;
    add_ticks(1.0);
}

void HeadlessHost::begin_phase(Phase p)
{
    phase = p;
    phase_presents = 0;
    if (p == Phase::Loop)
        in_loop = true;
}

void HeadlessHost::present(BITMAP* frame)
{
    presents++;
    phase_presents++;
    shown = true;
    if (on_present)
        on_present(frame, phase, phase_presents);
    add_ticks(ticks_per_present);
}

void HeadlessHost::pass(BITMAP* frame)
{
    passes++;
    phase_presents++;
    shown = false;
    if (on_present)
        on_present(frame, phase, phase_presents);
}

bool HeadlessHost::esc_held()
{
    esc_tests++;
    return esc && esc(*this);
}

void HeadlessHost::report_fatal(const std::string& message)
{
    events.push_back(Event::Fatal);
    fatal_message = message;
}

void HeadlessHost::start_music(const std::string& module_path, const std::string& probe_fault)
{
    events.push_back(Event::MusicStart);
    music_path = module_path;
    music_fault = probe_fault;
}

void HeadlessHost::poll_music()
{
    polls++;
    if (!in_loop)
        polls_outside_loop++;
}
