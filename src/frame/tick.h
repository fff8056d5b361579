// The 59 Hz tick: the timer callback and the count of frames owed.
#pragma once
#include <atomic>

// 1193181 / 59 with integer division: Allegro's BPS_TO_TIMER(59).
constexpr long kTickPeriod = 20223;

// Frames owed to the clock: the tick adds 1, every rendered frame subtracts 1, the intro and the
// ending set it to 500 and count it down. Atomic, so a tick that meets a decrement is never lost.
extern std::atomic<int> speed_counter;

// Timer callback, runs in Allegro's timer thread: adds 1 to speed_counter and nothing else.
void increment_speed_counter();
