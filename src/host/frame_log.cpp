#include "host/frame_log.h"

#include <allegro.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kOffset = 14695981039346656037ULL;
constexpr uint64_t kPrime = 1099511628211ULL;

uint64_t fnv(uint64_t h, const unsigned char* p, size_t n)
{
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * kPrime;
    return h;
}

}  // namespace

uint64_t frame_hash(BITMAP* frame)
{
    // Memory bitmaps only: their rows are plain arrays of pixels, little-endian on every machine
    // the show builds for. FNV-1a's mixing over 64-bit words (two 32-bit pixels a step).
    uint64_t h = kOffset;
    const size_t row =
        static_cast<size_t>(frame->w) * static_cast<size_t>((bitmap_color_depth(frame) + 7) / 8);
    for (int y = 0; y < frame->h; y++) {
        const unsigned char* p = frame->line[y];
        for (size_t i = 0; i < row; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, p + i, std::min<size_t>(8, row - i));
            h = (h ^ word) * kPrime;
        }
    }
    return h;
}

uint64_t sound_hash(const int16_t* samples, size_t count)
{
    uint64_t h = kOffset;
    for (size_t i = 0; i < count; i++) {
        const uint16_t v = static_cast<uint16_t>(samples[i]);
        const unsigned char b[2] = {static_cast<unsigned char>(v),
                                    static_cast<unsigned char>(v >> 8)};
        h = fnv(h, b, 2);
    }
    return h;
}

FrameLog::~FrameLog()
{
    if (file_)
        std::fclose(file_);
}

bool FrameLog::open(const std::string& path)
{
    // Binary: the same bytes on every system (no CR before each newline on Windows).
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

void FrameLog::line(const std::string& label, uint64_t hash, double seconds)
{
    if (!file_)
        return;
    const auto h = static_cast<unsigned long long>(hash);
    const int n = seconds < 0 ? std::fprintf(file_, "%s %016llx\n", label.c_str(), h)
                              : std::fprintf(file_, "%s %016llx %.4f\n", label.c_str(), h, seconds);
    if (n < 0 || std::fflush(file_) != 0)
        good_ = false;
}

void FrameLog::frame(Phase phase, long n, BITMAP* frame, double seconds)
{
    line(std::string(phase_name(phase)) + ":" + std::to_string(n), frame_hash(frame), seconds);
}

void FrameLog::sound(const int16_t* interleaved, size_t frames)
{
    const size_t second_bytes = static_cast<size_t>(kSampleRate) * 2 * sizeof(int16_t);
    const char* p = reinterpret_cast<const char*>(interleaved);
    size_t left = frames * 2 * sizeof(int16_t);
    while (left > 0) {
        const size_t take = std::min(left, second_bytes - second_.size());
        second_.append(p, take);
        p += take;
        left -= take;
        if (second_.size() == second_bytes) {
            line("sound:" + std::to_string(++seconds_),
                 sound_hash(reinterpret_cast<const int16_t*>(second_.data()), second_.size() / 2));
            second_.clear();
        }
    }
}

void FrameLog::finish()
{
    if (!second_.empty())
        line("sound:" + std::to_string(++seconds_),
             sound_hash(reinterpret_cast<const int16_t*>(second_.data()), second_.size() / 2));
    second_.clear();
    // Closed here, so that the file can be renamed into place at once (Windows renames no file
    // that is still open).
    if (file_) {
        if (std::fclose(file_) != 0)
            good_ = false;
        file_ = nullptr;
    }
}
