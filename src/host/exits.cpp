#include "host/exits.h"

#include "host/host.h"

void exit_from_frame(Host& host)
{
    host.deinit();
}

void exit_windowed_then_deinit(Host& host)
{
    host.set_windowed_mode();
    host.deinit();
}

void exit_deinit_then_windowed(Host& host)
{
    host.deinit();
    host.set_windowed_mode();
}
