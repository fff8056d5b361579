// The intro: the logo held still, then dissolved by 600 frames of jittered self-blending.
#pragma once

struct Stage;

// Installs the tick, fills the stairs bitmaps, shows the logo phase and the smear.
// Returns false when Esc ended the program during the smear (windowed exit already taken).
bool run_intro(Stage& s);
