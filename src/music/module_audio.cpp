#include "music/module_audio.h"

#include "music/module_player.h"

long samples_through_frame(long k)
{
    return static_cast<long>(static_cast<long long>(k) * kSampleRate / kFrameRate);
}

long samples_of_frame(long k)
{
    return k < 1 ? 0 : samples_through_frame(k) - samples_through_frame(k - 1);
}

void ModuleAudio::render(long frames, float volume, std::vector<int16_t>& out)
{
    static const std::vector<int16_t> none;
    play_track(track_ ? *track_ : none, pos_, frames, volume_, volume, true, out);
    volume_ = volume;
}
