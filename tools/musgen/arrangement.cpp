#include "arrangement.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace musgen {

Arrangement::Arrangement(int channels, int patterns, int rowsPerPattern)
    : channels_(channels), rowsPerPattern_(rowsPerPattern)
{
    if (channels < 1 || channels > 64 || patterns < 1 || rowsPerPattern < 1)
        throw std::invalid_argument("Arrangement: bad shape");
    grid_.resize(static_cast<size_t>(channels) * static_cast<size_t>(patterns) *
                 static_cast<size_t>(rowsPerPattern));
}

Cell& Arrangement::cell(int row, int ch)
{
    if (row < 0 || row >= totalRows() || ch < 0 || ch >= channels_)
        throw std::out_of_range("Arrangement: row " + std::to_string(row) + " channel " +
                                std::to_string(ch));
    return grid_[static_cast<size_t>(row * channels_ + ch)];
}

const Cell& Arrangement::at(int row, int ch) const
{
    return const_cast<Arrangement*>(this)->cell(row, ch);
}

void Arrangement::note(int row, int ch, int note, int sample, int volume)
{
    Cell& c = cell(row, ch);
    if (c.note >= 0 || c.sample > 0 || c.volume >= 0)
        throw std::logic_error("Arrangement: second note at row " + std::to_string(row) +
                               " channel " + std::to_string(ch));
    c.note = note;
    c.sample = sample;
    c.volume = volume;
}

void Arrangement::effect(int row, int ch, int effect, int param)
{
    Cell& c = cell(row, ch);
    if (c.effect > 0)
        throw std::logic_error("Arrangement: second effect at row " + std::to_string(row) +
                               " channel " + std::to_string(ch));
    c.effect = effect;
    c.param = param;
}

void Arrangement::cutInto(Module& m) const
{
    m.patterns.clear();
    m.orders.clear();
    const int count = totalRows() / rowsPerPattern_;
    for (int i = 0; i < count; ++i) {
        Pattern p;
        p.rows = rowsPerPattern_;
        p.channels = channels_;
        const auto first = grid_.begin() + static_cast<long>(i) * rowsPerPattern_ * channels_;
        p.cells.assign(first, first + static_cast<long>(rowsPerPattern_) * channels_);
        const auto same = std::find(m.patterns.begin(), m.patterns.end(), p);
        if (same != m.patterns.end()) {
            m.orders.push_back(static_cast<int>(same - m.patterns.begin()));
        } else {
            m.orders.push_back(static_cast<int>(m.patterns.size()));
            m.patterns.push_back(std::move(p));
        }
    }
}

Voice::Voice(Arrangement& arr, std::vector<int> channels, int sample, int releaseRows,
             Handover handover)
    : arr_(arr), channels_(std::move(channels)), freeFrom_(channels_.size(), 0), sample_(sample),
      releaseRows_(releaseRows), handover_(handover)
{
    if (channels_.empty() || releaseRows < 1)
        throw std::invalid_argument("Voice: no channels");
}

void Voice::play(int row, int note, int gateRows, int volume, const Expression& ex)
{
    if (gateRows < 1)
        throw std::invalid_argument("Voice: empty gate");
    // Fade over the release rows: speed 4 gives three sliding ticks a row.
    const int perTick = std::min(14, (volume + 3 * releaseRows_ - 1) / (3 * releaseRows_));
    if (perTick * 3 * releaseRows_ < volume)
        throw std::logic_error("Voice: release too short to fade the note out");
    const int releaseAt = row + gateRows;
    if (releaseAt + releaseRows_ > arr_.totalRows())
        throw std::logic_error("Voice: release runs past the end of the song at row " +
                               std::to_string(row));
    if (ex.slideRows >= gateRows || (ex.vibratoFrom >= 0 && ex.vibratoFrom < ex.slideRows))
        throw std::invalid_argument(
            "Voice: slide and vibrato must fit the gate, one after the other");

    size_t pick = channels_.size();
    if (ex.slideRows > 0) {
        if (lastChannel_ < 0 || releaseAt_ != row)
            throw std::logic_error(
                "Voice: a slide needs the previous note to end where it starts, row " +
                std::to_string(row));
        pick = static_cast<size_t>(lastChannel_);
        const int cents16 = 16 * std::abs(note - lastNote_);  // 1/16 semitones to cover
        const int speed = std::clamp((cents16 + 3 * ex.slideRows - 1) / (3 * ex.slideRows), 1, 255);
        const int ch = channels_[pick];
        arr_.note(row, ch, note, 0, volume);
        arr_.effect(row, ch, kFxTonePortamento, speed);
        for (int r = 1; r < ex.slideRows; ++r)
            arr_.effect(row + r, ch, kFxTonePortamento, 0);
    } else {
        release();
        for (size_t i = 0; i < channels_.size(); ++i) {
            const size_t k = (next_ + i) % channels_.size();
            if (freeFrom_[k] <= row) {
                pick = k;
                break;
            }
        }
        if (pick == channels_.size())
            throw std::logic_error("Voice: all channels busy at row " + std::to_string(row));
        arr_.note(row, channels_[pick], note, ex.sample > 0 ? ex.sample : sample_, volume);
    }
    const int ch = channels_[pick];
    const int fadeAt =
        handover_ == Handover::FadeFirst && gateRows >= 2 ? releaseAt - 1 : releaseAt;
    if (ex.vibratoFrom >= 0)
        for (int r = row + ex.vibratoFrom; r < fadeAt; ++r)
            arr_.effect(r, ch, kFxVibrato, ex.vibrato);
    freeFrom_[pick] = fadeAt + releaseRows_;
    next_ = (pick + 1) % channels_.size();
    lastChannel_ = static_cast<int>(pick);
    lastNote_ = note;
    releaseAt_ = releaseAt;
    fadeAt_ = fadeAt;
    releasePerTick_ = perTick;
}

void Voice::release()
{
    if (lastChannel_ < 0)
        return;
    const int ch = channels_[static_cast<size_t>(lastChannel_)];
    for (int r = 0; r < releaseRows_; ++r)
        arr_.effect(fadeAt_ + r, ch, kFxVolumeSlide, releasePerTick_);
    lastChannel_ = -1;
}

void Voice::finish()
{
    release();
}

}  // namespace musgen
