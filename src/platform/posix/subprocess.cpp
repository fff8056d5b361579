#include "platform/subprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "sandbox/descriptors.h"

extern char** environ;

Subprocess::~Subprocess()
{
    if (pid_ > 0)
        finish();
}

bool Subprocess::start(const std::vector<std::string>& argv, bool pipe_stdin,
                       const std::string& log_path, std::string& error)
{
    // A helper that dies must show up as a failed write, not as a signal that ends us silently.
    std::signal(SIGPIPE, SIG_IGN);

    // Above the standard descriptors: with our standard input closed, a plain pipe would take
    // fd 0 and the dup2 below would close it.
    int in[2] = {-1, -1};
    if (pipe_stdin && !high_pipe(in)) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (pipe_stdin) {
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_addclose(&fa, in[0]);
        posix_spawn_file_actions_addclose(&fa, in[1]);
    } else {
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&fa, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (pipe_stdin)
        close(in[0]);
    if (rc != 0) {
        if (pipe_stdin)
            close(in[1]);
        error = "cannot run '" + argv[0] + "': " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    fd_ = pipe_stdin ? in[1] : -1;
    return true;
}

bool Subprocess::write(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Subprocess::finish()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (pid_ <= 0)
        return false;
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (got < 0) {
        // Without its status the child's work cannot be trusted.
        ended_ = std::string("lost (") + std::strerror(errno) + ")";
        return false;
    }
    if (WIFEXITED(status))
        ended_ = "exit status " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        ended_ = "killed by signal " + std::to_string(WTERMSIG(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
