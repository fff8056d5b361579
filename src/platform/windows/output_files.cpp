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

// A handle for writing to the existing `out`, neither created nor truncated; INVALID_HANDLE_VALUE
// when there is none.
static HANDLE open_existing_for_writing(const std::string& out)
{
    return CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string output_refusal(const std::string& out)
{
    if (is_stream(out))
        return {};
    const DWORD attributes = GetFileAttributesA(out.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};  // a new file
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "it is a directory";
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return "it is a device, not a file; it is left alone";
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return "the file is read-only; it is left alone";
    return {};
}

bool is_stream(const std::string& out)
{
    // Devices (NUL, CON) and pipes are known by the type of an open handle: their attributes do
    // not tell them from files everywhere (Wine). Opening a file so writes nothing to it.
    HANDLE h = open_existing_for_writing(out);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

bool copy_to_stream(const std::string& from, const std::string& to)
{
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return false;
    }
    HANDLE out = open_existing_for_writing(to);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        errno = EACCES;
        return false;
    }
    char buffer[1 << 16];
    bool ok = true;
    for (DWORD n = 0; ok && ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0;) {
        for (DWORD done = 0, w = 0; ok && done < n; done += w)
            ok = WriteFile(out, buffer + done, n - done, &w, nullptr) && w > 0;
    }
    CloseHandle(in);
    CloseHandle(out);
    if (!ok)
        errno = EIO;
    return ok;
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
