// A refusal the user sees without a terminal: started from a desktop menu, standard error goes
// nowhere anyone reads.
#pragma once
#include <string>

// When standard error is not a terminal and an X display is there, shows `message` in a small
// window of its own (closed by a key, a click or the window manager) from a detached child
// process, so the caller can end at once; STREAM8_NO_DIALOG set in the environment turns it off.
// True when the window's process was started.
bool show_refusal_dialog(const std::string& message);

// The program started to show the window: its message in this environment variable.
extern const char* const kDialogVariable;
// Shows the window until it is dismissed; the program's status.
int run_refusal_dialog(const std::string& message);
