// Runs a helper program (ffmpeg) with arguments passed as they are, no shell in between.
#pragma once
#include <string>
#include <vector>

class Subprocess {
public:
    Subprocess() = default;
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // Starts argv[0] (looked up on PATH when it has no slash). With `pipe_stdin` the child reads
    // what write() sends; its output and errors go to `log_path`. False with `error` set when the
    // program cannot be started.
    bool start(const std::vector<std::string>& argv, bool pipe_stdin, const std::string& log_path,
               std::string& error);
    // Sends all of `size` bytes to the child's input; false when the child has gone away.
    bool write(const void* data, size_t size);
    // Closes the child's input and waits for it; true when it exited with status 0.
    bool finish();
    // How the child ended, for messages: "exit status 1", "killed by signal 9".
    const std::string& how_it_ended() const { return ended_; }

private:
#ifdef _WIN32
    void* process_ = nullptr;  // HANDLEs
    void* input_ = nullptr;
#else
    int pid_ = -1;
    int fd_ = -1;
#endif
    std::string ended_;
};

// The last lines of a text file, for error messages that quote a helper's log.
std::string tail_of_file(const std::string& path, int lines = 8);
