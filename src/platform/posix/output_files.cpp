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
    if (!S_ISREG(st.st_mode))
        return std::string("it exists and is not a regular file (") +
               (S_ISFIFO(st.st_mode)   ? "a FIFO"
                : S_ISSOCK(st.st_mode) ? "a socket"
                                       : "a device") +
               "); it is left alone";
    if (access(out.c_str(), W_OK) != 0 || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        return "the file is read-only; it is left alone";
    return {};
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
