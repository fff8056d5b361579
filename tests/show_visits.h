// The show's scene visits over its three cycles: the scene, the cycle and the first and last
// main-loop frame of each visit, as today's show runs them (its frames are pinned by the golden
// table). Frame 2100 starts the ending.
#pragma once
#include <vector>

struct SceneVisit {
    int scene, kierros, first, last;
};

inline const std::vector<SceneVisit>& show_visits()
{
    static const std::vector<SceneVisit> visits = {
        {0, 0, 1, 159},     {1, 0, 160, 319},   {2, 0, 320, 479},   {3, 0, 480, 639},
        {4, 0, 640, 799},   {5, 0, 800, 839},   {0, 1, 840, 959},   {1, 1, 960, 1119},
        {2, 1, 1120, 1279}, {3, 1, 1280, 1439}, {4, 1, 1440, 1445}, {5, 1, 1446, 1499},
        {0, 2, 1500, 1599}, {1, 2, 1600, 1759}, {2, 2, 1760, 1919}, {3, 2, 1920, 2079},
        {4, 2, 2080, 2080}, {5, 2, 2081, 2099},
    };
    return visits;
}

constexpr int kEndingFrame = 2100;
