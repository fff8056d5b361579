#include "soundtrack.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "arrangement.h"
#include "synth.h"

namespace musgen {

namespace {

constexpr double kDrumRate = 44100.0;

enum SampleId {
    kKick = 1,
    kSnare,
    kClosedHat,
    kOpenHat,
    kCrash,
    kBass,
    kPadLeft,
    kPadRight,
    kLead,
    kArp,
    kLeadChorus,
    kLeadEcho,
    kPadHigh,
    kPadLeftMid,
    kPadRightMid,
    kPadLeftBright,
    kPadRightBright
};

// The pad in three tones, dark to bright, left and right. Each section
// sweeps through them (the outro back down), every tone opening its filter
// from where the previous one left it.
constexpr int kPadTones = 3;
constexpr int kPadToneLeft[kPadTones] = {kPadLeft, kPadLeftMid, kPadLeftBright};
constexpr int kPadToneRight[kPadTones] = {kPadRight, kPadRightMid, kPadRightBright};

// Channel map. The pad plays every chord tone twice, on a left and on a right
// channel with differently detuned samples, so it fills the stereo field; in
// the chorus a second, brighter pad doubles it an octave higher, one chord
// tone on the left, one in the middle, one on the right.
constexpr int kChKick = 0, kChSnare = 1, kChHat = 2, kChCrash = 3;
constexpr int kChBass[] = {4, 5};
constexpr int kChPadLeft = 6;    // three voices, two channels each: 6..11
constexpr int kChPadRight = 12;  // 12..17
// The lead is on kLeadChannels, 18 and 19.
constexpr int kChEchoLeft[] = {20, 21};
constexpr int kChEchoRight[] = {22, 23};
constexpr int kChArp[] = {24, 25};
constexpr int kChHarmony[] = {26, 27};
constexpr int kChTom = 28;      // the kick tuned up for fills
constexpr int kChPadHigh = 29;  // three voices, two channels each: 29..34
constexpr int kChannels = 35;

struct Chord {
    std::array<int, 3> pad;  // voicing around middle C
    int bass;                // root in the second octave, C a step down into the first
    std::array<int, 4> arp;  // broken-chord tones, low to high, an octave under the melody
};

const Chord kAm{{57, 60, 64}, 45, {57, 60, 64, 69}};
const Chord kF{{57, 60, 65}, 41, {53, 57, 60, 65}};
const Chord kC{{55, 60, 64}, 36, {55, 60, 64, 67}};
const Chord kG{{55, 59, 62}, 43, {55, 59, 62, 67}};
const Chord kEm{{55, 59, 64}, 40, {52, 55, 59, 64}};
const Chord kDm{{57, 62, 65}, 38, {50, 53, 57, 62}};
const Chord kE{{56, 59, 64}, 40, {52, 56, 59, 64}};

// The song, bar by bar. The show starts it with its first scene; a scene is
// one bar, the second cycle of scenes starts at row 8 of bar 5, the third at
// row 12 of bar 9 and the credits at row 4 of bar 13. Their still pause runs
// to row 14 of bar 14 and their fade closes the show 46.7 s in, at row 7 of
// bar 17: the outro's cadence lands on the tonic at bar 15, while the credits
// are still on screen, and has died away by then.
enum class Part {
    Intro,  // bars 0-1: pad, bass and the hook's head as a soft motif; bar 1 adds arpeggio, hats and a fill
    Groove,  // bars 2-3: a sparse beat, eighth-note hats, gated arpeggio; a tom fill into the hook
    Hook,    // bars 4-7: the sung line; at row 8 of bar 5 the beat lifts and a harmony comes in
    Drop,    // bar 8: the beat stops, the pad carries a bar alone until a snare run and a pickup
    Chorus,  // bars 9-12: its own motif high up, a second pad, open hats, crashes; bar 12 the fullest
    Peak,    // bar 13: the top note lands with the credits, held over a hushed bed
    Outro,  // bars 14-17: the hook's head closing on a cadence (Dm E, Am), its ring, a breath
};

struct Bar {
    Part part;
    int index;            // bar number inside its part
    const Chord* first;   // rows 0..15
    const Chord* second;  // rows 16..31
};

std::vector<Bar> songBars()
{
    std::vector<Bar> bars;
    auto add = [&](Part part, std::initializer_list<std::pair<const Chord*, const Chord*>> chords) {
        int i = 0;
        for (const auto& c : chords)
            bars.push_back({part, i++, c.first, c.second});
    };
    add(Part::Intro, {{&kAm, &kF}, {&kC, &kG}});
    add(Part::Groove, {{&kAm, &kEm}, {&kF, &kG}});
    add(Part::Hook, {{&kAm, &kF}, {&kC, &kG}, {&kDm, &kAm}, {&kF, &kG}});
    add(Part::Drop, {{&kDm, &kE}});
    add(Part::Chorus, {{&kF, &kG}, {&kEm, &kAm}, {&kDm, &kG}, {&kF, &kE}});
    add(Part::Peak, {{&kAm, &kAm}});
    add(Part::Outro, {{&kDm, &kE}, {&kAm, &kAm}, {&kAm, &kAm}, {&kAm, &kAm}});
    return bars;
}

struct MelodyNote {
    int note;  // 0 = rest
    int rows;
};
using Phrase = std::vector<MelodyNote>;

// The hook's head, slow and soft, over the intro; it answers itself at the
// end of the groove with a falling pickup into the hook.
const Phrase kMotif = {
    {0, 8},   {69, 4}, {72, 4}, {76, 12}, {74, 4},  // bar 0
    {72, 12}, {0, 4},  {71, 6}, {74, 2},  {71, 8},  // bar 1
};
const Phrase kPickup = {{76, 2}, {74, 2}, {71, 2}};  // rows 26..31 of bar 3
constexpr int kPickupRow = 3 * kRowsPerBar + 26;

// The hook: a rising broken chord that falls back, answered by a syncopated
// climb; every bar has its own rhythm.
const Phrase kHookLine = {
    {69, 4}, {72, 6}, {76, 6}, {74, 4}, {72, 8}, {0, 4},                     // bar 4
    {0, 2},  {74, 2}, {76, 4}, {79, 6}, {81, 2}, {79, 8}, {74, 8},           // bar 5: into the lift
    {74, 4}, {77, 6}, {81, 6}, {79, 2}, {77, 2}, {76, 8}, {0, 4},            // bar 6
    {72, 6}, {74, 2}, {77, 8}, {0, 2},  {74, 2}, {76, 2}, {79, 2}, {83, 8},  // bar 7
    {0, 24}, {76, 2}, {80, 2}, {83, 4},  // bar 8: pickup out of the drop
};
constexpr int kLiftRow = 5 * kRowsPerBar + 8;

// The chorus: a leaping figure a sixth higher, sequenced down and back up;
// its top note is saved for the credits.
const Phrase kChorusLine = {
    {84, 4}, {81, 2}, {84, 6}, {86, 4}, {83, 6},  {79, 2}, {86, 8},           // bar 9
    {83, 4}, {79, 2}, {83, 6}, {84, 4}, {81, 12}, {0, 4},                     // bar 10
    {81, 4}, {77, 2}, {81, 6}, {84, 4}, {79, 4},  {83, 4}, {86, 8},           // bar 11
    {81, 4}, {84, 4}, {86, 6}, {84, 2}, {83, 6},  {80, 2}, {83, 4}, {86, 8},  // bar 12, into 13
};

// The top note, struck softer than the chorus once the picture stands still.
const Phrase kPeakLine = {{88, 24}, {0, 4}};
constexpr int kPeakRow = 13 * kRowsPerBar + 4;

// The hook's head answered by a rise through the dominant's leading tone to the tonic.
const Phrase kOutroLine = {
    {69, 4},  {72, 6}, {77, 6}, {76, 4}, {80, 8}, {83, 4},  // bar 14
    {81, 14},                                               // bar 15: home
};

// The highest tone of the chord at least a minor third under a melody note.
int chordToneBelow(int note, const Chord& c)
{
    for (int n = note - 3; n > note - 12; --n)
        for (int p : c.pad)
            if ((n - p) % 12 == 0)
                return n;
    return note - 12;
}

// How the arpeggio plays a half bar: which chord tone on each sixteenth (-1 a
// rest), how far it is transposed, how long each note sounds and how loud
// each step is.
struct ArpStyle {
    std::array<int, 8> figure;
    int octave;
    int gate;
    std::array<int, 8> volume;
};

// Every section has its own rhythm, and the hook and the chorus change theirs halfway.
// Rolling eighths that ring into each other.
const ArpStyle kArpIntro{{0, -1, 1, -1, 2, -1, 3, -1}, 0, 2, {16, 0, 14, 0, 17, 0, 15, 0}};
// Gated and syncopated, a gap before each offbeat.
const ArpStyle kArpGroove{{0, -1, 2, 3, -1, 2, 1, 3}, 0, 1, {24, 0, 14, 18, 0, 20, 13, 17}};
// Up and down in thirds, accented three-three-two against the beat.
const ArpStyle kArpHook{{0, 2, 1, 3, 2, 0, 1, 3}, 0, 1, {18, 12, 14, 24, 12, 14, 24, 13}};
// The hook's second half: the three-three-two spelled out with rests.
const ArpStyle kArpHookLate{{0, 2, -1, 3, 1, -1, 2, 3}, 0, 1, {22, 13, 0, 22, 13, 0, 22, 14}};
// The drop: a quiet, off-kilter pulse that keeps the tunnel moving without the beat.
const ArpStyle kArpDrop{{0, -1, 1, 2, -1, 3, -1, 2}, 0, 2, {20, 0, 12, 16, 0, 18, 0, 14}};
// An octave up on the lower three tones, under the chorus line, a little longer: a gallop.
const ArpStyle kArpChorus{{0, 1, 2, -1, 2, 0, -1, 2}, 12, 2, {14, 17, 24, 0, 19, 17, 0, 16}};
// The chorus's second half, pushing: the rests moved to the beat's third sixteenth.
const ArpStyle kArpChorusLate{{0, 1, -1, 2, 1, 2, -1, 2}, 12, 1, {16, 14, 0, 24, 15, 19, 0, 17}};

// The chorus line stands above the second pad in the 1-5 kHz band.
constexpr int kChorusLead = 58;
constexpr int kPadHighLevel = 22;
// The chorus's kick and bass: it adds low end to the hook's, not only mids.
constexpr int kChorusKick = 62, kChorusBass = 50;
// The still pause under the credits sits well under the chorus.
constexpr int kPeakLead = 34, kPeakPad = 10, kPeakPadHigh = 8;

struct Band {
    const std::vector<Bar> bars = songBars();
    Arrangement arr{kChannels, kBars, kRowsPerBar};
    Voice bass{arr, {kChBass[0], kChBass[1]}, kBass, 2};
    std::array<Voice, 3> padLeft{
        {Voice{arr, {kChPadLeft + 0, kChPadLeft + 3}, kPadLeft, 3, Handover::Crossfade},
         Voice{arr, {kChPadLeft + 1, kChPadLeft + 4}, kPadLeft, 3, Handover::Crossfade},
         Voice{arr, {kChPadLeft + 2, kChPadLeft + 5}, kPadLeft, 3, Handover::Crossfade}}};
    std::array<Voice, 3> padRight{
        {Voice{arr, {kChPadRight + 0, kChPadRight + 3}, kPadRight, 3, Handover::Crossfade},
         Voice{arr, {kChPadRight + 1, kChPadRight + 4}, kPadRight, 3, Handover::Crossfade},
         Voice{arr, {kChPadRight + 2, kChPadRight + 5}, kPadRight, 3, Handover::Crossfade}}};
    std::array<Voice, 3> padHigh{
        {Voice{arr, {kChPadHigh + 0, kChPadHigh + 3}, kPadHigh, 3, Handover::Crossfade},
         Voice{arr, {kChPadHigh + 1, kChPadHigh + 4}, kPadHigh, 3, Handover::Crossfade},
         Voice{arr, {kChPadHigh + 2, kChPadHigh + 5}, kPadHigh, 3, Handover::Crossfade}}};
    Voice lead{arr, {kLeadChannels[0], kLeadChannels[1]}, kLead, 2};
    Voice echoLeft{arr, {kChEchoLeft[0], kChEchoLeft[1]}, kLeadEcho, 2};
    Voice echoRight{arr, {kChEchoRight[0], kChEchoRight[1]}, kLeadEcho, 2};
    Voice harmony{arr, {kChHarmony[0], kChHarmony[1]}, kLeadEcho, 2};
    Voice arp{arr, {kChArp[0], kChArp[1]}, kArp, 1};

    const Chord& chordAt(int row) const
    {
        const Bar& b = bars[static_cast<size_t>(row / kRowsPerBar)];
        return row % kRowsPerBar < 16 ? *b.first : *b.second;
    }

    void kick(int row, int vol) { arr.note(row, kChKick, 60, kKick, vol); }
    void tom(int row, int note, int vol) { arr.note(row, kChTom, note, kKick, vol); }
    void snare(int row, int vol)
    {
        arr.note(row, kChSnare, 60, kSnare, std::min(64, vol * 11 / 8));
    }
    void hat(int row, int vol) { arr.note(row, kChHat, 60, kClosedHat, vol); }
    void openHat(int row, int vol) { arr.note(row, kChHat, 60, kOpenHat, vol); }
    void crash(int row, int vol) { arr.note(row, kChCrash, 60, kCrash, vol); }

    // A melody on the lead in the given tone. Notes of a quarter or longer
    // get an echo (a dotted eighth later on the left, a dotted quarter later
    // on the right, each quieter and darker) and, from row `harmonyFrom` on,
    // the chord tone under them; short notes stay dry so quick runs do not
    // smear. Long notes that follow a step or third away glide in; all long
    // notes get a delayed vibrato.
    void line(int start, const Phrase& p, int vol, int tone, int harmonyFrom, int harmonyUntil)
    {
        constexpr int kEchoed = 6;
        // Echoes and harmony stay at the hook's level when the line itself is pushed forward.
        const int shadow = std::min(vol, 48);
        int row = start;
        int prevNote = 0, prevEnd = -1, prevHarmony = 0;
        bool prevEchoed = false;
        for (const MelodyNote& n : p) {
            if (n.note > 0) {
                Expression ex;
                ex.sample = tone;
                const bool legato = prevNote > 0 && prevEnd == row;
                if (n.rows >= 8 && legato && std::abs(n.note - prevNote) <= 4)
                    ex.slideRows = std::abs(n.note - prevNote) <= 2 ? 1 : 2;
                if (n.rows >= 8)
                    ex.vibratoFrom = ex.slideRows + 3;
                lead.play(row, n.note, n.rows, vol, ex);
                const bool echoed = n.rows >= kEchoed;
                if (echoed) {
                    Expression echo = ex;
                    echo.sample = 0;
                    if (!prevEchoed)
                        echo.slideRows = 0;
                    if (echo.vibratoFrom >= 0)
                        echo.vibratoFrom = echo.slideRows + 3;
                    echoLeft.play(row + 6, n.note, n.rows, shadow * 9 / 20, echo);
                    echoRight.play(row + 12, n.note, n.rows, shadow * 6 / 20, echo);
                }
                if (row >= harmonyFrom && row < harmonyUntil && n.rows >= 4) {
                    const int h = chordToneBelow(n.note, chordAt(row));
                    Expression hx = ex;
                    hx.sample = 0;
                    if (!legato || prevHarmony == 0 || std::abs(h - prevHarmony) > 4)
                        hx.slideRows = 0;
                    if (hx.vibratoFrom >= 0)
                        hx.vibratoFrom = hx.slideRows + 3;
                    harmony.play(row, h, n.rows, shadow * 11 / 20, hx);
                    prevHarmony = h;
                } else {
                    prevHarmony = 0;
                }
                prevNote = n.note;
                prevEnd = row + n.rows;
                prevEchoed = echoed;
            } else {
                prevNote = 0;
                prevHarmony = 0;
                prevEchoed = false;
            }
            row += n.rows;
        }
    }

    // The arpeggio over one half bar in a section's style; `lift` adds to every step's volume.
    void arpeggio(int start, const Chord& c, const ArpStyle& style, int lift = 0)
    {
        for (int s = 0; s < 8; ++s) {
            const int tone = style.figure[static_cast<size_t>(s)];
            if (tone < 0)
                continue;
            const int row = start + 2 * s;
            arp.play(row, c.arp[static_cast<size_t>(tone)] + style.octave, fit(row, style.gate, 1),
                     std::min(42, style.volume[static_cast<size_t>(s)] + lift));
        }
    }

    // The gate shortened so the note's fade ends with the song.
    int fit(int row, int gate, int releaseRows) const
    {
        return std::min(gate, arr.totalRows() - releaseRows - row);
    }

    void padChord(int start, const Chord& c, int gate, int vol, int highVol, int tone = 0)
    {
        Expression left, right;
        left.sample = kPadToneLeft[tone];
        right.sample = kPadToneRight[tone];
        for (size_t v = 0; v < 3; ++v) {
            padLeft[v].play(start, c.pad[v], gate, vol, left);
            padRight[v].play(start, c.pad[v], gate, vol, right);
            if (highVol > 0)
                padHigh[v].play(start, c.pad[v] + 12, gate, highVol);
        }
    }

    // Bass over one half bar: 1 (half note), 2 (quarters), 4 (eighths) or 8 (sixteenths) notes;
    // `octaves` lets some of them jump up an octave.
    void bassLine(int start, const Chord& c, int vol, int count, bool octaves)
    {
        static const int octave8[8] = {0, 0, 12, 0, 0, 0, 0, 12};
        static const int octave4[4] = {0, 0, 12, 0};
        const int step = 16 / count;
        // The kick carries each half's downbeat, so the bass steps back there (sixteenths
        // leave it out) and leans on the notes after it; the octave jumps a little lighter.
        for (int i = count == 8 ? 1 : 0; i < count; ++i) {
            const int up = !octaves ? 0 : count == 8 ? octave8[i] : count == 4 ? octave4[i] : 0;
            const int v = i == 0 && count > 1 ? vol - 14 : up ? vol - 5 : vol;
            bass.play(start + step * i, c.bass + up,
                      fit(start + step * i, std::max(2, step - 1), 2), v);
        }
    }

    struct Bed {
        int pad = 12;
        int padHigh = 0;
        const ArpStyle* arp = nullptr;
        int arpLift = 0;
        int bass = 40;
        int bassCount = 4;
        bool bassOctaves = true;
    };

    // The pad's tone for a half bar: its place in the section's sweep.
    int padTone(int halfBar) const
    {
        const Part part = bars[static_cast<size_t>(halfBar / 2)].part;
        int first = halfBar, last = halfBar;
        auto same = [&](int h) {
            const Part p = bars[static_cast<size_t>(h / 2)].part;
            // The chorus and its peak are one sweep.
            auto group = [](Part q) { return q == Part::Peak ? Part::Chorus : q; };
            return group(p) == group(part);
        };
        while (first > 0 && same(first - 1))
            --first;
        while (last + 1 < 2 * static_cast<int>(bars.size()) && same(last + 1))
            ++last;
        const int n = last - first + 1;
        // From the darkest tone on the section's first half bar to the brightest on its last, rounded.
        const int span = kPadTones - 1;
        const int up = n > 1 ? (2 * span * (halfBar - first) + (n - 1)) / (2 * (n - 1)) : 0;
        return part == Part::Outro ? kPadTones - 1 - up : up;
    }

    // Pad, arpeggio and bass over both halves of a bar.
    void harmonyBed(int row, const Bar& bar, const Bed& bed)
    {
        const Chord* halves[2] = {bar.first, bar.second};
        for (int h = 0; h < 2; ++h) {
            padChord(row + 16 * h, *halves[h], fit(row + 16 * h, 16, 3), bed.pad, bed.padHigh,
                     padTone((row + 16 * h) / 16));
            if (bed.arp)
                arpeggio(row + 16 * h, *halves[h], *bed.arp, bed.arpLift);
            bassLine(row + 16 * h, *halves[h], bed.bass, bed.bassCount, bed.bassOctaves);
        }
    }

    // Sixteenths; `accents` holds the volume of each of the bar's sixteen steps (0: none).
    void hats(int start, int from, const std::array<int, 16>& accents)
    {
        for (int r = from; r < 32; r += 2)
            if (accents[static_cast<size_t>(r / 2)] > 0)
                hat(start + r, accents[static_cast<size_t>(r / 2)]);
    }

    // Sixteenths with an open hat on every offbeat eighth; the hats under
    // the kick on the half bars step back (their noise only adds to its peak).
    void hatsOpen(int start, int from)
    {
        for (int r = from; r < 32; r += 2) {
            if (r % 8 == 4)
                openHat(start + r, 50);
            else
                hat(start + r, r % 16 == 0 ? 18 : (r % 4) ? 38 : 50);
        }
    }

    // A descending run of toms (the kick tuned up) over rows [from, 32).
    void tomFill(int start, int from, int vol)
    {
        static const int notes[] = {79, 76, 72, 69, 67, 64, 62, 60};
        for (int r = from, i = 0; r < 32; r += 2, ++i)
            tom(start + r, notes[i % 8], vol - 2 * i);
    }

    void drumsGroove(int start, bool syncopated)
    {
        kick(start + 0, 56);
        kick(start + 16, 54);
        if (syncopated)
            kick(start + 22, 38);
        snare(start + 8, 40);
        snare(start + 24, 40);
        // Eighths, the offbeats leaning forward.
        hats(start, 0, {{22, 0, 36, 0, 20, 0, 36, 0, 22, 0, 36, 0, 20, 0, 36, 0}});
    }

    void drumsHook(int start, int variant)
    {
        kick(start + 0, 56);
        kick(start + 16, 56);
        if (variant == 0) {
            kick(start + 22, 46);
        } else {
            kick(start + 10, 34);  // a ghost note
            kick(start + 26, 48);
        }
        snare(start + 8, 50);
        snare(start + 24, 50);
        if (variant == 1)
            snare(start + 30, 20);
        static const std::array<int, 16> a{
            {30, 24, 36, 28, 48, 24, 36, 0, 30, 24, 36, 28, 48, 30, 38, 26}};
        static const std::array<int, 16> b{
            {30, 0, 36, 26, 46, 28, 36, 24, 30, 0, 38, 28, 44, 26, 36, 30}};
        hats(start, 0, variant == 0 ? a : b);
    }

    void drumsChorus(int start)
    {
        kick(start + 0, kChorusKick);
        kick(start + 10, 30);  // a ghost note
        kick(start + 16, kChorusKick);
        kick(start + 26, 42);
        snare(start + 8, 54);
        snare(start + 24, 54);
        snare(start + 30, 26);
        hatsOpen(start, 0);
    }

    void snareRoll(int start, int from, int to, int baseVol, int stepVol)
    {
        for (int r = from, i = 0; r < to; r += 2, ++i)
            snare(start + r, baseVol + stepVol * i);
    }
};

void compose(Band& b)
{
    if (static_cast<int>(b.bars.size()) != kBars)
        throw std::logic_error("compose: bar count");

    // Order 0, row 0: the song state is not reset when the player loops, so
    // tempo, speed and global volume are set again on every pass.
    b.arr.effect(0, kChKick, kFxSetTempo, 118);
    b.arr.effect(0, kChSnare, kFxSetSpeed, 4);
    b.arr.effect(0, kChHat, kFxGlobalVolume, 128);

    using Bed = Band::Bed;
    for (int i = 0; i < kBars; ++i) {
        const Bar& bar = b.bars[static_cast<size_t>(i)];
        const int row = i * kRowsPerBar;
        switch (bar.part) {
        case Part::Intro:
            if (bar.index == 0) {
                // Pad, a held bass and the motif, a soft kick on the half notes.
                b.harmonyBed(row, bar, Bed{8, 0, nullptr, 0, 24, 1, false});
                b.kick(row, 30);
            } else {
                b.harmonyBed(row, bar, Bed{9, 0, &kArpIntro, 0, 28, 2, false});
                for (int r = 0; r < 32; r += 8)
                    b.kick(row + r, 32);
                for (int r = 4; r < 24; r += 8)
                    b.hat(row + r, 24);
                b.snareRoll(row, 24, 32, 30, 6);
            }
            break;
        case Part::Groove:
            // Sparse: roots on the eighths, the arpeggio gated, the pad carrying the harmony.
            b.harmonyBed(row, bar, Bed{17, 0, &kArpGroove, -8, 42, 4, false});
            b.drumsGroove(row, bar.index == 1);
            if (bar.index == 1)
                b.tomFill(row, 26, 54);
            break;
        case Part::Hook: {
            b.harmonyBed(row, bar,
                         Bed{17, 0, bar.index < 2 ? &kArpHook : &kArpHookLate,
                             bar.index == 3 ? 0 : -2, 40, 4, false});
            if (row == kLiftRow - 8) {
                // The lift: the beat drops out under a snare run and comes back on the beat.
                b.snareRoll(row, 0, 8, 28, 5);
                b.kick(kLiftRow, 56);
                b.kick(row + 16, 56);
                b.kick(row + 26, 46);
                b.snare(row + 24, 50);
                b.hats(row, 8, {{0, 0, 0, 0, 48, 24, 36, 28, 30, 24, 36, 28, 48, 30, 38, 26}});
            } else if (bar.index == 3) {
                // Into the drop: the second half handed to a tom fill.
                b.kick(row, 56);
                b.kick(row + 10, 34);
                b.kick(row + 16, 56);
                b.snare(row + 8, 50);
                b.snare(row + 24, 50);
                b.hats(row, 0, {{30, 0, 36, 26, 46, 28, 36, 24, 30, 0, 38, 28, 0, 0, 0, 0}});
                b.tomFill(row, 26, 52);
            } else {
                b.drumsHook(row, bar.index == 2 ? 1 : 0);
            }
            break;
        }
        case Part::Drop:
            // No beat: the pad, a soft pulse of bass and a quiet broken rhythm on the
            // arpeggio, then a snare run into the chorus.
            b.harmonyBed(row, bar, Bed{13, 0, &kArpDrop, -8, 26, 1, false});
            b.snareRoll(row, 16, 32, 16, 3);
            break;
        case Part::Chorus:
            if (bar.index < 3) {
                b.harmonyBed(row, bar,
                             Bed{23, kPadHighLevel, bar.index < 2 ? &kArpChorus : &kArpChorusLate,
                                 -3, kChorusBass, 8, false});
                if (bar.index == 0)
                    b.crash(row, 52);
                b.drumsChorus(row);
            } else {
                // The fullest bar: louder bed, crashes on both halves. Its drums sit
                // lighter than the other chorus bars' so their hits do not pile onto the
                // loudest tones.
                b.harmonyBed(row, bar,
                             Bed{30, kPadHighLevel + 8, &kArpChorusLate, -1, kChorusBass, 8, true});
                b.crash(row, 34);
                b.crash(row + 16, 38);
                for (int r = 0; r < 32; r += 16)
                    b.kick(row + r, 52);
                b.kick(row + 10, 44);
                b.snare(row + 8, 34);
                b.snare(row + 24, 30);
                b.snareRoll(row, 28, 32, 40, 6);
                // The first open hat, under the line's leap, lighter.
                b.hat(row, 18);
                b.hat(row + 2, 38);
                b.openHat(row + 4, 34);
                b.hatsOpen(row, 6);
            }
            break;
        case Part::Peak:
            // The chorus ends on the downbeat; from the cut to the still credits on, the
            // top note rings over the pad and a held bass alone.
            b.harmonyBed(row, bar, Bed{kPeakPad, kPeakPadHigh, nullptr, 0, 30, 1, false});
            b.kick(row, 58);
            b.snare(row, 54);
            b.crash(row + 4, 30);
            break;
        case Part::Outro: {
            const int k = bar.index;
            if (k == 0) {
                // The hook's head once more over the still picture, quiet, then a snare run
                // as the credits start to grow carries it into the cadence.
                b.harmonyBed(row, bar, Bed{11, 0, nullptr, 0, 30, 2, false});
                b.snareRoll(row, 20, 32, 18, 4);
            } else if (k == 1) {
                // Home: the tonic struck once with a crash, a rolled chord, and let ring.
                b.padChord(row, *bar.first, 30, 20, 0, b.padTone(row / 16));
                b.arpeggio(row, *bar.first, kArpIntro);
                b.bass.play(row, bar.first->bass, 14, 46);
                b.kick(row, 58);
                b.crash(row, 46);
            } else if (k == 2) {
                // The ring: the tonic rolled softly over a held bass, gone by the bar's end.
                b.padChord(row, *bar.first, 28, 14, 0, b.padTone(row / 16));
                b.arpeggio(row, *bar.first, kArpIntro);
                b.bass.play(row, bar.first->bass, 12, 30);
            } else {
                // A breath: the chord held very softly, and a soft pickup whose room
                // rings across the loop into the intro.
                b.padChord(row, *bar.first, b.fit(row, 32, 3), 4, 0, 0);
                b.snare(row + 28, 22);
                b.snare(row + 30, 30);
            }
            break;
        }
        }
    }
    b.line(0, kMotif, 30, kLead, 0, 0);
    b.line(kPickupRow, kPickup, 38, kLead, 0, 0);
    b.line(4 * kRowsPerBar, kHookLine, 48, kLead, kLiftRow, 8 * kRowsPerBar);
    b.line(9 * kRowsPerBar, kChorusLine, kChorusLead, kLeadChorus, 0, 14 * kRowsPerBar);
    b.line(kPeakRow, kPeakLine, kPeakLead, kLeadChorus, 0, 0);
    b.line(14 * kRowsPerBar, kOutroLine, 40, kLead, 14 * kRowsPerBar + 16, 16 * kRowsPerBar);
    for (Voice* v : {&b.bass, &b.lead, &b.echoLeft, &b.echoRight, &b.harmony, &b.arp})
        v->finish();
    for (auto* pad : {&b.padLeft, &b.padRight, &b.padHigh})
        for (Voice& v : *pad)
            v.finish();
}

std::vector<ModuleSample> makeSamples()
{
    std::vector<ModuleSample> s;
    s.push_back({"Kick", oneShot(kickDrum(kDrumRate, 0x1234567u), kDrumRate, 0.95), 64, 64});
    s.push_back({"Snare", oneShot(withRoom(snareDrum(kDrumRate, 0x2468ACEu), kDrumRate, 0.9, 0.6),
                                  kDrumRate, 0.9)});
    s.push_back({"Closed hat", oneShot(hiHat(kDrumRate, 0.012, 0.045, 0x13579BDu), kDrumRate, 0.8),
                 64, 52});
    s.push_back(
        {"Open hat", oneShot(hiHat(kDrumRate, 0.07, 0.18, 0x0F1E2D3u), kDrumRate, 0.8), 64, 60});
    s.push_back(
        {"Crash", oneShot(crashCymbal(kDrumRate, 1.4, 0x5A5A5A5u), kDrumRate, 0.6), 64, 52});

    // Saw for the edge, a sine on the fundamental and one an octave below for the weight.
    TonePatch bass;
    bass.cycleSamples = 512;
    bass.loopCycles = 4;
    bass.refHz = 80.0;
    bass.maxNoteHz = 230.0;
    bass.oscillators = {{Wave::Saw, 0, 0.45}, {Wave::Sine, 0, 1.0}, {Wave::Sine, -2, 0.7}};
    bass.cutoffStart = 2500.0;
    bass.cutoffEnd = 450.0;
    bass.resonance = 1.3;
    bass.sweepSeconds = 0.18;
    bass.attackSeconds = 0.002;
    bass.decaySeconds = 0.25;
    bass.sustain = 0.85;
    bass.drive = 1.6;
    s.push_back({"Bass", renderTone(bass), 64, 49});

    // The pad leaves the low end to the bass and the kick: its fundamental is thinned.
    TonePatch pad;
    pad.cycleSamples = 128;
    pad.loopCycles = 200;
    pad.refHz = 300.0;
    pad.maxNoteHz = 400.0;
    pad.oscillators = {{Wave::Saw, -1, 1.0}, {Wave::Saw, 2, 0.7}};
    pad.resonance = 0.9;
    pad.highpassHz = 380.0;
    pad.sweepSeconds = 0.8;
    pad.attackSeconds = 0.25;
    pad.decaySeconds = 0.3;
    pad.sustain = 0.85;
    pad.drive = 3.0;
    // The sweep's three tones: each opens from where the one before it ends.
    const double padCutoff[kPadTones + 1] = {650.0, 1000.0, 1600.0, 2600.0};
    const int padLevel[kPadTones] = {
        46, 42, 38};  // the darker tones a little louder, so the sweep is not a swell
    std::vector<ModuleSample> padTones;
    for (int t = 0; t < kPadTones; ++t) {
        static const char* const names[kPadTones][2] = {{"Pad left", "Pad right"},
                                                        {"Pad left mid", "Pad right mid"},
                                                        {"Pad left bright", "Pad right bright"}};
        pad.cutoffStart = padCutoff[t];
        pad.cutoffEnd = padCutoff[t + 1];
        pad.oscillators = {{Wave::Saw, -1, 1.0}, {Wave::Saw, 2, 0.7}};
        padTones.push_back({names[t][0], renderTone(pad), 64, padLevel[t]});
        pad.oscillators = {{Wave::Saw, 1, 1.0}, {Wave::Saw, -2, 0.7}};  // detuned the other way
        padTones.push_back({names[t][1], renderTone(pad), 64, padLevel[t]});
    }
    s.push_back(padTones[0]);
    s.push_back(padTones[1]);

    TonePatch lead;
    lead.cycleSamples = 64;
    lead.loopCycles = 150;
    lead.refHz = 600.0;
    lead.maxNoteHz = 1330.0;  // E-6, the top note
    lead.oscillators = {{Wave::Saw, 0, 1.0}, {Wave::Saw, 1, 0.8}, {Wave::Pulse25, -1, 0.5}};
    lead.cutoffStart = 8000.0;
    lead.cutoffEnd = 5000.0;
    lead.resonance = 1.0;
    lead.sweepSeconds = 0.15;
    lead.attackSeconds = 0.004;
    lead.decaySeconds = 0.2;
    lead.sustain = 0.8;
    lead.drive = 2.5;
    s.push_back({"Lead", renderTone(lead), 64, 44});

    TonePatch arp;
    arp.cycleSamples = 64;
    arp.loopCycles = 100;
    arp.refHz = 600.0;
    arp.maxNoteHz = 700.0;
    arp.oscillators = {{Wave::Square, 0, 1.0}, {Wave::Saw, 1, 0.5}};
    arp.cutoffStart = 16000.0;
    arp.cutoffEnd = 12000.0;
    arp.resonance = 1.5;
    arp.sweepSeconds = 0.12;
    arp.attackSeconds = 0.002;
    arp.decaySeconds = 0.15;
    arp.sustain = 0.3;
    arp.drive = 2.0;
    s.push_back({"Arp", renderTone(arp), 64, 52});

    // The chorus line sits high, so its tone is closed off near 4 kHz there
    // (the cutoff follows the pitch: 2.4 kHz at 600 Hz) and driven less.
    lead.cutoffStart = 3300.0;
    lead.cutoffEnd = 2200.0;
    lead.resonance = 0.8;
    lead.drive = 2.5;
    lead.sustain = 0.92;  // little overshoot: its notes start on the kick's beats
    s.push_back({"Lead chorus", renderTone(lead), 64, 64});

    // Echoes and harmony: darker still, so they sit behind the line.
    lead.cutoffStart = 1800.0;
    lead.cutoffEnd = 1500.0;
    lead.resonance = 0.7;
    lead.drive = 1.0;
    s.push_back({"Lead echo", renderTone(lead), 64, 46});

    // The chorus's second pad: an octave up, thinner and brighter, a slow swell.
    TonePatch high;
    high.cycleSamples = 64;
    high.loopCycles = 200;
    high.refHz = 600.0;
    high.maxNoteHz = 720.0;
    high.oscillators = {{Wave::Pulse25, 0, 1.0}, {Wave::Saw, 1, 0.6}, {Wave::Saw, -1, 0.6}};
    high.cutoffStart = 1500.0;
    high.cutoffEnd = 2200.0;
    high.resonance = 0.8;
    high.highpassHz = 400.0;
    high.sweepSeconds = 0.5;
    high.attackSeconds = 0.2;
    high.decaySeconds = 0.3;
    high.sustain = 0.85;
    high.drive = 2.0;
    s.push_back({"Pad high", renderTone(high), 64, 38});
    s.insert(s.end(), padTones.begin() + 2, padTones.end());
    return s;
}

}  // namespace

Module soundtrackModule()
{
    Module m;
    m.name = "80S5";
    m.initialSpeed = 4;
    m.initialTempo = 118;
    m.globalVolume = 128;
    m.mixVolume = 33;
    m.channelPan = {32, 34, 42, 24, 32, 32, 8,  8,  8,  8,
                    8,  8,  56, 56, 56, 56, 56, 56,  // pad: left, right
                    32, 32, 4,  4,  60, 60, 54, 10, 24, 24,
                    38,                       // tom
                    14, 32, 50, 14, 32, 50};  // high pad
    m.channelVolume.assign(kChannels, 64);
    m.samples = makeSamples();
    Band band;
    compose(band);
    band.arr.cutInto(m);
    return m;
}

std::vector<uint8_t> soundtrackBytes()
{
    return writeIt(soundtrackModule());
}

void writeSoundtrack(const std::string& dir)
{
    const std::vector<uint8_t> bytes = soundtrackBytes();
    const std::string path = dir + "/80S5.IT";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace musgen
