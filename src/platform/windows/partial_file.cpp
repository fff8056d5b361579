// Windows: what a writer holds open without sharing deletion cannot be renamed or removed by
// another process, which is the lock. A leftover of a killed writer is held by nobody.
#include "platform/partial_file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/partial_file_detail.h"

namespace fs = std::filesystem;
using namespace partial_file_detail;

namespace {

std::string unique_name(const std::string& dir, const std::string& prefix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned seed = static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 16));
    std::string name = prefix;
    for (int i = 0; i < 6; i++) {
        seed = seed * 1103515245u + 12345u;
        name += letters[(seed >> 16) % 36];
    }
    return (fs::path(dir) / name).string();
}

int errno_of_last_error()
{
    const DWORD e = GetLastError();
    return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL   ? ENOSPC
           : e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? EEXIST
                                                                 : EACCES;
}

}  // namespace

bool PartialFile::open(const std::string& path, std::string& error,
                       std::vector<std::string>* removed)
{
    abandon();
    if (!take_target(path, error))
        return false;
    const std::string dir = stream_ ? stream_scratch_directory() : directory_of(path_);
    std::vector<std::string> gone;
    remove_unlocked_leftovers(dir, "", removed ? *removed : gone);
    for (int attempt = 0; attempt < 100; attempt++) {
        const std::string temp = unique_name(dir, kPartialPrefix);
        // Others may write it (ffmpeg does, by name), none may rename or remove it.
        HANDLE h = CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            errno = errno_of_last_error();
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
        temp_ = temp;
        return true;
    }
    error = "cannot write " + path + ": no free temporary name";
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
    const bool flushed = FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)));
    _close(fd_);
    fd_ = -1;
    if (!flushed || !MoveFileExA(temp_.c_str(), path_.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        errno = errno_of_last_error();
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    temp_.clear();
    return true;
}

void PartialFile::abandon()
{
    if (fd_ >= 0)
        _close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        DeleteFileA(temp_.c_str());
    temp_.clear();
}

bool partial_file_detail::remove_if_unlocked(const std::string& path, bool file)
{
    std::error_code st;
    if (file ? !fs::is_regular_file(path, st) : !fs::is_directory(path, st))
        return false;
    // Renaming fails while its writer holds it: only a leftover moves.
    const std::string moved = unique_name(directory_of(path), ".stream8-leftover-");
    if (!MoveFileExA(path.c_str(), moved.c_str(), 0))
        return false;
    std::error_code rm;
    fs::remove_all(moved, rm);
    return !rm;
}

bool LockedDirectory::make(const std::string& parent, const std::string& prefix)
{
    remove();
    for (int attempt = 0; attempt < 100; attempt++) {
        const std::string dir = unique_name(parent, prefix);
        if (!CreateDirectoryA(dir.c_str(), nullptr)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            errno = errno_of_last_error();
            return false;
        }
        // Held open without sharing deletion: no other process can rename or remove it.
        HANDLE h = CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            errno = errno_of_last_error();
            RemoveDirectoryA(dir.c_str());
            return false;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
        path_ = dir;
        return true;
    }
    errno = EEXIST;
    return false;
}

void LockedDirectory::remove()
{
    if (fd_ >= 0)
        _close(fd_);
    fd_ = -1;
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    path_.clear();
}
