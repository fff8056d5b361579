#include "itwriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "music/it_layout.h"

namespace musgen {

namespace {

void require(bool ok, const char* what)
{
    if (!ok)
        throw std::invalid_argument(std::string("writeIt: ") + what);
}

std::vector<uint8_t> packPattern(const Pattern& p)
{
    std::vector<uint8_t> out;
    for (int row = 0; row < p.rows; ++row) {
        for (int ch = 0; ch < p.channels; ++ch) {
            const Cell& c = p.at(row, ch);
            if (c.empty())
                continue;
            namespace pat = it::pattern;
            unsigned mask = 0;
            if (c.note >= 0)
                mask |= pat::kNote;
            if (c.sample > 0)
                mask |= pat::kInstrument;
            if (c.volume >= 0)
                mask |= pat::kVolume;
            if (c.effect > 0)
                mask |= pat::kCommand;
            out.push_back(static_cast<uint8_t>((ch + 1) | pat::kMaskFollows));
            out.push_back(static_cast<uint8_t>(mask));
            if (mask & pat::kNote)
                out.push_back(static_cast<uint8_t>(c.note));
            if (mask & pat::kInstrument)
                out.push_back(static_cast<uint8_t>(c.sample));
            if (mask & pat::kVolume)
                out.push_back(static_cast<uint8_t>(c.volume));
            if (mask & pat::kCommand) {
                out.push_back(static_cast<uint8_t>(c.effect));
                out.push_back(static_cast<uint8_t>(c.param));
            }
        }
        out.push_back(0);
    }
    return out;
}

void validate(const Module& m)
{
    require(m.initialTempo >= 32 && m.initialTempo <= 255, "tempo out of range");
    require(m.initialSpeed >= 1 && m.initialSpeed <= 255, "speed out of range");
    require(m.globalVolume >= 0 && m.globalVolume <= 128, "global volume out of range");
    require(m.mixVolume >= 0 && m.mixVolume <= 128, "mix volume out of range");
    const size_t nch = m.channelPan.size();
    require(nch >= 1 && nch <= 64 && m.channelVolume.size() == nch, "channel tables");
    require(!m.orders.empty() && m.orders.size() < 256, "order count");
    require(!m.samples.empty() && m.samples.size() < 100, "sample count");
    require(!m.patterns.empty() && m.patterns.size() < 200, "pattern count");
    for (int o : m.orders)
        require(o >= 0 && o < static_cast<int>(m.patterns.size()), "order refers to no pattern");
    for (const ModuleSample& s : m.samples) {
        require(!s.data.pcm.empty(), "empty sample");
        if (s.data.looped)
            require(s.data.loopStart < s.data.loopEnd && s.data.loopEnd <= s.data.pcm.size(),
                    "loop bounds");
    }
    for (const Pattern& p : m.patterns) {
        require(p.rows >= 1 && p.rows <= 200 && p.channels == static_cast<int>(nch),
                "pattern shape");
        require(p.cells.size() == static_cast<size_t>(p.rows * p.channels), "pattern size");
        for (const Cell& c : p.cells) {
            require(c.note < 120 || c.note == kNoteCut, "note out of range");
            require(c.sample <= static_cast<int>(m.samples.size()), "sample number");
            require(c.volume <= 64, "volume column out of range");
            // Effect bytes above Z are player-internal in some readers.
            require(c.effect >= 0 && c.effect <= static_cast<int>(it::pattern::kLastCommand) &&
                        c.param >= 0 && c.param <= 255,
                    "effect out of range");
        }
    }
}

}  // namespace

std::vector<uint8_t> writeIt(const Module& m)
{
    namespace song = it::song;
    namespace smp = it::sample;
    namespace pat = it::pattern;
    validate(m);
    it::Image f;
    const size_t ordNum = m.orders.size() + 1;  // with the end marker
    const size_t smpNum = m.samples.size();
    const size_t patNum = m.patterns.size();

    f.append(song::kSize);
    f.text(song::kSignature, "IMPM", 4);
    f.text(song::kName, m.name, 26);
    f.u8(song::kHighlight, 4);       // rows per beat
    f.u8(song::kHighlight + 1, 32);  // rows per measure: one scene
    f.u16(song::kOrders, static_cast<unsigned>(ordNum));
    f.u16(song::kInstruments, 0);  // sample mode
    f.u16(song::kSamples, static_cast<unsigned>(smpNum));
    f.u16(song::kPatterns, static_cast<unsigned>(patNum));
    f.u16(song::kCreatedWith, 0x0214);
    f.u16(song::kCompatibleWith, 0x0214);
    f.u16(song::kFlags, song::kStereo | song::kLinearSlides);
    f.u8(song::kGlobalVolume, m.globalVolume);
    f.u8(song::kMixVolume, m.mixVolume);
    f.u8(song::kSpeed, m.initialSpeed);
    f.u8(song::kTempo, m.initialTempo);
    f.u8(song::kSeparation, 128);
    for (size_t ch = 0; ch < song::kChannels; ++ch) {
        const bool used = ch < m.channelPan.size();
        f.u8(song::kChannelPan + ch, used ? m.channelPan[ch] : (32 | song::kChannelOff));
        f.u8(song::kChannelVolume + ch, used ? m.channelVolume[ch] : 64);
    }

    const size_t orderList = f.append(ordNum);
    for (size_t i = 0; i < m.orders.size(); ++i)
        f.u8(orderList + i, m.orders[i]);
    f.u8(orderList + ordNum - 1, song::kOrderEnd);

    const size_t sampleTable = f.append(4 * smpNum);
    const size_t patternTable = f.append(4 * patNum);

    std::vector<size_t> headers;
    for (size_t i = 0; i < smpNum; ++i) {
        const ModuleSample& s = m.samples[i];
        const size_t at = f.append(smp::kSize);
        headers.push_back(at);
        f.u32(sampleTable + 4 * i, static_cast<uint32_t>(at));
        f.text(at + smp::kSignature, "IMPS", 4);
        std::string dosName = s.name.substr(0, 8);
        std::transform(dosName.begin(), dosName.end(), dosName.begin(), [](char c) {
            return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        });
        f.text(at + smp::kFileName, dosName, 12);
        f.u8(at + smp::kGlobalVolume, s.globalVolume);
        f.u8(at + smp::kFlags, smp::kHasData | smp::k16Bit | (s.data.looped ? smp::kLooped : 0));
        f.u8(at + smp::kVolume, s.defaultVolume);
        f.text(at + smp::kName, s.name, 26);
        f.u8(at + smp::kConvert, smp::kSigned);
        f.u8(at + smp::kPan, 32);  // not used: no pan flag
        f.u32(at + smp::kLength, static_cast<uint32_t>(s.data.pcm.size()));
        f.u32(at + smp::kLoopBegin, s.data.looped ? s.data.loopStart : 0);
        f.u32(at + smp::kLoopEnd, s.data.looped ? s.data.loopEnd : 0);
        f.u32(at + smp::kRate, s.data.c5speed);
    }

    for (size_t i = 0; i < patNum; ++i) {
        const Pattern& p = m.patterns[i];
        const std::vector<uint8_t> packed = packPattern(p);
        require(packed.size() < 65536, "pattern too large");
        const size_t at = f.append(pat::kSize);
        f.u32(patternTable + 4 * i, static_cast<uint32_t>(at));
        f.u16(at + pat::kLength, static_cast<unsigned>(packed.size()));
        f.u16(at + pat::kRows, p.rows);
        f.bytes.insert(f.bytes.end(), packed.begin(), packed.end());
    }

    for (size_t i = 0; i < smpNum; ++i) {
        const std::vector<int16_t>& pcm = m.samples[i].data.pcm;
        const size_t at = f.append(2 * pcm.size());
        f.u32(headers[i] + smp::kDataOffset, static_cast<uint32_t>(at));
        for (size_t k = 0; k < pcm.size(); ++k)
            f.u16(at + 2 * k, static_cast<uint16_t>(pcm[k]));
    }
    return f.bytes;
}

}  // namespace musgen
