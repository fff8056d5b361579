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

// How a note of a Voice is played beyond its pitch and gate.
struct Expression {
    int slideRows = 0;  // > 0: glide from the previous note, which must end where this one starts
    int vibratoFrom = -1;  // rows after the start when vibrato begins; -1 for none
    int vibrato = 0x53;    // vibrato speed and depth (Hxy)
    int sample =
        0;  // > 0: this sample instead of the voice's own (a change of tone on the same line)
};

// How a note hands over to the next one on another channel.
enum class Handover {
    FadeFirst,  // its fade begins on the gate's last row: the next attack never lands on a note at full level
    Crossfade,  // its fade begins where the next note starts: for slow attacks that would leave a gap
};

// A monophonic line spread over a pool of channels. Each note sounds for its
// gate and is faded out with volume slides on its own channel while the
// following note starts on another one, so no note is ever cut off at full
// level. A sliding note instead continues on its predecessor's channel with
// tone portamento, and that predecessor is not faded.
class Voice {
public:
    Voice(Arrangement& arr, std::vector<int> channels, int sample, int releaseRows,
          Handover handover = Handover::FadeFirst);
    void play(int row, int note, int gateRows, int volume, const Expression& ex = {});
    // Writes the fade of the last note; call once the line is complete.
    void finish();

private:
    void release();
    Arrangement& arr_;
    std::vector<int> channels_;
    std::vector<int> freeFrom_;
    size_t next_ = 0;
    int sample_;
    int releaseRows_;
    Handover handover_;
    // The last note, whose fade is written only when the next note does not slide on from it.
    int lastChannel_ = -1;
    int lastNote_ = 0;
    int releaseAt_ = 0;  // end of its gate
    int fadeAt_ = 0;     // first row of its fade
    int releasePerTick_ = 0;
};

}  // namespace musgen
