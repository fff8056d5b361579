// Ways out of the program from inside the show, each in the order the show takes them. The
// caller returns at once; the program then ends with status 0.
#pragma once

class Host;

void exit_from_frame(Host& host);            // Esc in a scene or the fade: deinit, no mode change
void exit_windowed_then_deinit(Host& host);  // Esc in the smear, and the completed ending
void exit_deinit_then_windowed(Host& host);  // Esc while the main loop waits for a tick
