// Node's wasm runs no other processes. Starting a helper program (the recorder's video encoder)
// fails with ENOSYS, which the recorder reports as for a program that cannot be run; the
// descriptor rules that keep a child's pipes off the standard descriptors have nothing to guard.
#include <errno.h>
#include <spawn.h>
#include <unistd.h>

#include "sandbox/descriptors.h"

extern "C" int posix_spawnp(pid_t*, const char*, const posix_spawn_file_actions_t*,
                            const posix_spawnattr_t*, char* const[], char* const[])
{
    return ENOSYS;
}

bool high_pipe(int fds[2])
{
    return pipe(fds) == 0;
}

void null_standard_fds(bool)
{}
