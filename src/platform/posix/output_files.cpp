#include "platform/output_files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace output_files {

bool disk_full(const std::string& dir)
{
    struct statvfs fs_info;
    return statvfs(dir.c_str(), &fs_info) == 0 && fs_info.f_bavail == 0;
}

bool no_space_errno(int err)
{
    return err == ENOSPC || err == EDQUOT;
}

long long file_size_limit()
{
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<long long>(limit.rlim_cur);
    return -1;
}

std::string find_program(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string output_refusal(const std::string& out)
{
    struct stat st;
    if (stat(out.c_str(), &st) != 0)
        return {};  // a new file
    if (S_ISDIR(st.st_mode))
        return "it is a directory";
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return {};  // a stream
    if (!S_ISREG(st.st_mode))
        return std::string("it is ") + (S_ISSOCK(st.st_mode) ? "a socket" : "a block device") +
               ", not a file; it is left alone";
    if (access(out.c_str(), W_OK) != 0 || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        return "the file is read-only; it is left alone";
    return {};
}

bool is_stream(const std::string& out)
{
    struct stat st;
    return stat(out.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

bool copy_to_stream(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    // A FIFO's writer waits here for its reader, as any program writing to it would.
    const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        errno = err;
        return false;
    }
    char buffer[1 << 16];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            if (ok)
                done += w;
        }
        if (!ok)
            break;
    }
    const int err = errno;
    ::close(in);
    if (::close(out) != 0 && ok)
        return false;
    errno = err;
    return ok;
}

bool sync_file(const std::string& path, long long& size)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        errno = err;
        return false;
    }
    struct stat st;
    fstat(fd, &st);
    ::close(fd);
    size = static_cast<long long>(st.st_size);
    return true;
}

}  // namespace output_files
