#include "platform/output_files.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace output_files {
namespace {
// The folder this program was started from.
std::string program_directory()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return fs::path(path).parent_path().string();
}

bool is_file(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The name as it is when it names a file, else with ".exe".
std::string with_exe(const std::string& path)
{
    if (is_file(path))
        return path;
    if (is_file(path + ".exe"))
        return path + ".exe";
    return {};
}
}  // namespace

bool disk_full(const std::string& dir)
{
    ULARGE_INTEGER free_to_user;
    return GetDiskFreeSpaceExA(dir.c_str(), &free_to_user, nullptr, nullptr) &&
           free_to_user.QuadPart == 0;
}

bool no_space_errno(int err)
{
    return err == ENOSPC;
}

long long file_size_limit()
{
    return -1;
}

std::string find_program(const std::string& name)
{
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        return with_exe(name);
    // Beside this program first: a zip may carry its own ffmpeg.
    const std::string beside = program_directory();
    if (!beside.empty()) {
        const std::string found = with_exe(beside + "\\" + name);
        if (!found.empty())
            return found;
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ';');) {
        if (dir.empty())
            continue;
        const std::string found = with_exe(dir + "\\" + name);
        if (!found.empty())
            return found;
    }
    return {};
}

std::string output_refusal(const std::string& out)
{
    const DWORD attributes = GetFileAttributesA(out.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};  // a new file
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "it is a directory";
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return "it exists and is not a regular file (a device); it is left alone";
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return "the file is read-only; it is left alone";
    return {};
}

bool sync_file(const std::string& path, long long& size)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EACCES;
        return false;
    }
    LARGE_INTEGER n;
    const bool ok = FlushFileBuffers(h) && GetFileSizeEx(h, &n);
    CloseHandle(h);
    if (!ok) {
        errno = EIO;
        return false;
    }
    size = n.QuadPart;
    return true;
}

}  // namespace output_files
