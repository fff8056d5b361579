// The Impulse Tracker module's layout: where each record's fields lie and what their bits mean,
// plus little-endian reads and writes at those offsets. The module check reads by it, the
// soundtrack generator and the tests' module builder write by it.
//
// A file: the song header, its order list, three tables of u32 file offsets (instruments, samples,
// patterns), then the records those offsets point at, in any order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace it {

// The song header ("IMPM"); the order list follows it directly.
namespace song {
constexpr size_t kSignature = 0x00;
constexpr size_t kName = 0x04;       // 26 bytes
constexpr size_t kHighlight = 0x1E;  // u8 rows per beat, u8 rows per measure
constexpr size_t kOrders = 0x20;     // u16 counts, in the order the tables follow
constexpr size_t kInstruments = 0x22;
constexpr size_t kSamples = 0x24;
constexpr size_t kPatterns = 0x26;
constexpr size_t kCreatedWith = 0x28;  // u16 tracker versions
constexpr size_t kCompatibleWith = 0x2A;
constexpr size_t kFlags = 0x2C;         // u16, kStereo...
constexpr size_t kSpecial = 0x2E;       // u16, kHasMessage...
constexpr size_t kGlobalVolume = 0x30;  // u8 each, to kPitchWheelDepth
constexpr size_t kMixVolume = 0x31;
constexpr size_t kSpeed = 0x32;
constexpr size_t kTempo = 0x33;
constexpr size_t kSeparation = 0x34;
constexpr size_t kPitchWheelDepth = 0x35;
constexpr size_t kMessageLength = 0x36;  // u16
constexpr size_t kMessageOffset = 0x38;  // u32
constexpr size_t kChannelPan = 0x40;     // 64 bytes: 0..64, +kChannelOff
constexpr size_t kChannelVolume = 0x80;  // 64 bytes: 0..64
constexpr size_t kSize = 0xC0;
constexpr size_t kChannels = 64;

// kFlags
constexpr unsigned kStereo = 0x01;
constexpr unsigned kUseInstruments = 0x04;
constexpr unsigned kLinearSlides = 0x08;
constexpr unsigned kMidiRequested = 0x80;
// kSpecial
constexpr unsigned kHasMessage = 0x01;
constexpr unsigned kMidiEmbedded = 0x08;  // edit history and MIDI configuration after the tables
constexpr size_t kEditEntrySize = 8;
constexpr size_t kMidiConfigSize = 32 * (9 + 16 + 128);

constexpr unsigned kChannelOff = 128;
// Order list entries other than pattern numbers.
constexpr unsigned kOrderSkip = 254;
constexpr unsigned kOrderEnd = 255;
// kCompatibleWith below this: instruments in the old format.
constexpr unsigned kNewInstruments = 0x200;
}  // namespace song

// An instrument ("IMPI"). Both formats keep the keyboard table here; only the new one has the
// three envelopes, the old one a single volume envelope of another shape.
namespace instrument {
constexpr size_t kSignature = 0x00;
constexpr size_t kFileName = 0x04;       // 12 bytes
constexpr size_t kNewNoteAction = 0x11;  // u8 each: action, duplicate check, duplicate action
constexpr size_t kFadeout = 0x14;        // u16
constexpr size_t kPitchPanSeparation = 0x16;
constexpr size_t kPitchPanCentre = 0x17;
constexpr size_t kGlobalVolume = 0x18;
constexpr size_t kPan = 0x19;
constexpr size_t kCreatedWith = 0x1C;  // u16
constexpr size_t kSampleCount = 0x1E;
constexpr size_t kName = 0x20;        // 26 bytes
constexpr size_t kKeyboard = 0x40;    // 120 pairs of note, sample
constexpr size_t kEnvelopes = 0x130;  // volume, panning, pitch
constexpr size_t kEnvelopeSize = 82;  // flags, node count, four loop points, 25 nodes, a pad
constexpr size_t kEnvelopeFlags = 0;
constexpr size_t kEnvelopeNodeCount = 1;
constexpr size_t kEnvelopeNodes = 6;  // u8 value, u16 tick each
constexpr size_t kNodeSize = 3;
constexpr size_t kSize = 554;
constexpr size_t kReadSize = 550;  // what the player takes of it
constexpr int kKeys = 120;
constexpr unsigned kMaxNodes = 25;
constexpr unsigned kEnvelopeOn = 0x01;
}  // namespace instrument

// A sample header ("IMPS").
namespace sample {
constexpr size_t kSignature = 0x00;
constexpr size_t kFileName = 0x04;  // 12 bytes
constexpr size_t kGlobalVolume = 0x11;
constexpr size_t kFlags = 0x12;  // kHasData...
constexpr size_t kVolume = 0x13;
constexpr size_t kName = 0x14;     // 26 bytes
constexpr size_t kConvert = 0x2E;  // kSigned
constexpr size_t kPan = 0x2F;
constexpr size_t kLength = 0x30;  // u32 each, in frames and Hz, to kDataOffset
constexpr size_t kLoopBegin = 0x34;
constexpr size_t kLoopEnd = 0x38;
constexpr size_t kRate = 0x3C;
constexpr size_t kSustainBegin = 0x40;
constexpr size_t kSustainEnd = 0x44;
constexpr size_t kDataOffset = 0x48;
constexpr size_t kVibrato = 0x4C;  // u8 speed, depth, rate, type
constexpr size_t kSize = 0x50;

// kFlags
constexpr unsigned kHasData = 0x01;
constexpr unsigned k16Bit = 0x02;
constexpr unsigned kStereo = 0x04;
constexpr unsigned kCompressed = 0x08;
constexpr unsigned kLooped = 0x10;
// kConvert
constexpr unsigned kSigned = 0x01;
// Compressed data: blocks of this many frames, each a u16 byte count and its bytes.
constexpr uint32_t kBlockFrames8 = 0x8000;
constexpr uint32_t kBlockFrames16 = 0x4000;
}  // namespace sample

// A pattern: this header, then the packed rows. Offset 0 in the table stands for an empty
// 64-row pattern.
namespace pattern {
constexpr size_t kLength = 0x00;  // u16 bytes of packed data
constexpr size_t kRows = 0x02;    // u16
constexpr size_t kSize = 8;
// Packed data: a channel byte (channel + 1, kMaskFollows when a new mask follows, 0 ends the
// row), then the fields the channel's mask names, in this order.
constexpr unsigned kMaskFollows = 0x80;
constexpr unsigned kNote = 0x01;        // u8
constexpr unsigned kInstrument = 0x02;  // u8
constexpr unsigned kVolume = 0x04;      // u8
constexpr unsigned kCommand = 0x08;     // u8 command (A = 1), u8 parameter
constexpr unsigned kLastCommand = 26;   // Z
}  // namespace pattern

inline unsigned get8(const std::vector<uint8_t>& f, size_t at)
{
    return f[at];
}
inline unsigned get16(const std::vector<uint8_t>& f, size_t at)
{
    return f[at] | (f[at + 1] << 8);
}
inline uint32_t get32(const std::vector<uint8_t>& f, size_t at)
{
    return get16(f, at) | (static_cast<uint32_t>(get16(f, at + 2)) << 16);
}

// A file being written: records are appended zeroed, then their fields set at their offsets.
struct Image {
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    // Appends `n` zero bytes; returns where they start.
    size_t append(size_t n)
    {
        bytes.resize(bytes.size() + n, 0);
        return bytes.size() - n;
    }
    void u8(size_t at, unsigned v) { bytes[at] = static_cast<uint8_t>(v); }
    void u16(size_t at, unsigned v)
    {
        u8(at, v & 0xFF);
        u8(at + 1, (v >> 8) & 0xFF);
    }
    void u32(size_t at, uint32_t v)
    {
        u16(at, v & 0xFFFF);
        u16(at + 2, v >> 16);
    }
    // `s` cut or padded with zeros to `width` bytes.
    void text(size_t at, const std::string& s, size_t width)
    {
        for (size_t i = 0; i < width && i < s.size(); i++)
            u8(at + i, static_cast<uint8_t>(s[i]));
    }
};

}  // namespace it
