// The intro: the logo held still, then dissolved by 600 iterations of jittered self-blending.
#pragma once

struct Stage;

// Shows the logo phase and the smear; the tick is already running. Returns false when Esc ended
// the program (its exit already taken).
bool run_intro(Stage& s);
