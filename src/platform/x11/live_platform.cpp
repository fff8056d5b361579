#include "platform/live_platform.h"

#include <allegro.h>
#include <xalleg.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "raster/raster.h"

// The X11 driver's own update of a screen area from its frame buffer (exported by the library,
// declared only in its private headers): after rows are written straight into the screen.
extern "C" void _xwin_update_screen(int x, int y, int w, int h);

namespace live_platform {

void present(BITMAP* frame, int k, int left, int top)
{
    // The frame goes straight into the driver's screen buffer, scaled, and that area is sent to
    // the X server at once; under the display lock, with the connection synced, the whole frame
    // is on the server before this returns. (Left to itself, the driver's background thread
    // flushes every 20 ms or so, and a flush during a copy shows bands of two frames.)
    XLOCK();
    raster::scale_blit(frame, screen, k, left, top);
    _xwin_update_screen(left, top, 640 * k, 480 * k);
    XSync(_xwin.display, False);
    XUNLOCK();
}

std::string init_failure()
{
    // Allegro leaves its error text empty when X cannot be reached: say what was tried.
    const char* display = std::getenv("DISPLAY");
    std::string error =
        display && *display
            ? std::string("cannot open the display '") + display + "' named by DISPLAY"
            : std::string("cannot open a display: DISPLAY is not set");
    if (allegro_error[0])
        error += std::string("; ") + allegro_error;
    return error;
}

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
    saved_ = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 2);
        close(null);
    }
}

QuietStderr::~QuietStderr()
{
    std::fflush(stderr);
    if (saved_ >= 0) {
        dup2(saved_, 2);
        close(saved_);
    }
}

bool connect_console()
{
    return true;  // standard output and error are the terminal's, a file's or a pipe's
}

std::string program_path()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

int open_thread_schedstat()
{
    return open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
}

void thread_queued_seconds(int fd, double& seconds)
{
    char buf[128];
    const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    unsigned long long run = 0, delay = 0;
    if (n > 0) {
        buf[n] = 0;
        if (std::sscanf(buf, "%llu %llu", &run, &delay) == 2)
            seconds = static_cast<double>(delay) * 1e-9;
    }
}

void before_init()
{}

}  // namespace live_platform
