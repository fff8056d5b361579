#include "platform/partial_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/partial_file_detail.h"

namespace fs = std::filesystem;
using namespace partial_file_detail;

namespace {

// Locks `fd` for its maker; false when what it names was removed before the lock was taken (by a
// writer that took it for a leftover in between).
bool lock_made(int fd)
{
    struct stat st;
    return flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0;
}

// The mode of a file that replaces `path`: an existing file's own, else what the umask allows.
mode_t replacing_mode(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
#if defined(__EMSCRIPTEN__)
    return 0644;  // wasm keeps a umask of its own (0777), not the user's
#endif
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
}

void sync_directory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool PartialFile::open(const std::string& path, std::string& error,
                       std::vector<std::string>* removed)
{
    abandon();
    if (!take_target(path, error))
        return false;
    std::error_code ec;
    if (!stream_ && fs::is_symlink(fs::symlink_status(path, ec)) && fs::exists(path, ec))
        path_ = fs::canonical(path, ec).string();  // the file the link names is replaced
    const std::string dir = stream_ ? stream_scratch_directory() : directory_of(path_);
    std::vector<std::string> gone;
    remove_unlocked_leftovers(dir, "", removed ? *removed : gone);
    for (int attempt = 0; attempt < 10; attempt++) {
        std::string temp = (fs::path(dir) / (kPartialPrefix + "XXXXXX")).string();
        const int fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        if (lock_made(fd)) {
            fchmod(fd, replacing_mode(path_));
            fd_ = fd;
            temp_ = temp;
            return true;
        }
        ::close(fd);
    }
    error = "cannot write " + path + ": its temporary file keeps being removed";
    return false;
}

bool PartialFile::commit(std::string& error)
{
    if (fd_ < 0) {
        error = "cannot write " + path_ + ": it is not open";
        return false;
    }
    if (stream_)
        return commit_stream(error);
    if (fsync(fd_) != 0 || rename(temp_.c_str(), path_.c_str()) != 0) {
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    ::close(fd_);
    fd_ = -1;
    temp_.clear();
    sync_directory(directory_of(path_));
    return true;
}

void PartialFile::abandon()
{
    if (!temp_.empty())
        unlink(temp_.c_str());
    temp_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool partial_file_detail::remove_if_unlocked(const std::string& path, bool file)
{
#if defined(__EMSCRIPTEN__)
    // wasm's flock always succeeds: every file would look unlocked, a live writer's included
    // (this process's own other outputs). Leftovers stay where locks cannot tell them apart.
    return false;
#endif
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || st.st_uid != geteuid() ||
        (file ? !S_ISREG(st.st_mode) : !S_ISDIR(st.st_mode)))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                                            (file ? 0 : O_DIRECTORY));
    if (fd < 0)
        return false;
    bool gone = false;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {  // no writer holds it: its writer was killed
        std::error_code rm;
        if (file)
            fs::remove(path, rm);
        else
            fs::remove_all(path, rm);
        gone = !rm;
    }
    ::close(fd);
    return gone;
}

bool LockedDirectory::make(const std::string& parent, const std::string& prefix)
{
    remove();
    for (int attempt = 0; attempt < 10; attempt++) {
        std::string dir = (fs::path(parent) / (prefix + "XXXXXX")).string();
        if (!mkdtemp(dir.data()))
            return false;
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && lock_made(fd)) {
            fd_ = fd;
            path_ = dir;
            return true;
        }
        if (fd >= 0)
            ::close(fd);
    }
    errno = EAGAIN;
    return false;
}

void LockedDirectory::remove()
{
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    path_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
