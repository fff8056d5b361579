// stream8: a self-running audiovisual demo. Probes its data, opens the screen, then runs the show
// to its end.
#include <allegro.h>

#include <cstdio>

#include "frame/live_host.h"
#include "show/probe.h"
#include "show/show.h"

int main()
{
    // Before the screen and the keyboard are taken: a crash in a decoder must take down only the
    // probe's child, never a process that holds the display.
    const ProbeResult probe = probe_show_data("ruvo");
    if (!probe.picture_fault.empty()) {
        const std::string message = "stream8: cannot start: " + probe.picture_fault;
        std::fprintf(stderr, "%s\n", message.c_str());
        if (allegro_init() == 0)
            allegro_message("%s\n", message.c_str());
        return 1;
    }
    static LiveHost host;
    host.init();
    return run_show(host);
}
END_OF_MAIN()
