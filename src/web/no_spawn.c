/* Node's wasm has no processes: starting a helper program (the recorder's video encoder) fails with
   ENOSYS, which the recorder reports as for a program that cannot be run. */
#include <errno.h>
#include <spawn.h>

int posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                 const posix_spawnattr_t* attr, char* const argv[], char* const envp[])
{
    (void)pid, (void)file, (void)actions, (void)attr, (void)argv, (void)envp;
    return ENOSYS;
}
