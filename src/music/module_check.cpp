#include "music/module_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace {

constexpr size_t kHeaderSize = 0xC0;
constexpr size_t kInstrumentSize = 550;  // what the reader takes of an instrument
constexpr size_t kEnvelopeSize = 82;
constexpr size_t kSampleHeaderSize = 0x50;
constexpr size_t kMidiConfigSize = 32 * (9 + 16 + 128);
constexpr size_t kMaxFileSize = 64u << 20;
// Compressed data can claim far more frames than the file holds; the player allocates them all.
constexpr uint32_t kMaxSampleLength = kMaxFileSize;
// The tracker's own limit; far larger rates make the player's resampler spin without end.
constexpr uint32_t kMaxSampleRate = 9999999;

// A stretch of the file that the reader takes, read strictly forward in offset order.
struct Extent {
    size_t begin, end;
    std::string what;
};

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& f) : f_(f) {}
    bool has(size_t at, size_t n) const { return at <= f_.size() && n <= f_.size() - at; }
    unsigned u8(size_t at) const { return f_[at]; }
    unsigned u16(size_t at) const { return f_[at] | (f_[at + 1] << 8); }
    uint32_t u32(size_t at) const
    {
        return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16);
    }
    size_t size() const { return f_.size(); }

private:
    const std::vector<uint8_t>& f_;
};

std::string num(size_t n)
{
    return std::to_string(n);
}

bool fail(std::string& problem, const std::string& what)
{
    problem = what;
    return false;
}

// An instrument: signature, keyboard table and, in the 2.00+ format (`old` false), the three
// envelopes. The older format has one volume envelope of fixed size.
bool check_instrument(const Reader& r, size_t at, int n, bool old, std::string& problem)
{
    const std::string name = "instrument " + num(n);
    if (r.u8(at) != 'I' || r.u8(at + 1) != 'M' || r.u8(at + 2) != 'P' || r.u8(at + 3) != 'I')
        return fail(problem, name + " has no IMPI signature");
    for (int k = 0; k < 120; k++)
        if (r.u8(at + 0x40 + 2 * k) > 119)
            return fail(problem, name + ": its keyboard table maps to note " +
                                     num(r.u8(at + 0x40 + 2 * k)));
    static const char* const kEnvelopes[] = {"volume", "panning", "pitch"};
    for (int e = 0; e < (old ? 0 : 3); e++) {
        const unsigned nodes = r.u8(at + 0x130 + e * kEnvelopeSize + 1);
        if (nodes > 25)
            return fail(problem, name + ": its " + kEnvelopes[e] + " envelope has " + num(nodes) +
                                     " nodes, at most 25 are allowed");
    }
    return true;
}

// A sample header and, when it has data, where that data lies.
bool check_sample(const Reader& r, size_t at, int n, std::vector<Extent>& extents,
                  std::string& problem)
{
    const std::string name = "sample " + num(n);
    if (r.u8(at) != 'I' || r.u8(at + 1) != 'M' || r.u8(at + 2) != 'P' || r.u8(at + 3) != 'S')
        return fail(problem, name + " has no IMPS signature");
    const unsigned flags = r.u8(at + 0x12);
    const uint32_t length = r.u32(at + 0x30);
    if (!(flags & 1) || length == 0)
        return true;
    if (length > kMaxSampleLength)
        return fail(problem, name + " claims " + num(length) + " sample frames");
    const uint32_t rate = r.u32(at + 0x3C);
    if (rate == 0 || rate > kMaxSampleRate)
        return fail(problem, name + " has a playback rate of " + num(rate) + " Hz (1.." +
                                 num(kMaxSampleRate) + " allowed)");
    const bool wide = flags & 2, stereo = flags & 4, packed = flags & 8;
    const size_t data = r.u32(at + 0x48);
    if (packed && stereo)
        return fail(problem, name + " is compressed stereo, which the player cannot read");
    size_t bytes = 0;
    if (packed) {
        // Blocks of up to 0x8000 (8-bit) or 0x4000 (16-bit) samples, each a u16 size and its bytes.
        const uint32_t per_block = wide ? 0x4000 : 0x8000;
        for (uint32_t left = length; left > 0; left -= std::min(left, per_block)) {
            if (!r.has(data + bytes, 2) || !r.has(data + bytes + 2, r.u16(data + bytes)))
                return fail(problem, name + ": its compressed data runs past the end of the file");
            bytes += 2 + r.u16(data + bytes);
        }
    } else {
        bytes = static_cast<size_t>(length) * (wide ? 2 : 1) * (stereo ? 2 : 1);
        if (!r.has(data, bytes))
            return fail(problem, name + ": its data runs past the end of the file");
    }
    extents.push_back({data, data + bytes, "the data of " + name});
    return true;
}

// A packed pattern decoded as the reader decodes it: channel byte, mask (new or remembered per
// channel), then the fields the mask names; byte 0 ends a row.
bool check_pattern(const Reader& r, size_t at, int n, std::string& problem)
{
    const std::string name = "pattern " + num(n);
    const size_t length = r.u16(at);
    const unsigned rows = r.u16(at + 2);
    if (rows == 0)
        return fail(problem, name + " has no rows");
    if (!r.has(at + 8, length))
        return fail(problem, name + " runs past the end of the file");
    static const int kFieldBytes[16] = {0, 1, 1, 2, 1, 2, 2, 3, 2, 3, 3, 4, 3, 4, 4, 5};
    unsigned masks[64] = {};
    uint64_t used = 0;  // channels that have an event in this row
    unsigned row = 0;
    size_t p = at + 8;
    const size_t end = p + length;
    while (p < end) {
        const unsigned b = r.u8(p++);
        if (b == 0) {
            row++;
            used = 0;
            continue;
        }
        const std::string where = name + ", row " + num(row);
        const unsigned channel = (b - 1) & 63;
        if (b & 128) {
            if (p >= end)
                return fail(problem, where + ": an event is cut off at the end of the pattern");
            masks[channel] = r.u8(p++);
        }
        const unsigned mask = masks[channel];
        if (p + kFieldBytes[mask & 15] > end)
            return fail(problem, where + ": an event is cut off at the end of the pattern");
        if (mask == 0)
            continue;
        if (used & (uint64_t{1} << channel))
            return fail(problem, where + ": two events on channel " + num(channel + 1));
        used |= uint64_t{1} << channel;
        size_t q = p + ((mask & 1) ? 1 : 0) + ((mask & 2) ? 1 : 0) + ((mask & 4) ? 1 : 0);
        if (mask & 8) {
            const unsigned effect = r.u8(q);
            if (effect > 26)
                return fail(problem, where + ", channel " + num(channel + 1) + ": effect byte " +
                                         num(effect) + " is not a command A..Z");
        }
        p += kFieldBytes[mask & 15];
    }
    if (row < rows)
        return fail(problem, name + " ends after " + num(row) + " of its " + num(rows) + " rows");
    return true;
}

}  // namespace

bool check_module(const std::vector<uint8_t>& file, std::string& problem)
{
    const Reader r(file);
    if (!r.has(0, kHeaderSize))
        return fail(problem, "is too short for a module header");
    if (r.u8(0) != 'I' || r.u8(1) != 'M' || r.u8(2) != 'P' || r.u8(3) != 'M')
        return fail(problem, "is not an Impulse Tracker module (no IMPM signature)");
    const unsigned orders = r.u16(0x20), instruments = r.u16(0x22), samples = r.u16(0x24),
                   patterns = r.u16(0x26), cmwt = r.u16(0x2A), special = r.u16(0x2E);
    if (orders == 0 || orders > 256)
        return fail(problem, "has " + num(orders) + " orders (1..256 allowed)");
    if (instruments > 256 || samples > 256 || patterns > 256)
        return fail(problem, "has more than 256 instruments, samples or patterns");
    if (r.u8(0x33) == 0)
        return fail(problem, "has an initial tempo of 0");
    if (!(r.u16(0x2C) & 128) != !(special & 8))  // the player complains on stderr about these
        return fail(problem, "its flags and special field disagree about a MIDI configuration");

    const size_t tables = kHeaderSize + orders;
    size_t body = tables + 4 * (static_cast<size_t>(instruments) + samples + patterns);
    if (!r.has(0, body))
        return fail(problem, "ends inside its order list or offset tables");

    // The song must reach a pattern before its first end mark, or the player searches forever.
    bool playable = false, ended = false;
    for (unsigned i = 0; i < orders; i++) {
        const unsigned o = r.u8(kHeaderSize + i);
        if (o >= 200 && o < 254)
            return fail(problem, "order " + num(i) + " is " + num(o) + ", not a pattern number");
        ended = ended || o == 255;
        playable = playable || (!ended && o < patterns);
    }
    if (!playable)
        return fail(problem, "has no pattern in its order list before the end mark");

    if (special & 8) {  // embedded MIDI configuration, read right after the tables
        if (!r.has(body, 2) || !r.has(body + 2, 8 * r.u16(body) + kMidiConfigSize))
            return fail(problem, "ends inside its MIDI configuration");
        body += 2 + 8 * r.u16(body) + kMidiConfigSize;
    }

    std::vector<Extent> extents;
    if (special & 1) {
        const size_t at = r.u32(0x38), len = r.u16(0x36);
        if (!r.has(at, len))
            return fail(problem, "its message runs past the end of the file");
        extents.push_back({at, at + len, "the message"});
    }
    for (unsigned i = 0; i < instruments; i++) {
        const size_t at = r.u32(tables + 4 * i);
        if (!r.has(at, kInstrumentSize))
            return fail(problem, "instrument " + num(i + 1) + " lies outside the file");
        if (!check_instrument(r, at, i + 1, cmwt < 0x200, problem))
            return false;
        extents.push_back({at, at + kInstrumentSize, "instrument " + num(i + 1)});
    }
    const size_t sample_table = tables + 4 * instruments;
    for (unsigned i = 0; i < samples; i++) {
        const size_t at = r.u32(sample_table + 4 * i);
        if (!r.has(at, kSampleHeaderSize))
            return fail(problem, "sample " + num(i + 1) + " lies outside the file");
        if (!check_sample(r, at, i + 1, extents, problem))
            return false;
        extents.push_back({at, at + kSampleHeaderSize, "sample " + num(i + 1)});
    }
    const size_t pattern_table = sample_table + 4 * samples;
    for (unsigned i = 0; i < patterns; i++) {
        const size_t at = r.u32(pattern_table + 4 * i);
        if (at == 0)
            continue;  // an empty 64-row pattern
        if (!r.has(at, 8))
            return fail(problem, "pattern " + num(i) + " lies outside the file");
        if (!check_pattern(r, at, i, problem))
            return false;
        extents.push_back({at, at + 8 + r.u16(at), "pattern " + num(i)});
    }

    // The reader only moves forward: nothing may start inside the header or overlap another part.
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.begin < b.begin; });
    size_t reached = body;
    std::string previous = "the header";
    for (const Extent& e : extents) {
        if (e.begin < reached)
            return fail(problem, e.what + " overlaps " + previous);
        reached = e.end;
        previous = e.what;
    }
    return true;
}

namespace {
std::map<std::string, std::string>& noted_faults()
{
    static std::map<std::string, std::string> faults;
    return faults;
}
}  // namespace

void note_module_fault(const std::string& path, const std::string& problem)
{
    noted_faults()[path] = problem;
}

bool check_module_file(const std::string& path, std::string& problem)
{
    const auto noted = noted_faults().find(path);
    if (noted != noted_faults().end())
        return fail(problem, noted->second);
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return fail(problem, errno == ENOENT ? "file is missing" : std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail(problem, S_ISDIR(st.st_mode) ? "is a directory, not a file" : "is not a file");
    if (static_cast<size_t>(st.st_size) > kMaxFileSize)
        return fail(problem, "is larger than 64 MB");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(problem, "cannot be read");
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return check_module(data, problem);
}
