// stream8: a self-running audiovisual demo. Opens the screen, then runs the show to its end.
#include <allegro.h>

#include "frame/live_host.h"
#include "show/show.h"

int main()
{
    static LiveHost host;
    host.init();
    return run_show(host);
}
END_OF_MAIN()
