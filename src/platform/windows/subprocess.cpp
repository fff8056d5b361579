#include "platform/subprocess.h"

#include <windows.h>

#include <cstdio>

#include "sandbox/descriptors.h"

namespace {
// One argument as the C runtime's command-line parser reads it back: quoted when it holds a space,
// a tab or a quote (or is empty), backslashes doubled before a quote.
std::string quoted(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

std::string last_error_text()
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, text, sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s;
}
}  // namespace

Subprocess::~Subprocess()
{
    if (process_)
        finish();
}

bool Subprocess::start(const std::vector<std::string>& argv, bool pipe_stdin,
                       const std::string& log_path, std::string& error)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE log = CreateFileA(log_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        error = "cannot write " + log_path + ": " + last_error_text();
        return false;
    }
    HANDLE child_in = INVALID_HANDLE_VALUE, our_in = nullptr;
    if (pipe_stdin) {
        if (!CreatePipe(&child_in, &our_in, &inherit, 1 << 20)) {
            error = "cannot make a pipe: " + last_error_text();
            CloseHandle(log);
            return false;
        }
        // Only the child's end is inherited.
        SetHandleInformation(our_in, HANDLE_FLAG_INHERIT, 0);
    } else {
        child_in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    }

    std::string command;
    for (const std::string& a : argv)
        command += (command.empty() ? "" : " ") + quoted(a);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = child_in;
    si.hStdOutput = log;
    si.hStdError = log;
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    const std::string why = started ? std::string() : last_error_text();
    CloseHandle(log);
    if (child_in != INVALID_HANDLE_VALUE)
        CloseHandle(child_in);
    if (!started) {
        if (our_in)
            CloseHandle(our_in);
        error = "cannot run '" + argv[0] + "': " + why;
        return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    input_ = our_in;
    return true;
}

bool Subprocess::write(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        if (!WriteFile(static_cast<HANDLE>(input_), p, chunk, &n, nullptr) || n == 0)
            return false;
        p += n;
        size -= n;
    }
    return true;
}

bool Subprocess::finish()
{
    if (input_) {
        CloseHandle(static_cast<HANDLE>(input_));
        input_ = nullptr;
    }
    if (!process_)
        return false;
    HANDLE process = static_cast<HANDLE>(process_);
    process_ = nullptr;
    DWORD status = 1;
    const bool waited = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                        GetExitCodeProcess(process, &status);
    CloseHandle(process);
    if (!waited) {
        // Without its status the child's work cannot be trusted.
        ended_ = "lost (" + last_error_text() + ")";
        return false;
    }
    // A crash ends a Windows program with its exception code (0xC0000005 and the like).
    char code[32];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(status));
    ended_ = status >= 0xC0000000u ? "ended by exception 0x" + std::string(code)
                                   : "exit status " + std::to_string(status);
    return status == 0;
}

// A Windows child gets its standard handles from the STARTUPINFO it is given, never by number:
// there are no descriptors 0 to 2 to keep from being reused.
void null_standard_fds(bool)
{}
