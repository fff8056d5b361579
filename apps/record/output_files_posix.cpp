#include "record/output_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace output_files {
namespace {
// When this process started, in seconds since the epoch (now, when /proc cannot tell).
double process_start_time()
{
    std::ifstream self("/proc/self/stat");
    std::string stat_line;
    std::getline(self, stat_line);
    std::ifstream proc_stat("/proc/stat");
    long long boot = -1;
    for (std::string key; proc_stat >> key;) {
        if (key == "btime") {
            proc_stat >> boot;
            break;
        }
        proc_stat.ignore(1 << 20, '\n');
    }
    const size_t paren = stat_line.rfind(')');
    if (paren == std::string::npos || boot < 0)
        return static_cast<double>(std::time(nullptr));
    // After the command name: the state is field 3 and the start time (in clock ticks since boot)
    // field 22.
    std::istringstream fields(stat_line.substr(paren + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; i++) {
    }
    const double ticks = std::strtod(field.c_str(), nullptr);
    return static_cast<double>(boot) + ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The mode of the finished video: an existing file's own, else what the umask allows.
mode_t video_mode(const std::string& out)
{
    struct stat st;
    if (stat(out.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
}
}  // namespace

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
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

long process_id()
{
    return static_cast<long>(getpid());
}

bool stale_leftover(const std::string& path, long pid, bool directory)
{
    static const double started = process_start_time();
    struct stat st;
    if (pid == getpid() || lstat(path.c_str(), &st) != 0)
        return false;
    if ((directory ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) || st.st_uid != geteuid())
        return false;
    if (static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9 >= started)
        return false;
    // Still running (or someone else's process under that pid)?
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool make_unique_directory(std::string& name)
{
    return mkdtemp(name.data()) != nullptr;
}

bool make_unique_file(std::string& name, const std::string& like)
{
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    fchmod(fd, video_mode(like));
    ::close(fd);
    return true;
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
               (S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device") +
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

void sync_directory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

}  // namespace output_files
