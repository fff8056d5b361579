// The ending: credits written into textBitmap, then 900 passes of blur, block letters and fade.
#pragma once

struct Show;

// Runs the pause and the fade and leaves the program; returns main's result (0).
int run_ending(Show& s);
