// Hashes of the show's output, one line each: "loop:160 0123456789abcdef" for a frame,
// "sound:3 ..." for the third second of the sound track. The live show writes the frames it puts
// on the screen (STREAM8_FRAME_LOG), the recorder its video's frames and sound; the golden table
// of the tests is such a log.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/timing.h"

struct BITMAP;

// A 64-bit hash of a memory bitmap's pixels, row by row, 8 bytes of a row a step.
uint64_t frame_hash(BITMAP* frame);
// FNV-1a over 16-bit samples, each as 2 little-endian bytes.
uint64_t sound_hash(const int16_t* samples, size_t count);

class FrameLog {
public:
    FrameLog() = default;
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // False with errno set when the file cannot be made.
    bool open(const std::string& path);
    bool is_open() const { return file_ != nullptr; }
    // A third field, when `seconds` is given: when the frame went out.
    void frame(Phase phase, long n, BITMAP* frame, double seconds = -1);
    // The sound track so far: every whole second is hashed as it completes; finish() hashes the
    // rest.
    void sound(const int16_t* interleaved, size_t frames);
    void finish();
    // False when a write failed.
    bool good() const { return good_; }

private:
    void line(const std::string& label, uint64_t hash, double seconds = -1);
    std::FILE* file_ = nullptr;
    bool good_ = true;
    std::string second_;  // the current second's samples, as bytes
    long seconds_ = 0;
};
