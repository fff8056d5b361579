// The soundtrack as the recorder hears it: the music the start-up probe's child rendered from the
// module (see music/module_player.h), one video frame's worth of samples at a time, at the level
// the live show's sound driver plays it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/timing.h"

// Sample frames from the start of the video to the end of video frame `k` (frames counted from 1;
// 0 gives 0): floor(k * 48000 / 59), so the 48000/59 samples a frame are carried exactly.
long samples_through_frame(long k);
// Sample frames that belong to video frame k alone.
long samples_of_frame(long k);

class ModuleAudio {
public:
    // Plays `track` from its start (it must outlive this object); an empty track is silence.
    void load(const std::vector<int16_t>& track)
    {
        track_ = &track;
        pos_ = 0;
    }
    bool loaded() const { return track_ && !track_->empty(); }

    // Appends `frames` stereo frames of signed 16-bit samples to `out` at gain `volume` (reached
    // in equal steps from the last call's), then at the live mixer's gain for each side (silence
    // when nothing is loaded, or past the track).
    void render(long frames, float volume, std::vector<int16_t>& out);

private:
    const std::vector<int16_t>* track_ = nullptr;
    long pos_ = 0;
    float volume_ = 1.0f;
};
