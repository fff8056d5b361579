// The show's 59 Hz clock.
#pragma once

// 1193181 / 59 with integer division: Allegro's BPS_TO_TIMER(59).
constexpr long kTickPeriod = 20223;
