// The show's soundtrack, 80S5.IT: an 80s synth-pop piece in A minor.
// One row is 5/59 s (tempo 118, speed 4); one bar of 32 rows is one scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "itwriter.h"

namespace musgen {

constexpr int kRowsPerBar = 32;
constexpr int kBars = 18;  // 13 bars for the scenes, 5 for the credits' cadence and a breath
constexpr int kLeadChannels[] = {18, 19};  // the melody, without its echoes and harmony

Module soundtrackModule();
std::vector<uint8_t> soundtrackBytes();

// Writes <dir>/80S5.IT; throws std::runtime_error when the file can't be written.
void writeSoundtrack(const std::string& dir);

}  // namespace musgen
