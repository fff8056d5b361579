#include "common/module_audio.h"

#include <dumb.h>

#include "music/module_check.h"

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
    duh_render(renderer_, 16, 0, volume, 65536.0f / kSampleRate, frames, out.data() + start);
}
