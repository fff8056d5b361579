// Writes an Impulse Tracker module in sample mode with uncompressed 16-bit
// samples, laid out strictly front to back: header, orders, offset tables,
// sample headers, patterns, sample data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth.h"

namespace musgen {

// Effect letters as the file stores them (A = 1).
enum Effect : uint8_t {
    kFxSetSpeed = 1,        // Axx
    kFxVolumeSlide = 4,     // Dxy
    kFxTonePortamento = 7,  // Gxx
    kFxVibrato = 8,         // Hxy
    kFxSetTempo = 20,       // Txx
    kFxGlobalVolume = 22    // Vxx
};

constexpr uint8_t kNoteCut = 254;

struct Cell {
    int note = -1;    // 0..119, kNoteCut, or -1 for none
    int sample = 0;   // 1-based, 0 for none
    int volume = -1;  // 0..64, -1 for none
    int effect = 0;   // 0 for none
    int param = 0;
    bool empty() const { return note < 0 && sample == 0 && volume < 0 && effect == 0; }
    bool operator==(const Cell& o) const
    {
        return note == o.note && sample == o.sample && volume == o.volume && effect == o.effect &&
               param == o.param;
    }
};

struct Pattern {
    int rows = 0;
    int channels = 0;
    std::vector<Cell> cells;  // rows * channels, row-major
    Cell& at(int row, int ch) { return cells[static_cast<size_t>(row * channels + ch)]; }
    const Cell& at(int row, int ch) const
    {
        return cells[static_cast<size_t>(row * channels + ch)];
    }
    bool operator==(const Pattern& o) const
    {
        return rows == o.rows && channels == o.channels && cells == o.cells;
    }
};

struct ModuleSample {
    std::string name;
    Sample data;
    int defaultVolume = 64;
    int globalVolume = 64;
};

struct Module {
    std::string name;
    int initialSpeed = 6;
    int initialTempo = 125;
    int globalVolume = 128;
    int mixVolume = 48;
    std::vector<int> channelPan;     // 0..64, 32 = centre; size = number of channels
    std::vector<int> channelVolume;  // 0..64
    std::vector<ModuleSample> samples;
    std::vector<Pattern> patterns;
    std::vector<int> orders;  // pattern indices, without the end marker
};

// Serialises the module; throws std::invalid_argument on values the format
// (or the players we target) cannot take.
std::vector<uint8_t> writeIt(const Module& m);

}  // namespace musgen
