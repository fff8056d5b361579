// Render-time statistics of a group of frames.
#pragma once
#include <string>
#include <vector>

#include "host/timing.h"

struct FrameTimes {
    std::string name;
    std::vector<double> ms;    // CPU time of the rendering thread for each frame, in milliseconds
    std::vector<double> wall;  // wall-clock time of each frame, in milliseconds
    std::string worst_label;   // the frame with the most CPU time
    double worst = -1;

    void add(double cpu_ms, double wall_ms, const std::string& label);
};

struct TimeSummary {
    long count = 0;
    double median = 0, p99 = 0, max = 0, total = 0;
    long over_tick = 0;  // frames slower than the tick
};

// The 59 Hz tick in milliseconds.
constexpr double kTickMs = kTickPeriod * 1000.0 / kTimerHz;

// Median (mean of the middle two for an even count) and 99th percentile by nearest rank.
TimeSummary summarize(std::vector<double> ms);
