#include "platform/live_platform.h"

#include <allegro.h>
#include <winalleg.h>

#include <io.h>

#include <cstdio>

#include "raster/raster.h"

namespace live_platform {

void present(BITMAP* frame, int k, int left, int top)
{
    // The DirectX drivers learn of a change to the screen only through the library's own drawing
    // calls: the frame is scaled into a memory bitmap, and one blit takes it to the screen.
    static BITMAP* scaled = nullptr;
    if (!scaled || scaled->w != 640 * k || scaled->h != 480 * k) {
        if (scaled)
            destroy_bitmap(scaled);
        scaled = create_bitmap_ex(32, 640 * k, 480 * k);
        if (!scaled)
            return;
    }
    raster::scale_blit(frame, scaled, k, 0, 0);
    blit(scaled, screen, 0, 0, left, top, scaled->w, scaled->h);
}

std::string init_failure()
{
    return std::string("cannot start the graphics library") +
           (allegro_error[0] ? std::string(": ") + allegro_error : std::string());
}

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
    saved_ = _dup(2);
    std::FILE* null = std::fopen("NUL", "w");
    if (null) {
        _dup2(_fileno(null), 2);
        std::fclose(null);
    }
}

QuietStderr::~QuietStderr()
{
    std::fflush(stderr);
    if (saved_ >= 0) {
        _dup2(saved_, 2);
        _close(saved_);
    }
}

bool connect_console()
{
    // Output already redirected (to a file or a pipe) stays there.
    const auto has = [](DWORD which) {
        const HANDLE h = GetStdHandle(which);
        return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
    };
    if (has(STD_OUTPUT_HANDLE) && has(STD_ERROR_HANDLE))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false;  // started from the desktop: no console to speak to
    if (!has(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (!has(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
    return true;
}

std::string program_path()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

int open_thread_schedstat()
{
    return -1;
}

void thread_queued_seconds(int, double&)
{}

void before_init()
{
    // The probe decodes the pictures in a child of its own; should anything have installed the
    // library's headless system here, a system driver left installed keeps the keyboard from
    // being acquired.
    allegro_exit();
}

}  // namespace live_platform
