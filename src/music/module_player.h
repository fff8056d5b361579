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

// The rendered track at a gain: `frames` stereo frames from `pos` (past the track's end,
// silence) times a gain that moves in equal steps from `from` (exclusive) to `to` (reached on
// the last frame), so a change of gain never steps; truncated toward zero; with `mixer`, then
// through Allegro's mixer's gain for each side as the live show's sound driver plays it.
// Appended to `out`, `pos` advanced.
void play_track(const std::vector<int16_t>& track, long& pos, long frames, float from, float to,
                bool mixer, std::vector<int16_t>& out);
