// The soundtrack as the recorder hears it: the module rendered by DUMB at 48000 Hz stereo, one
// video frame's worth of samples at a time, at the level the live show's sound driver plays it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "frame/timing.h"

struct DUH;
struct DUH_SIGRENDERER;

// Sample frames from the start of the video to the end of video frame `k` (frames counted from 1;
// 0 gives 0): floor(k * 48000 / 59), so the 48000/59 samples a frame are carried exactly.
long samples_through_frame(long k);
// Sample frames that belong to video frame k alone.
long samples_of_frame(long k);

class ModuleAudio {
public:
    ModuleAudio() = default;
    ~ModuleAudio();
    ModuleAudio(const ModuleAudio&) = delete;
    ModuleAudio& operator=(const ModuleAudio&) = delete;

    // Checks and loads an Impulse Tracker module and starts its renderer at the beginning. False
    // when the file is missing, not a module or fails the check (problem() says why); the renderer
    // then yields silence.
    // `probe_fault`, when not empty, is the start-up probe's verdict: the player failed on the
    // module in the probe's child, and it is refused with that reason.
    bool load(const std::string& path, const std::string& probe_fault = "");
    bool loaded() const { return renderer_ != nullptr; }
    const std::string& problem() const { return problem_; }

    // Appends `frames` stereo frames of signed 16-bit samples to `out` at gain `volume`, then at
    // the live mixer's gain for each side (silence when nothing is loaded, or past a module's end).
    void render(long frames, float volume, std::vector<int16_t>& out);

private:
    DUH* duh_ = nullptr;
    DUH_SIGRENDERER* renderer_ = nullptr;
    std::string problem_;
};
