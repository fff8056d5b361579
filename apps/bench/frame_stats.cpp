#include "bench/frame_stats.h"

#include <algorithm>
#include <cmath>

void FrameTimes::add(double cpu_ms, double wall_ms, const std::string& label)
{
    ms.push_back(cpu_ms);
    wall.push_back(wall_ms);
    if (cpu_ms > worst) {
        worst = cpu_ms;
        worst_label = label;
    }
}

TimeSummary summarize(std::vector<double> ms)
{
    TimeSummary s;
    s.count = static_cast<long>(ms.size());
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    const size_t n = ms.size();
    s.median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    s.p99 = ms[std::max<size_t>(rank, 1) - 1];
    s.max = ms.back();
    for (double t : ms) {
        s.total += t;
        if (t > kTickMs)
            s.over_tick++;
    }
    return s;
}
