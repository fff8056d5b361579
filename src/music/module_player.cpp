#include "music/module_player.h"

#include <dumb.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/timing.h"

namespace {

// Where there are no FIFOs or terminals (Windows) those flags are not needed; the bytes are read
// as they are there only with O_BINARY.
#ifndef O_NONBLOCK
constexpr int O_NONBLOCK = 0;
#endif
#ifndef O_CLOEXEC
constexpr int O_CLOEXEC = 0;
#endif
#ifndef O_NOCTTY
constexpr int O_NOCTTY = 0;
#endif
#ifndef O_BINARY
constexpr int O_BINARY = 0;
#endif

constexpr size_t kMaxModuleBytes = 64u << 20;

long loads = 0;

// The live show's sound passes Allegro's mixer: the music stream is one voice at volume 255,
// centred (pan 128), which the live host plays at full scale (set_volume_per_voice(0): the
// library's default halves every voice, 6 dB the show would only lose). The mixer's gain for a
// side, out of 65536, from the pan weight of that side (127 left, 128 right), clamped to 65535
// as the mixer clamps it: 65276 and 65535, -0.03 dB and unity. The mixer rounds down and clips to
// 16 bits.
constexpr int kVoiceVolumeScale = 0;
constexpr int mixer_gain(int pan_weight)
{
    int v = 255 * pan_weight;
    v += v >> 7;
    v = (v << 1) >> kVoiceVolumeScale;
    return v > 65535 ? 65535 : v;
}
constexpr int kMixerGainLeft = mixer_gain(255 - 128);
constexpr int kMixerGainRight = mixer_gain(128);
static_assert(kMixerGainLeft == 65276 && kMixerGainRight == 65535, "Allegro 4.4's mixer gains");

int16_t through_mixer(int sample, int gain)
{
    // In 64 bits: the product of a full-scale sample and a gain near 65536 is at the edge of int.
    const long long v = (static_cast<long long>(sample) * gain) >> 16;
    return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

bool read_module_bytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& problem)
{
    bytes.clear();
    // O_NONBLOCK: opening a FIFO for reading returns at once instead of waiting for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_BINARY);
    if (fd < 0) {
        problem = errno == ENOENT ? "file is missing" : std::strerror(errno);
        return false;
    }
    struct stat st;
    problem.clear();
    if (fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        problem = S_ISDIR(st.st_mode) ? "is a directory, not a file" : "is not a file";
    else if (static_cast<size_t>(st.st_size) > kMaxModuleBytes)
        problem = "is larger than 64 MB";
    if (problem.empty()) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got != bytes.size())
            problem = "cannot be read";
    }
    close(fd);
    if (!problem.empty())
        bytes.clear();
    return problem.empty();
}

bool render_module(const std::vector<uint8_t>& bytes, long frames, std::vector<int16_t>& out)
{
    out.clear();
    DUMBFILE* f = dumbfile_open_memory(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<long>(bytes.size()));
    if (!f)
        return false;
    loads++;
    DUH* duh = dumb_read_it_quick(f);
    dumbfile_close(f);
    if (!duh)
        return false;
    DUH_SIGRENDERER* r = duh_start_sigrenderer(duh, 0, 2, 0);
    if (!r) {
        unload_duh(duh);
        return false;
    }
    // As the Allegro glue's poll would: 16-bit signed, 48000 Hz; the gain comes later.
    out.assign(static_cast<size_t>(frames) * 2, 0);
    duh_render(r, 16, 0, 1.0f, 65536.0f / kSampleRate, frames, out.data());
    duh_end_sigrenderer(r);
    unload_duh(duh);
    return true;
}

long module_loads()
{
    return loads;
}

void play_track(const std::vector<int16_t>& track, long& pos, long frames, float from, float to,
                bool mixer, std::vector<int16_t>& out)
{
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(std::max(frames, 0L)) * 2, 0);
    const long have = static_cast<long>(track.size() / 2);
    for (long i = 0; i < frames; i++, pos++) {
        if (pos >= have)
            continue;  // silence past the end
        const float volume = stepped_gain(from, to, i, frames);
        for (int side = 0; side < 2; side++) {
            const int s = track[2 * static_cast<size_t>(pos) + side];
            const int scaled = volume == 1.0f ? s : static_cast<int>(s * volume);
            out[start + 2 * static_cast<size_t>(i) + side] =
                mixer ? through_mixer(scaled, side == 0 ? kMixerGainLeft : kMixerGainRight)
                      : static_cast<int16_t>(scaled);
        }
    }
}
