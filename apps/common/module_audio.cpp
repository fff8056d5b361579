#include "common/module_audio.h"

#include <dumb.h>

#include "music/module_check.h"

namespace {

// The live show's sound passes Allegro's mixer: the music stream is one voice at volume 255,
// centred (pan 128), and the mixer halves every voice so that one panned hard to a side cannot
// clip. Its gain for a side, out of 65536, from the pan weight of that side (127 left, 128 right):
// 32638 and 32895, -6.06 and -5.99 dB. The mixer rounds down.
constexpr int mixer_gain(int pan_weight)
{
    int v = 255 * pan_weight;
    v += v >> 7;
    return (v << 1) >> 1;
}
constexpr int kMixerGainLeft = mixer_gain(255 - 128);
constexpr int kMixerGainRight = mixer_gain(128);
static_assert(kMixerGainLeft == 32638 && kMixerGainRight == 32895, "Allegro 4.4's mixer gains");

}  // namespace

long samples_through_frame(long k)
{
    return static_cast<long>(static_cast<long long>(k) * kSampleRate / kFrameRate);
}

long samples_of_frame(long k)
{
    return k < 1 ? 0 : samples_through_frame(k) - samples_through_frame(k - 1);
}

ModuleAudio::~ModuleAudio()
{
    if (renderer_)
        duh_end_sigrenderer(renderer_);
    if (duh_)
        unload_duh(duh_);
}

bool ModuleAudio::load(const std::string& path)
{
    static bool registered = false;
    if (!registered) {
        dumb_register_stdfiles();
        registered = true;
    }
    if (!check_module_file(path, problem_))
        return false;
    duh_ = dumb_load_it_quick(path.c_str());
    if (!duh_) {
        problem_ = "the player cannot read it";
        return false;
    }
    renderer_ = duh_start_sigrenderer(duh_, 0, 2, 0);
    return renderer_ != nullptr;
}

void ModuleAudio::render(long frames, float volume, std::vector<int16_t>& out)
{
    size_t start = out.size();
    out.resize(start + static_cast<size_t>(frames) * 2, 0);
    if (!renderer_ || frames <= 0)
        return;
    // Same call as the Allegro glue's poll: 16-bit signed, the player's gain, 48000 Hz.
    int16_t* p = out.data() + start;
    duh_render(renderer_, 16, 0, volume, 65536.0f / kSampleRate, frames, p);
    for (long i = 0; i < frames; i++) {
        p[2 * i] = static_cast<int16_t>((p[2 * i] * kMixerGainLeft) >> 16);
        p[2 * i + 1] = static_cast<int16_t>((p[2 * i + 1] * kMixerGainRight) >> 16);
    }
}
