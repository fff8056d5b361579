// Descriptor rules for every child process (POSIX): a pipe to or from a child never takes one of
// the standard descriptors 0..2, which may be closed when the program starts (a pipe made then
// would land on 0 and be closed by the very dup2 that should move it).
#pragma once

// A pipe whose ends are both above 2 and close on exec. False with errno set.
bool high_pipe(int fds[2]);

// In a child: descriptors 0..2 that are closed become /dev/null, so nothing the child opens later
// lands on them. With `all`, all three become /dev/null whatever they were.
void null_standard_fds(bool all);
