// What the live host needs of its system beyond Allegro: getting a drawn frame onto the display,
// keeping the sound drivers' own complaints off standard error, where the program file is, and
// what the library needs before it starts. One implementation per system (x11/live_platform.cpp,
// windows/live_platform.cpp).
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
// Where the program's own text (--help, a usage fault) goes. True when standard output and
// error reach the user as they are; on Windows a program of the desktop has none, and takes the
// console of the command prompt it was started from when there is one (then true). False: only a
// window would show the text.
bool connect_console();
// The running program's file; empty when the system cannot tell.
std::string program_path();
// With the thread's scheduler statistics open (-1 where the system keeps none): the seconds the
// calling thread has waited for a CPU while ready to run; `seconds` is left alone when unread.
int open_thread_schedstat();
void thread_queued_seconds(int fd, double& seconds);
// Just before allegro_init(): leaves nothing of the library installed that would stand in the
// host's way (a headless system installed before, on Windows).
void before_init();

}  // namespace live_platform
