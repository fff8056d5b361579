// The show's timing in one place: its 59 Hz clock, its sound stream, and the five stretches it
// runs through with how many iterations each draws and how many of them reach the screen. The
// hosts, the probe, the recorder and the benchmark all read it from here.
#pragma once
#include <cassert>

// --- The clock ---
// Allegro's timer runs at this many units a second.
constexpr long kTimerHz = 1193181;
// Ticks a second, so presented frames a second (one a tick), and the video's frame rate.
constexpr long kFrameRate = 59;
// 1193181 / 59 with integer division: Allegro's BPS_TO_TIMER(59). One tick, 16.9488 ms.
constexpr long kTickPeriod = kTimerHz / kFrameRate;

// The tick as every host counts it. The live host and the page read a clock of their own and ask
// which tick has arrived and when the next is due; the virtual-clock host lets its waits add up.
class TickClock {
public:
    // Seconds a tick lasts, 20223 / 1193181 (the page reads it from the module).
    static constexpr double kSeconds = static_cast<double>(kTickPeriod) / kTimerHz;
    // Ticks that have arrived `us` microseconds after the clock started (the first one at 0).
    static constexpr long ticks_at(long long us)
    {
        return static_cast<long>(us * kTimerHz / (kTickPeriod * 1000000LL));
    }
    // The first whole microsecond after the start at which tick `n` has arrived.
    static constexpr long long due_at(long n)
    {
        return (n * kTickPeriod * 1000000LL + kTimerHz - 1) / kTimerHz;
    }
    // Virtual time: `ticks` more pass (fractions add up across calls); the whole ticks that
    // arrived with them.
    long advance(double ticks)
    {
        long arrived = 0;
        fraction_ += ticks;
        while (fraction_ >= 1.0) {
            fraction_ -= 1.0;
            arrived++;
        }
        return arrived;
    }

private:
    double fraction_ = 0;
};

// --- The music stream ---
constexpr long kSampleRate = 48000;
constexpr long kStreamBuffer = 4096;  // frames of one of the player's buffers

// --- The stretches of the show ---
enum class Phase { Logo, Smear, Loop, Pause, Fade };
constexpr int kPhaseCount = 5;

// "logo", "smear", "loop", "pause", "fade": how frames are named (`loop:160`) and logged.
inline const char* phase_name(Phase phase)
{
    static const char* const names[kPhaseCount] = {"logo", "smear", "loop", "pause", "fade"};
    const int index = static_cast<int>(phase);
    assert(index >= 0 && index < kPhaseCount);
    return names[index];
}

// The smear and the fade draw two iterations a tick; the second of each pair is shown.
constexpr long kIterationsPerTick = 2;
constexpr long kSmearIterations = 600;
constexpr long kLoopFrames = 2099;  // one frame a tick
constexpr long kFadeIterations = 900;

// The still logo and the credits' pause count down as on a machine whose present takes 5 ms: a
// counter starts at 500, falls one per present and rises one per tick; presents come every 5 ms
// of show time, the stretch ends when the counter is no longer positive, and at each tick the
// screen shows the latest present. The first present falls on the stretch's first tick.
class HoldCounter {
public:
    static constexpr long kStart = 500;
    static constexpr long kPresentMs = 5;

    // True while the counter is positive: the iteration `iteration()` runs.
    constexpr bool running() const { return count() > 0; }
    // The counter as this iteration reads it.
    constexpr long count() const { return kStart - (i_ - 1) + ticks_through(i_); }
    // 1-based.
    constexpr long iteration() const { return i_; }
    // True when this iteration's present is the latest at some tick: the one the screen shows.
    constexpr bool shown() const
    {
        assert(running());
        return ticks_before(i_ + 1) > ticks_before(i_);
    }
    // This iteration's present is done: 5 ms of show time pass. Only a running stretch steps on.
    constexpr void next()
    {
        assert(running());
        i_++;
    }

private:
    // Show time of iteration i's present, in units of 1/(kTimerHz * 1000) s.
    static constexpr long long at(long i)
    {
        // In 64 bits: long is 32 bits on some targets (wasm, 64-bit Windows).
        return static_cast<long long>(i - 1) * kPresentMs * kTimerHz;
    }
    static constexpr long long tick_units() { return kTickPeriod * 1000LL; }
    // Ticks after the first that have arrived by iteration i's present.
    static constexpr long ticks_through(long i) { return static_cast<long>(at(i) / tick_units()); }
    // Ticks (the first included) strictly before iteration i's present.
    static constexpr long ticks_before(long i)
    {
        return static_cast<long>((at(i) + tick_units() - 1) / tick_units());
    }
    long i_ = 1;
};

// Iterations and shown frames of a held stretch: 708 and 209.
constexpr long hold_iterations()
{
    HoldCounter h;
    while (h.running())
        h.next();
    return h.iteration() - 1;
}
constexpr long hold_shown()
{
    long shown = 0;
    for (HoldCounter h; h.running(); h.next())
        shown += h.shown() ? 1 : 0;
    return shown;
}
constexpr long kHoldIterations = hold_iterations();
constexpr long kHoldShown = hold_shown();

// Iterations each stretch draws when the show runs to its end, shown or not: a frame's number
// within its phase runs from 1 to this.
constexpr long phase_iterations(Phase p)
{
    return p == Phase::Logo || p == Phase::Pause ? kHoldIterations
           : p == Phase::Smear                   ? kSmearIterations
           : p == Phase::Loop                    ? kLoopFrames
                                                 : kFadeIterations;
}
// Frames each stretch puts on the screen, one a tick.
constexpr long phase_ticks(Phase p)
{
    return p == Phase::Logo || p == Phase::Pause ? kHoldShown
           : p == Phase::Loop                    ? kLoopFrames
                                                 : phase_iterations(p) / kIterationsPerTick;
}

// Ticks from the main loop's first frame to the end: the stretch of music the show plays.
constexpr long kMusicTicks =
    phase_ticks(Phase::Loop) + phase_ticks(Phase::Pause) + phase_ticks(Phase::Fade);
