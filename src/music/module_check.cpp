#include "music/module_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "music/it_layout.h"

namespace {

constexpr size_t kMaxFileSize = 64u << 20;
// Compressed data can claim far more frames than the file holds; the player allocates them all.
constexpr uint32_t kMaxSampleLength = kMaxFileSize;
// The tracker's own limit; far larger rates make the player's resampler spin without end.
constexpr uint32_t kMaxSampleRate = 9999999;
// The lowest rate the player's resampler can step through at 48000 Hz: its step is the rate at
// the note played over 48000, in 1/65536 of a frame rounded to a whole number, and it divides by
// that step. Notes and slides take a sample down to 2^(-128/12) of its rate (the player's
// limit), so below about 600 Hz the step can round to 0 (at 1 Hz, any note below C-5 does).
constexpr uint32_t kMinSampleRate = 600;

// A stretch of the file that the reader takes, read strictly forward in offset order.
struct Extent {
    size_t begin, end;
    std::string what;
};

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& f) : f_(f) {}
    bool has(size_t at, size_t n) const { return at <= f_.size() && n <= f_.size() - at; }
    unsigned u8(size_t at) const { return it::get8(f_, at); }
    unsigned u16(size_t at) const { return it::get16(f_, at); }
    uint32_t u32(size_t at) const { return it::get32(f_, at); }
    bool signature(size_t at, const char* s) const
    {
        return u8(at) == uint8_t(s[0]) && u8(at + 1) == uint8_t(s[1]) &&
               u8(at + 2) == uint8_t(s[2]) && u8(at + 3) == uint8_t(s[3]);
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
    namespace in = it::instrument;
    if (!r.signature(at + in::kSignature, "IMPI"))
        return fail(problem, name + " has no IMPI signature");
    for (int k = 0; k < in::kKeys; k++) {
        const unsigned note = r.u8(at + in::kKeyboard + 2 * k);
        if (note >= in::kKeys)
            return fail(problem, name + ": its keyboard table maps to note " + num(note));
    }
    static const char* const kEnvelopes[] = {"volume", "panning", "pitch"};
    for (int e = 0; e < (old ? 0 : 3); e++) {
        const unsigned nodes =
            r.u8(at + in::kEnvelopes + e * in::kEnvelopeSize + in::kEnvelopeNodeCount);
        if (nodes > in::kMaxNodes)
            return fail(problem, name + ": its " + kEnvelopes[e] + " envelope has " + num(nodes) +
                                     " nodes, at most " + num(in::kMaxNodes) + " are allowed");
    }
    return true;
}

// A sample header and, when it has data, where that data lies.
bool check_sample(const Reader& r, size_t at, int n, std::vector<Extent>& extents,
                  std::string& problem)
{
    const std::string name = "sample " + num(n);
    namespace smp = it::sample;
    if (!r.signature(at + smp::kSignature, "IMPS"))
        return fail(problem, name + " has no IMPS signature");
    const unsigned flags = r.u8(at + smp::kFlags);
    const uint32_t length = r.u32(at + smp::kLength);
    if (!(flags & smp::kHasData) || length == 0)
        return true;
    if (length > kMaxSampleLength)
        return fail(problem, name + " claims " + num(length) + " sample frames");
    const uint32_t rate = r.u32(at + smp::kRate);
    if (rate < kMinSampleRate)
        return fail(problem, name + " has a playback rate of " + num(rate) +
                                 " Hz: played low, "
                                 "the player would step through it by 0 and divide by that step (" +
                                 num(kMinSampleRate) + ".." + num(kMaxSampleRate) + " Hz allowed)");
    if (rate > kMaxSampleRate)
        return fail(problem, name + " has a playback rate of " + num(rate) +
                                 " Hz: the player's "
                                 "resampler would spin on it (" +
                                 num(kMinSampleRate) + ".." + num(kMaxSampleRate) + " Hz allowed)");
    const bool wide = flags & smp::k16Bit, stereo = flags & smp::kStereo,
               packed = flags & smp::kCompressed;
    const size_t data = r.u32(at + smp::kDataOffset);
    if (packed && stereo)
        return fail(problem, name + " is compressed stereo, which the player cannot read");
    size_t bytes = 0;
    if (packed) {
        const uint32_t per_block = wide ? smp::kBlockFrames16 : smp::kBlockFrames8;
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
    namespace pat = it::pattern;
    const size_t length = r.u16(at + pat::kLength);
    const unsigned rows = r.u16(at + pat::kRows);
    if (rows == 0)
        return fail(problem, name + " has no rows");
    if (!r.has(at + pat::kSize, length))
        return fail(problem, name + " runs past the end of the file");
    static const int kFieldBytes[16] = {0, 1, 1, 2, 1, 2, 2, 3, 2, 3, 3, 4, 3, 4, 4, 5};
    unsigned masks[64] = {};
    uint64_t used = 0;  // channels that have an event in this row
    unsigned row = 0;
    size_t p = at + pat::kSize;
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
        if (b & pat::kMaskFollows) {
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
        const size_t q = p + ((mask & pat::kNote) ? 1 : 0) + ((mask & pat::kInstrument) ? 1 : 0) +
                         ((mask & pat::kVolume) ? 1 : 0);
        if (mask & pat::kCommand) {
            const unsigned effect = r.u8(q);
            if (effect > pat::kLastCommand)
                return fail(problem, where + ", channel " + num(channel + 1) + ": effect byte " +
                                         num(effect) + " is not a command A..Z");
        }
        p += kFieldBytes[mask & 15];
    }
    if (row < rows)
        return fail(problem, name + " ends after " + num(row) + " of its " + num(rows) + " rows");
    return true;
}

// The song header, the order list and the MIDI configuration after the offset tables. Sets
// `body` to where the records may begin.
bool check_song(const Reader& r, size_t& body, std::string& problem)
{
    namespace song = it::song;
    if (!r.has(0, song::kSize))
        return fail(problem, "is too short for a module header");
    if (!r.signature(song::kSignature, "IMPM"))
        return fail(problem, "is not an Impulse Tracker module (no IMPM signature)");
    const unsigned orders = r.u16(song::kOrders), instruments = r.u16(song::kInstruments),
                   samples = r.u16(song::kSamples), patterns = r.u16(song::kPatterns),
                   special = r.u16(song::kSpecial);
    if (orders == 0 || orders > 256)
        return fail(problem, "has " + num(orders) + " orders (1..256 allowed)");
    if (instruments > 256 || samples > 256 || patterns > 256)
        return fail(problem, "has more than 256 instruments, samples or patterns");
    if (r.u8(song::kTempo) == 0)
        return fail(problem, "has an initial tempo of 0, which the player divides by");
    // The player complains on stderr about these.
    if (!(r.u16(song::kFlags) & song::kMidiRequested) != !(special & song::kMidiEmbedded))
        return fail(problem, "its flags and special field disagree about a MIDI configuration");

    const size_t tables = song::kSize + orders;
    body = tables + 4 * (static_cast<size_t>(instruments) + samples + patterns);
    if (!r.has(0, body))
        return fail(problem, "ends inside its order list or offset tables");

    // The song must reach a pattern before its first end mark, or the player searches forever.
    bool playable = false, ended = false;
    for (unsigned i = 0; i < orders; i++) {
        const unsigned o = r.u8(song::kSize + i);
        if (o >= 200 && o < song::kOrderSkip)
            return fail(problem, "order " + num(i) + " is " + num(o) + ", not a pattern number");
        ended = ended || o == song::kOrderEnd;
        playable = playable || (!ended && o < patterns);
    }
    if (!playable)
        return fail(problem, "has no pattern in its order list before the end mark");

    if (special & song::kMidiEmbedded) {  // read right after the tables
        if (!r.has(body, 2))
            return fail(problem, "ends inside its MIDI configuration");
        const size_t size = song::kEditEntrySize * r.u16(body) + song::kMidiConfigSize;
        if (!r.has(body + 2, size))
            return fail(problem, "ends inside its MIDI configuration");
        body += 2 + size;
    }
    return true;
}

// The message, instruments, sample headers with their data, and patterns the offset tables
// name, each checked; where each lies goes to `extents`.
bool check_records(const Reader& r, std::vector<Extent>& extents, std::string& problem)
{
    namespace song = it::song;
    const unsigned orders = r.u16(song::kOrders), instruments = r.u16(song::kInstruments),
                   samples = r.u16(song::kSamples), patterns = r.u16(song::kPatterns),
                   cmwt = r.u16(song::kCompatibleWith), special = r.u16(song::kSpecial);
    const size_t tables = song::kSize + orders;
    if (special & song::kHasMessage) {
        const size_t at = r.u32(song::kMessageOffset), len = r.u16(song::kMessageLength);
        if (!r.has(at, len))
            return fail(problem, "its message runs past the end of the file");
        extents.push_back({at, at + len, "the message"});
    }
    for (unsigned i = 0; i < instruments; i++) {
        const size_t at = r.u32(tables + 4 * i);
        if (!r.has(at, it::instrument::kReadSize))
            return fail(problem, "instrument " + num(i + 1) + " lies outside the file");
        if (!check_instrument(r, at, i + 1, cmwt < song::kNewInstruments, problem))
            return false;
        extents.push_back({at, at + it::instrument::kReadSize, "instrument " + num(i + 1)});
    }
    const size_t sample_table = tables + 4 * instruments;
    for (unsigned i = 0; i < samples; i++) {
        const size_t at = r.u32(sample_table + 4 * i);
        if (!r.has(at, it::sample::kSize))
            return fail(problem, "sample " + num(i + 1) + " lies outside the file");
        if (!check_sample(r, at, i + 1, extents, problem))
            return false;
        extents.push_back({at, at + it::sample::kSize, "sample " + num(i + 1)});
    }
    const size_t pattern_table = sample_table + 4 * samples;
    for (unsigned i = 0; i < patterns; i++) {
        const size_t at = r.u32(pattern_table + 4 * i);
        if (at == 0)
            continue;  // an empty 64-row pattern
        if (!r.has(at, it::pattern::kSize))
            return fail(problem, "pattern " + num(i) + " lies outside the file");
        if (!check_pattern(r, at, i, problem))
            return false;
        extents.push_back(
            {at, at + it::pattern::kSize + r.u16(at + it::pattern::kLength), "pattern " + num(i)});
    }
    return true;
}

// The reader only moves forward: nothing may start inside the header (before `body`) or overlap
// another part.
bool check_layout(std::vector<Extent>& extents, size_t body, std::string& problem)
{
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

}  // namespace

bool check_module(const std::vector<uint8_t>& file, std::string& problem)
{
    const Reader r(file);
    size_t body = 0;
    std::vector<Extent> extents;
    return check_song(r, body, problem) && check_records(r, extents, problem) &&
           check_layout(extents, body, problem);
}

bool check_module_file(const std::string& path, std::string& problem)
{
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
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    return check_module(data, problem);
}
