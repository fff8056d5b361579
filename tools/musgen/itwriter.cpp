#include "itwriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace musgen {

namespace {

class ByteWriter {
public:
    void u8(int v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(int v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<int>((v >> (8 * i)) & 0xFF));
    }
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? s[i] : 0);
    }
    void patchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
    }
    size_t size() const { return bytes.size(); }
    std::vector<uint8_t> bytes;
};

void require(bool ok, const char* what) {
    if (!ok) throw std::invalid_argument(std::string("writeIt: ") + what);
}

std::vector<uint8_t> packPattern(const Pattern& p) {
    std::vector<uint8_t> out;
    for (int row = 0; row < p.rows; ++row) {
        for (int ch = 0; ch < p.channels; ++ch) {
            const Cell& c = p.at(row, ch);
            if (c.empty()) continue;
            int mask = 0;
            if (c.note >= 0) mask |= 1;
            if (c.sample > 0) mask |= 2;
            if (c.volume >= 0) mask |= 4;
            if (c.effect > 0) mask |= 8;
            out.push_back(static_cast<uint8_t>((ch + 1) | 0x80));
            out.push_back(static_cast<uint8_t>(mask));
            if (mask & 1) out.push_back(static_cast<uint8_t>(c.note));
            if (mask & 2) out.push_back(static_cast<uint8_t>(c.sample));
            if (mask & 4) out.push_back(static_cast<uint8_t>(c.volume));
            if (mask & 8) {
                out.push_back(static_cast<uint8_t>(c.effect));
                out.push_back(static_cast<uint8_t>(c.param));
            }
        }
        out.push_back(0);
    }
    return out;
}

void validate(const Module& m) {
    require(m.initialTempo >= 32 && m.initialTempo <= 255, "tempo out of range");
    require(m.initialSpeed >= 1 && m.initialSpeed <= 255, "speed out of range");
    require(m.globalVolume >= 0 && m.globalVolume <= 128, "global volume out of range");
    require(m.mixVolume >= 0 && m.mixVolume <= 128, "mix volume out of range");
    const size_t nch = m.channelPan.size();
    require(nch >= 1 && nch <= 64 && m.channelVolume.size() == nch, "channel tables");
    require(!m.orders.empty() && m.orders.size() < 256, "order count");
    require(!m.samples.empty() && m.samples.size() < 100, "sample count");
    require(!m.patterns.empty() && m.patterns.size() < 200, "pattern count");
    for (int o : m.orders) require(o >= 0 && o < static_cast<int>(m.patterns.size()), "order refers to no pattern");
    for (const ModuleSample& s : m.samples) {
        require(!s.data.pcm.empty(), "empty sample");
        if (s.data.looped)
            require(s.data.loopStart < s.data.loopEnd && s.data.loopEnd <= s.data.pcm.size(), "loop bounds");
    }
    for (const Pattern& p : m.patterns) {
        require(p.rows >= 1 && p.rows <= 200 && p.channels == static_cast<int>(nch), "pattern shape");
        require(p.cells.size() == static_cast<size_t>(p.rows * p.channels), "pattern size");
        for (const Cell& c : p.cells) {
            require(c.note < 120 || c.note == kNoteCut, "note out of range");
            require(c.sample <= static_cast<int>(m.samples.size()), "sample number");
            require(c.volume <= 64, "volume column out of range");
            // Effect bytes above Z are player-internal in some readers.
            require(c.effect >= 0 && c.effect <= 26 && c.param >= 0 && c.param <= 255, "effect out of range");
        }
    }
}

}  // namespace

std::vector<uint8_t> writeIt(const Module& m) {
    validate(m);
    ByteWriter w;
    const int ordNum = static_cast<int>(m.orders.size()) + 1;  // with the end marker
    const int smpNum = static_cast<int>(m.samples.size());
    const int patNum = static_cast<int>(m.patterns.size());

    w.text("IMPM", 4);
    w.text(m.name, 26);
    w.u8(4);   // row highlight: minor
    w.u8(32);  // row highlight: major (one scene)
    w.u16(ordNum);
    w.u16(0);  // no instruments: sample mode
    w.u16(smpNum);
    w.u16(patNum);
    w.u16(0x0214);  // created with
    w.u16(0x0214);  // compatible with
    w.u16(0x09);    // stereo, linear slides
    w.u16(0);       // special: no message
    w.u8(m.globalVolume);
    w.u8(m.mixVolume);
    w.u8(m.initialSpeed);
    w.u8(m.initialTempo);
    w.u8(128);  // stereo separation
    w.u8(0);    // pitch wheel depth
    w.u16(0);   // message length
    w.u32(0);   // message offset
    w.u32(0);   // reserved
    for (size_t ch = 0; ch < 64; ++ch) w.u8(ch < m.channelPan.size() ? m.channelPan[ch] : (32 | 128));
    for (size_t ch = 0; ch < 64; ++ch) w.u8(ch < m.channelVolume.size() ? m.channelVolume[ch] : 64);

    for (int o : m.orders) w.u8(o);
    w.u8(255);

    const size_t sampleTable = w.size();
    for (int i = 0; i < smpNum; ++i) w.u32(0);
    const size_t patternTable = w.size();
    for (int i = 0; i < patNum; ++i) w.u32(0);

    std::vector<size_t> dataPointerFields;
    for (int i = 0; i < smpNum; ++i) {
        const ModuleSample& s = m.samples[static_cast<size_t>(i)];
        w.patchU32(sampleTable + 4 * static_cast<size_t>(i), static_cast<uint32_t>(w.size()));
        w.text("IMPS", 4);
        std::string dosName = s.name.substr(0, 8);
        std::transform(dosName.begin(), dosName.end(), dosName.begin(), [](char c) {
            return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        });
        w.text(dosName, 12);
        w.u8(0);
        w.u8(s.globalVolume);
        w.u8(0x01 | 0x02 | (s.data.looped ? 0x10 : 0));  // data present, 16-bit, loop
        w.u8(s.defaultVolume);
        w.text(s.name, 26);
        w.u8(0x01);  // signed samples
        w.u8(32);    // default pan, not used
        w.u32(static_cast<uint32_t>(s.data.pcm.size()));
        w.u32(s.data.looped ? s.data.loopStart : 0);
        w.u32(s.data.looped ? s.data.loopEnd : 0);
        w.u32(s.data.c5speed);
        w.u32(0);  // sustain loop
        w.u32(0);
        dataPointerFields.push_back(w.size());
        w.u32(0);
        w.u32(0);  // vibrato speed, depth, rate, type
    }

    for (int i = 0; i < patNum; ++i) {
        const Pattern& p = m.patterns[static_cast<size_t>(i)];
        w.patchU32(patternTable + 4 * static_cast<size_t>(i), static_cast<uint32_t>(w.size()));
        const std::vector<uint8_t> packed = packPattern(p);
        require(packed.size() < 65536, "pattern too large");
        w.u16(static_cast<int>(packed.size()));
        w.u16(p.rows);
        w.u32(0);
        w.bytes.insert(w.bytes.end(), packed.begin(), packed.end());
    }

    for (int i = 0; i < smpNum; ++i) {
        w.patchU32(dataPointerFields[static_cast<size_t>(i)], static_cast<uint32_t>(w.size()));
        for (int16_t v : m.samples[static_cast<size_t>(i)].data.pcm) w.u16(static_cast<uint16_t>(v));
    }
    return w.bytes;
}

}  // namespace musgen
