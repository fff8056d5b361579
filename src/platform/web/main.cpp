// The show in a web page: page.js starts this module as soon as its files are in, with the show's
// data in /ruvo. The pictures are checked and decoded before anything else, as on the desktop, and
// the drawing warmed up; then it waits for the viewer's click, the show runs to its end on the
// browser's host, and the page is told how it ended.
#include <emscripten.h>

#include <string>

#include "platform/web/warm_up.h"
#include "platform/web/web_host.h"
#include "show/probe.h"
#include "show/show.h"

EM_JS(int, page_test_mode, (), { return Module.page.test ? 1 : 0; });
EM_JS(void, page_done, (int status), { Module.page.done(status); });
// Returns when the viewer has started the show.
EM_ASYNC_JS(void, page_wait_for_start, (), { await Module.page.whenStarted(); });

int main()
{
    const std::string data_dir = "/ruvo";
    static WebHost host(page_test_mode() != 0);
    // No process to fork here: the probe runs in this one (the browser's sandbox is the
    // boundary), its checks before any decoder; it decodes the pictures and renders the music
    // from the module's checked bytes, as on the desktop.
    const ProbeResult probe = probe_show_data(data_dir);
    int status = 1;
    if (!probe.refusal().empty()) {
        host.report_fatal("cannot start: " + probe.refusal());
    } else {
        warm_up_drawing(host);
        page_wait_for_start();
        status = run_show(host, data_dir, probe);
    }
    host.finish();
    page_done(status);
    return status;
}
