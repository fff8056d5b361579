// What the live host needs of its system beyond Allegro: getting a drawn frame onto the display,
// keeping the sound drivers' own complaints off standard error, where the program file is, and a
// message a desktop user sees. One implementation per system (live_platform_x11.cpp,
// live_platform_windows.cpp).
#pragma once
#include <string>

struct BITMAP;

namespace live_platform {

// Puts `frame` on Allegro's screen, each pixel a k x k block with its top-left corner at
// (left, top), and makes it visible before returning.
void present(BITMAP* frame, int k, int left, int top);
// Why allegro_init() failed, in words for the user.
std::string init_failure();
// While one lives, what the library writes to standard error goes nowhere.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};
// The running program's file; empty when the system cannot tell.
std::string program_path();
// A start-up failure for a desktop user who has no terminal: a message box where the system's
// programs have no console (Windows); nothing elsewhere (standard error says it there).
void show_message(const std::string& message);

}  // namespace live_platform
