// Pattern/sequence builder: the song is written on one long grid of rows and
// then cut into equal patterns, identical ones shared in the order list.
#pragma once

#include <vector>

#include "itwriter.h"

namespace musgen {

class Arrangement {
public:
    Arrangement(int channels, int patterns, int rowsPerPattern);

    int channels() const { return channels_; }
    int rowsPerPattern() const { return rowsPerPattern_; }
    int totalRows() const { return static_cast<int>(grid_.size()) / channels_; }

    // Each throws std::logic_error when the cell already holds that field, so
    // a composition can never put two events in one place.
    void note(int row, int ch, int note, int sample, int volume);
    void effect(int row, int ch, int effect, int param);

    const Cell& at(int row, int ch) const;

    // Fills module patterns and orders.
    void cutInto(Module& m) const;

private:
    Cell& cell(int row, int ch);
    int channels_;
    int rowsPerPattern_;
    std::vector<Cell> grid_;
};

// A monophonic line spread over a pool of channels. Each note sounds for its
// gate and is then faded out with volume slides on its own channel while the
// following note already starts on another one, so no note is ever cut off
// at full level.
class Voice {
public:
    Voice(Arrangement& arr, std::vector<int> channels, int sample, int releaseRows);
    void play(int row, int note, int gateRows, int volume);

private:
    Arrangement& arr_;
    std::vector<int> channels_;
    std::vector<int> freeFrom_;
    size_t next_ = 0;
    int sample_;
    int releaseRows_;
};

}  // namespace musgen
