#include "common/timeline.h"

namespace {
// First frame of each scene in each of the three cycles; the ending starts at 2100.
const long kStarts[3][6] = {
    {1, 160, 320, 480, 640, 800},
    {840, 960, 1120, 1280, 1440, 1446},
    {1500, 1600, 1760, 1920, 2080, 2081},
};
}  // namespace

int scene_of_loop_frame(long laiskuri)
{
    if (laiskuri < 1)
        return -1;
    if (laiskuri >= 2100)
        return 6;
    int scene = 0;
    for (const auto& cycle : kStarts)
        for (int s = 0; s < 6; s++)
            if (laiskuri >= cycle[s])
                scene = s;
    return scene;
}

const char* scene_name(int scene)
{
    static const char* const names[] = {"stairs", "plasma", "helix", "tunnel", "julia", "xortunnel",
                                        "ending"};
    return scene >= 0 && scene <= 6 ? names[scene] : "?";
}
