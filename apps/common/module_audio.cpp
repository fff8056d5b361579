#include "common/module_audio.h"

#include <dumb.h>

#include "music/module_check.h"

namespace {

// The live show's sound passes Allegro's mixer: the music stream is one voice at volume 255,
// centred (pan 128), which the live host plays at full scale (set_volume_per_voice(0): the
// library's default halves every voice, 6 dB the show would only lose). The mixer's gain for a
// side, out of 65536, from the pan weight of that side (127 left, 128 right): 65276 and 65790,
// -0.03 and +0.03 dB. The mixer rounds down and clips to 16 bits.
constexpr int kVoiceVolumeScale = 0;
constexpr int mixer_gain(int pan_weight)
{
    int v = 255 * pan_weight;
    v += v >> 7;
    return (v << 1) >> kVoiceVolumeScale;
}
constexpr int kMixerGainLeft = mixer_gain(255 - 128);
constexpr int kMixerGainRight = mixer_gain(128);
static_assert(kMixerGainLeft == 65276 && kMixerGainRight == 65790, "Allegro 4.4's mixer gains");

int16_t through_mixer(int sample, int gain)
{
    // A full-scale sample times a gain above one is past 2^31: the product is taken in 64 bits.
    const long long v = (static_cast<long long>(sample) * gain) >> 16;
    return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

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

bool ModuleAudio::load(const std::string& path, const std::string& probe_fault)
{
    static bool registered = false;
    if (!registered) {
        dumb_register_stdfiles();
        registered = true;
    }
    problem_ = probe_fault;
    if (!problem_.empty() || !check_module_file(path, problem_))
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
        p[2 * i] = through_mixer(p[2 * i], kMixerGainLeft);
        p[2 * i + 1] = through_mixer(p[2 * i + 1], kMixerGainRight);
    }
}
