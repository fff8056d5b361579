// The main loop's fixed timeline: which scene draws the frame with a given `laiskuri`.
#pragma once

// Scene 0..5 for main-loop frames 1..2099; 6 (the ending) from 2100 on; -1 below 1. Follows the
// sequencer's switch rules and the Julia zoom ending itself after 160, 6 and 1 frames.
int scene_of_loop_frame(long laiskuri);

// Short names of the scenes 0..5, for tables.
const char* scene_name(int scene);
