#include "frame/tick.h"

std::atomic<int> speed_counter{0};

void increment_speed_counter()
{
    speed_counter.fetch_add(1);
}
