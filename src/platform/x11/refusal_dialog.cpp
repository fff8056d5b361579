#include "platform/refusal_dialog.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

const char* const kDialogVariable = "STREAM8_REFUSAL_DIALOG";

namespace {

// `text` in lines of at most `width` characters, broken at spaces where it can be.
std::vector<std::string> wrap(const std::string& text, size_t width)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.size(), at + width);
        if (end < text.size()) {
            const size_t space = text.rfind(' ', end);
            if (space != std::string::npos && space > at)
                end = space;
        }
        lines.push_back(text.substr(at, end - at));
        at = end;
        while (at < text.size() && text[at] == ' ')
            at++;
    }
    return lines;
}

}  // namespace

int run_refusal_dialog(const std::string& message)
{
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 1;
    const int screen = DefaultScreen(d);
    XFontStruct* font = XLoadQueryFont(d, "fixed");
    const int char_w = font ? font->max_bounds.width : 6;
    const int line_h = font ? font->ascent + font->descent + 2 : 15;
    const int ascent = font ? font->ascent : 11;
    std::vector<std::string> lines = wrap(message, 72);
    lines.push_back("");
    lines.push_back("Press any key or click to close.");
    size_t longest = 0;
    for (const std::string& l : lines)
        longest = std::max(longest, l.size());
    const int margin = 16;
    const int w = static_cast<int>(longest) * char_w + 2 * margin;
    const int h = static_cast<int>(lines.size()) * line_h + 2 * margin;
    const int x = std::max(0, (DisplayWidth(d, screen) - w) / 2);
    const int y = std::max(0, (DisplayHeight(d, screen) - h) / 2);
    const Window win = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, w, h, 1,
                                           BlackPixel(d, screen), WhitePixel(d, screen));
    XStoreName(d, win, "stream8: cannot start");
    XClassHint hint{const_cast<char*>("stream8"), const_cast<char*>("stream8")};
    XSetClassHint(d, win, &hint);
    XSizeHints size{};
    size.flags = PPosition | PSize | PMinSize | PMaxSize;
    size.x = x;
    size.y = y;
    size.width = size.min_width = size.max_width = w;
    size.height = size.min_height = size.max_height = h;
    XSetWMNormalHints(d, win, &size);
    Atom close = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, win, &close, 1);
    XSelectInput(d, win, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
    GC gc = XCreateGC(d, win, 0, nullptr);
    XSetForeground(d, gc, BlackPixel(d, screen));
    if (font)
        XSetFont(d, gc, font->fid);
    XMapRaised(d, win);
    for (bool open = true; open;) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
        case Expose:
            if (e.xexpose.count == 0)
                for (size_t i = 0; i < lines.size(); i++)
                    XDrawString(d, win, gc, margin, margin + ascent + static_cast<int>(i) * line_h,
                                lines[i].c_str(), static_cast<int>(lines[i].size()));
            break;
        case KeyPress:
        case ButtonPress:
        case DestroyNotify:
            open = false;
            break;
        case ClientMessage:
            open = static_cast<Atom>(e.xclient.data.l[0]) != close;
            break;
        default:
            break;
        }
    }
    XFreeGC(d, gc);
    if (font)
        XFreeFont(d, font);
    XDestroyWindow(d, win);
    XCloseDisplay(d);
    return 0;
}

bool show_refusal_dialog(const std::string& message)
{
    const char* display = std::getenv("DISPLAY");
    if (isatty(STDERR_FILENO) || !display || !*display || std::getenv("STREAM8_NO_DIALOG"))
        return false;
    std::fflush(nullptr);
    // A grandchild, so the window outlives this process and nothing waits on it. It runs this
    // program afresh (a process with threads may fork only to exec), which shows the window.
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            setenv(kDialogVariable, message.c_str(), 1);
            char name[] = "stream8";
            char* argv[] = {name, nullptr};
            execv("/proc/self/exe", argv);
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}
