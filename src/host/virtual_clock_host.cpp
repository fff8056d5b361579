#include "host/virtual_clock_host.h"

VirtualClockHost::VirtualClockHost(int depth)
{
    start_headless_allegro(depth);
}

void VirtualClockHost::advance(double ticks)
{
    const long arrived = clock_.advance(ticks);
    ticks_ += arrived;
    owed_ += arrived;
}

void VirtualClockHost::begin_phase(Phase phase)
{
    phase_ = phase;
    phase_iteration_ = 0;
    if (phase == Phase::Loop)
        in_loop_ = true;
}

void VirtualClockHost::present(BITMAP* frame)
{
    presents_++;
    phase_iteration_++;
    after_iteration(frame, true);
}

void VirtualClockHost::pass(BITMAP* frame)
{
    phase_iteration_++;
    after_iteration(frame, false);
}
