// The one module player: the module's bytes, read once and checked, are loaded into DUMB from
// memory and rendered in the start-up sandbox's child only; every host, the recorder and the
// benchmark play the track it rendered. No process that shows anything runs DUMB on a file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Reads the module at `path` once: a regular file of at most 64 MB, opened without waiting (a
// FIFO or device put in its place is refused, not waited on). False with `problem` set ("file is
// missing", "is not a file", ...).
bool read_module_bytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& problem);

// Loads `bytes` into the player from memory (never by name) and renders `frames` stereo frames
// at 48000 Hz, unit gain, as 16-bit samples into `out`. False when the player cannot read them.
// Only the sandbox's child calls it.
bool render_module(const std::vector<uint8_t>& bytes, long frames, std::vector<int16_t>& out);

// How many times this process has loaded a module into the player.
long module_loads();

// The gain on frame `i` (from 0) of `frames` while it moves in equal steps from `from`
// (exclusive) to `to` (reached on the last frame), so a change of gain never steps: the track's
// player below and the live host's sound stream.
inline float stepped_gain(float from, float to, long i, long frames)
{
    return from == to
               ? to
               : static_cast<float>(from + (static_cast<double>(to) - from) * (i + 1) / frames);
}

// The gain of each sample frame the live host feeds its music stream: the show's volume reached in
// equal steps over each buffer (stepped_gain), and once an end starts the ramp, a fall in equal
// steps from the gain the sound had, never above it, to exactly 0 over `ramp_frames`, then 0.
class StreamGain {
public:
    explicit StreamGain(long ramp_frames) : ramp_frames_(ramp_frames) {}
    // The volume the show asks for; buffers fed from now on move to it.
    void set_volume(float volume) { volume_ = volume; }
    // Starts the ramp to silence, from the gain the last buffer fed ended on; once.
    void start_ramp()
    {
        if (ramping_)
            return;
        ramping_ = true;
        ramp_from_ = fed_;
        ramp_done_ = 0;
    }
    bool ramping() const { return ramping_; }
    // The ramp has reached silence: everything fed from now on is silent.
    bool silent() const { return ramping_ && ramp_done_ >= ramp_frames_; }
    // The gain of frame `i` of a buffer of `frames`, asked for frame by frame in order.
    float next(long i, long frames)
    {
        if (!ramping_)
            return stepped_gain(fed_, volume_, i, frames);
        const long left = ramp_frames_ - ramp_done_;
        ramp_done_++;
        return left <= 0 ? 0.0f : ramp_from_ * static_cast<float>(left) / ramp_frames_;
    }
    // A whole buffer was fed: the next one starts from the volume this one reached.
    void buffer_fed() { fed_ = volume_; }

private:
    long ramp_frames_;
    float volume_ = 1.0f;
    float fed_ = 1.0f;  // the gain the last buffer fed ended on
    bool ramping_ = false;
    float ramp_from_ = 0;
    long ramp_done_ = 0;
};

// The rendered track at a gain: `frames` stereo frames from `pos` (past the track's end,
// silence) times a gain that moves in equal steps from `from` (exclusive) to `to` (reached on
// the last frame), so a change of gain never steps; truncated toward zero; with `mixer`, then
// through Allegro's mixer's gain for each side as the live show's sound driver plays it.
// Appended to `out`, `pos` advanced.
void play_track(const std::vector<int16_t>& track, long& pos, long frames, float from, float to,
                bool mixer, std::vector<int16_t>& out);
